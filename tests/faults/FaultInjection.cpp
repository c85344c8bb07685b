// The test build's fault injection: TESSARIN_FAIL lists the system calls to fail, as
// "call:n:ERROR" items separated by ",": the n-th call of that kind (counted from 1) fails with
// the error, given by name (ENOSPC) or number. Calls: open, write, fsync, close, rename, link,
// mkdir. Each failure made is reported on standard error, so a test knows it happened.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FaultInjection.h"

namespace platform {
namespace faults {
namespace {

struct Planned {
  Call call;
  long n;
  int error;
};

constexpr struct {
  const char* name;
  Call call;
} kCalls[] = {
    {"open", Call::kOpen},     {"write", Call::kWrite}, {"fsync", Call::kFsync},
    {"close", Call::kClose},   {"rename", Call::kRename}, {"link", Call::kLink},
    {"mkdir", Call::kMkdir},
};

constexpr struct {
  const char* name;
  int error;
} kErrors[] = {
    {"ENOSPC", ENOSPC}, {"EIO", EIO},       {"EACCES", EACCES},         {"EPERM", EPERM},
    {"EXDEV", EXDEV},   {"EDQUOT", EDQUOT}, {"EROFS", EROFS},           {"EMFILE", EMFILE},
    {"EFBIG", EFBIG},   {"EEXIST", EEXIST}, {"ENAMETOOLONG", ENAMETOOLONG}, {"ENOENT", ENOENT},
    {"EOPNOTSUPP", EOPNOTSUPP}, {"EINVAL", EINVAL}, {"EBUSY", EBUSY},
};

const char* CallName(Call call) {
  for (const auto& c : kCalls) {
    if (c.call == call) return c.name;
  }
  return "?";
}

std::vector<Planned> ReadPlan() {
  std::vector<Planned> plan;
  const char* text = std::getenv("TESSARIN_FAIL");
  if (text == nullptr) return plan;
  std::string rest = text;
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    const std::string item = rest.substr(0, comma);
    rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
    const size_t a = item.find(':');
    const size_t b = a == std::string::npos ? a : item.find(':', a + 1);
    if (b == std::string::npos) continue;
    Planned p{Call::kOpen, std::atol(item.substr(a + 1, b - a - 1).c_str()), 0};
    bool known = false;
    for (const auto& c : kCalls) {
      if (item.compare(0, a, c.name) == 0 && std::strlen(c.name) == a) {
        p.call = c.call;
        known = true;
      }
    }
    const std::string error = item.substr(b + 1);
    for (const auto& e : kErrors) {
      if (error == e.name) p.error = e.error;
    }
    if (p.error == 0) p.error = std::atoi(error.c_str());
    if (known && p.n > 0 && p.error > 0) plan.push_back(p);
  }
  return plan;
}

}  // namespace

bool Inject(Call call) {
  static const std::vector<Planned> plan = ReadPlan();
  // Files are written on a thread of their own: the counts may be reached from two threads.
  static std::atomic<long> counts[8] = {};
  if (plan.empty()) return false;
  const long n = ++counts[static_cast<int>(call)];
  for (const Planned& p : plan) {
    if (p.call == call && p.n == n) {
      std::fprintf(stderr, "tessarin-faults: %s #%ld fails with %s\n", CallName(call), n,
                   std::strerror(p.error));
      errno = p.error;
      return true;
    }
  }
  return false;
}

}  // namespace faults
}  // namespace platform
