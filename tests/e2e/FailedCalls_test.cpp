// Every system call a run makes while writing can fail. Through the fault-injection build of the
// program each open, write, fsync, close, rename, link and mkdir of each mode is made to fail in
// turn: the run either ends with exit code 1 and a message naming the file, every file as it was
// and no temporary file left, or it works around the failure and gives the usual result.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstring>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Spawn.h"
#include "Workdir.h"

#ifndef TESSARIN_FAULTS_BINARY
#error "TESSARIN_FAULTS_BINARY must name the fault-injection build of tessarin"
#endif

namespace {

using e2e::RunResult;
using e2e::Workdir;

const char kTable[] = "b,2,x\r\na,1,y\r\nc,3,z\r\nd,1,w\r\n";

struct Mode {
  const char* name;
  std::vector<std::string> args;
  std::vector<std::pair<std::string, std::string>> files;  // besides the table
};

// Existing column and text files hold other values than the run writes, so that a file replaced
// by mistake shows.
const std::vector<Mode>& Modes() {
  static const std::vector<Mode> modes = {
      {"-u", {"-u", "t.csv"}, {{"t/t_0.txt", "old0\r\n"}, {"t/t_1.txt", "old1\r\n"},
                               {"t/t_2.txt", "old2\r\n"}}},
      {"-u, new folder", {"-u", "t.csv"}, {}},
      {"-u -ncfl", {"-u", "-ncfl", "t.csv"}, {{"t/b.txt", "old\r\n"}, {"t/2.txt", "old\r\n"}}},
      {"-uc", {"-uc", "1", "t.csv", "out.txt"}, {{"out.txt", "old\r\n"}}},
      {"-p", {"-p", "t.csv"}, {{"t/t_0.txt", "p\r\nq\r\n"}, {"t/t_1.txt", "7\r\n8\r\n"}}},
      {"-pc", {"-pc", "1", "t.csv"}, {{"t_1.txt", "5\r\n6\r\n7\r\n8\r\n"}}},
      {"-s", {"-s", "0", "t.csv"}, {}},
  };
  return modes;
}

struct Fault {
  const char* call;
  const char* error;
  const char* text;  // the system's text for it
};

const Fault kFaults[] = {
    {"open", "EACCES", "Permission denied"},
    {"open", "EOPNOTSUPP", "Operation not supported"},
    {"write", "ENOSPC", "No space left on device"},
    {"fsync", "EIO", "Input/output error"},
    {"close", "EDQUOT", "Disk quota exceeded"},
    {"rename", "EXDEV", "Invalid cross-device link"},
    {"link", "EIO", "Input/output error"},
    {"link", "EPERM", "Operation not permitted"},
    {"mkdir", "EACCES", "Permission denied"},
};

// A memory file system where there is one: the runs here replace many files, and flushing each
// to a disk would make the test slow.
std::string Base() {
  static const std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return base;
}

void Prepare(const Workdir& wd, const Mode& mode) {
  wd.Write("t.csv", kTable);
  for (const auto& file : mode.files) wd.Write(file.first, file.second);
}

// Everything but the fault build's own report of the failures it made.
std::string Message(const std::string& err) {
  std::istringstream lines(err);
  std::string line, rest;
  while (std::getline(lines, line)) {
    if (line.rfind("tessarin-faults:", 0) != 0) rest += line + "\n";
  }
  return rest;
}

TEST(FailedCalls, EveryFailingCallLeavesEveryFileWhole) {
  std::ostringstream table;
  table << std::left << std::setw(16) << "mode";
  for (const Fault& f : kFaults) table << std::setw(16) << (std::string(f.call) + " " + f.error);
  table << "\n";
  for (const Mode& mode : Modes()) {
    // The result of a run that nothing disturbs.
    Workdir clean(Base());
    Prepare(clean, mode);
    ASSERT_EQ(e2e::RunWith(TESSARIN_FAULTS_BINARY, clean.path(), mode.args).exit_code, 0)
        << mode.name;
    const auto expected = clean.Snapshot();

    table << std::setw(16) << mode.name;
    for (const Fault& fault : kFaults) {
      int failed = 0, recovered = 0;
      for (int n = 1; n < 40; ++n) {
        Workdir wd(Base());
        Prepare(wd, mode);
        const auto before = wd.Snapshot();
        const std::string plan = std::string(fault.call) + ":" + std::to_string(n) + ":" +
                                 fault.error;
        RunResult r = e2e::RunWith(TESSARIN_FAULTS_BINARY, wd.path(), mode.args,
                                   {"TESSARIN_FAIL=" + plan});
        if (r.err.find("tessarin-faults:") == std::string::npos) break;  // no n-th call
        const std::string where = std::string(mode.name) + " with " + plan + ": " + r.err;
        if (r.exit_code == 0) {
          ++recovered;
          EXPECT_EQ(wd.Snapshot(), expected) << where;
          continue;
        }
        ++failed;
        EXPECT_EQ(r.exit_code, 1) << where;
        const std::string message = Message(r.err);
        EXPECT_NE(message.find("\"" + wd.path() + "/"), std::string::npos) << where;
        EXPECT_NE(message.find(fault.text), std::string::npos) << where;
        EXPECT_EQ(wd.Snapshot(), before) << where;
      }
      table << std::setw(16)
            << (std::to_string(failed) + " whole" +
                (recovered > 0 ? ", " + std::to_string(recovered) + " ok" : ""));
    }
    table << "\n";
  }
  std::cout << "Failures made, per mode and call (whole: failed with every file as before; "
               "ok: worked around, usual result):\n"
            << table.str();
}

// The messages a failed folder or file creation gives, word for word.
TEST(FailedCalls, MessagesNameTheFileAndTheCause) {
  const struct {
    std::vector<std::string> args;
    std::string plan, message;
  } cases[] = {
      {{"-u", "t.csv"}, "mkdir:1:EACCES", "Cannot create folder \"@/t\". Permission denied"},
      {{"-uc", "0", "t.csv", "a/b/c.txt"}, "mkdir:2:EACCES",
       "Cannot create folder \"@/a/b\". Permission denied"},
      {{"-u", "t.csv"}, "write:1:ENOSPC",
       "Cannot write file \"@/t/t_0.txt\". No space left on device"},
      {{"-uc", "0", "t.csv"}, "write:1:ENOSPC",
       "Cannot write file \"@/t_0.txt\". No space left on device"},
      {{"-s", "0", "t.csv"}, "write:1:ENOSPC",
       "Cannot write file \"@/t.csv\". No space left on device"},
      {{"-s", "0", "t.csv"}, "rename:1:EXDEV",
       "Cannot create file \"@/t.csv\". Invalid cross-device link"},
  };
  for (const auto& c : cases) {
    Workdir wd(Base());
    wd.Write("t.csv", kTable);
    RunResult r = e2e::RunWith(TESSARIN_FAULTS_BINARY, wd.path(), c.args,
                               {"TESSARIN_FAIL=" + c.plan});
    std::string expected = c.message;
    expected.replace(expected.find('@'), 1, wd.path());
    EXPECT_EQ(r.exit_code, 1) << c.plan;
    EXPECT_EQ(Message(r.err), expected + "\n") << c.plan;
    EXPECT_EQ(wd.Snapshot(), (std::map<std::string, std::string>{{"t.csv", kTable}})) << c.plan;
  }
}

// A table wider than one pass of open files: finished column files let go of their descriptors,
// so a low limit on open files is no obstacle; a rename failing late in the commit gives every
// column file already replaced its old content back.
TEST(FailedCalls, WideUnpackWithinTheOpenFileLimitAllOrNothing) {
  const int kColumns = 150;
  std::string header, row;
  for (int c = 0; c < kColumns; ++c) {
    header += (c > 0 ? "," : "") + std::string("h") + std::to_string(c);
    row += (c > 0 ? "," : "") + std::to_string(c * 7);
  }
  Workdir wd(Base());
  wd.Write("t.csv", header + "\r\n" + row + "\r\n");
  for (int c = 0; c < kColumns; ++c) wd.Write("t/t_" + std::to_string(c) + ".txt", "old\r\n");
  const auto before = wd.Snapshot();

  rlimit old_limit{};
  getrlimit(RLIMIT_NOFILE, &old_limit);
  rlimit limit = old_limit;
  limit.rlim_cur = 100;  // fewer than the columns; the child inherits it
  setrlimit(RLIMIT_NOFILE, &limit);
  RunResult late = e2e::RunWith(TESSARIN_FAULTS_BINARY, wd.path(), {"-u", "t.csv"},
                                {"TESSARIN_FAIL=rename:120:EIO"});
  const auto after_late = wd.Snapshot();
  RunResult whole = wd.Run({"-u", "t.csv"});
  setrlimit(RLIMIT_NOFILE, &old_limit);

  EXPECT_EQ(late.exit_code, 1);
  EXPECT_NE(Message(late.err).find("Input/output error"), std::string::npos) << late.err;
  EXPECT_EQ(after_late, before);
  EXPECT_EQ(whole.exit_code, 0) << whole.err;
  EXPECT_EQ(wd.Read("t/t_149.txt"), "h149\r\n1043\r\n");
  EXPECT_EQ(wd.Snapshot().size(), before.size());
}

}  // namespace

namespace {

// Files of several megabytes are written on a thread of their own, a piece at a time: a write
// that fails there fails the run just the same, naming the file, with every file as it was.
TEST(FailedCalls, FailingWritesOfLargeFiles) {
  std::string big;
  for (int r = 0; big.size() < (size_t{3} << 20); ++r) {
    big += std::to_string(r % 977) + ",\"v," + std::to_string(r) + "\",some text of the row\r\n";
  }
  const std::vector<std::vector<std::string>> runs = {
      {"-s", "0", "t.csv"},
      {"-u", "t.csv"},
      {"-uc", "2", "t.csv", "out.txt"},
      {"-nd", "1", "t.csv"}};
  for (const auto& args : runs) {
    int failed = 0;
    for (int n = 1; n < 12; ++n) {
      Workdir wd(Base());
      wd.Write("t.csv", big);
      const auto before = wd.Snapshot();
      const std::string plan = "write:" + std::to_string(n) + ":ENOSPC";
      const RunResult r = e2e::RunWith(TESSARIN_FAULTS_BINARY, wd.path(), args,
                                       {"TESSARIN_FAIL=" + plan});
      if (r.err.find("tessarin-faults:") == std::string::npos) break;
      const std::string where = testing::PrintToString(args) + " with " + plan + ": " + r.err;
      ++failed;
      EXPECT_EQ(r.exit_code, 1) << where;
      EXPECT_NE(Message(r.err).find("No space left on device"), std::string::npos) << where;
      EXPECT_NE(Message(r.err).find("\"" + wd.path() + "/"), std::string::npos) << where;
      EXPECT_EQ(wd.Snapshot(), before) << where;
    }
    EXPECT_GE(failed, 2) << testing::PrintToString(args);
  }
}

}  // namespace
