// The platform layer on POSIX systems.

// 64-bit file sizes and offsets on 32-bit hosts too.
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "Error.h"
#include "Platform.h"

namespace platform {

const char kPreferredSeparator = '/';

bool IsPathSeparator(char c) { return c == '/'; }

size_t NameStart(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? 0 : slash + 1;
}

namespace {

// One read() or write() call moves at most this much; some systems refuse counts above 2 GiB.
constexpr size_t kMaxTransfer = size_t{1} << 30;
constexpr size_t kWriteBufferSize = size_t{1} << 20;
// Longest name a folder entry may have on the common file systems.
constexpr size_t kMaxNameLength = 255;

std::string CurrentDirectory() {
  std::string buffer(256, '\0');
  for (;;) {
    if (getcwd(&buffer[0], buffer.size()) != nullptr) {
      buffer.resize(std::strlen(buffer.c_str()));
      return buffer;
    }
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

class FdCloser {
 public:
  explicit FdCloser(int fd) : fd_(fd) {}
  ~FdCloser() { close(fd_); }
  FdCloser(const FdCloser&) = delete;
  FdCloser& operator=(const FdCloser&) = delete;

 private:
  int fd_;
};

// Reads up to `size` bytes; -1 with errno set on failure, 0 at the end of the file.
ssize_t ReadSome(int fd, char* data, size_t size) {
  for (;;) {
    ssize_t n = read(fd, data, std::min(size, kMaxTransfer));
    if (n >= 0 || errno != EINTR) return n;
  }
}

// Writes all bytes; false with errno set when the system takes fewer than asked.
bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, std::min(size, kMaxTransfer));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// A write beyond the file-size limit raises SIGXFSZ, whose default action ends the process.
// Ignored, the write fails with EFBIG instead and surfaces as a write error.
void IgnoreFileSizeSignal() {
  static const bool ignored = [] {
    signal(SIGXFSZ, SIG_IGN);
    return true;
  }();
  (void)ignored;
}

mode_t CurrentUmask() {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// A symbolic link is replaced through: the file it points at gets the new content and the link
// stays. A dangling link is replaced itself.
std::string ResolveLink(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  const std::unique_ptr<char, void (*)(void*)> resolved(realpath(path.c_str(), nullptr), free);
  return resolved == nullptr ? path : std::string(resolved.get());
}

}  // namespace

std::string ExpandPath(const std::string& path) {
  if (path.empty()) return std::string();
  std::string joined = path;
  if (path[0] != '/') {
    std::string base = CurrentDirectory();
    // Without a current directory the path stays relative; its leading ".." parts are kept.
    if (!base.empty()) joined = base + "/" + path;
  }
  const bool absolute = joined[0] == '/';

  std::vector<std::string_view> parts;
  std::string_view rest(joined);
  while (!rest.empty()) {
    size_t end = rest.find('/');
    std::string_view part = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") {
        parts.pop_back();
        continue;
      }
      if (absolute) continue;  // ".." of the root is the root
    }
    parts.push_back(part);
  }

  std::string result = absolute ? "/" : "";
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) result += '/';
    result.append(parts[i].data(), parts[i].size());
  }
  if (path.back() == '/' && !result.empty() && result.back() != '/') result += '/';
  if (result.empty()) result = ".";
  return result;
}

bool FolderExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool EntryExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool CreateFolder(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

bool ListFolder(const std::string& folder, std::vector<std::string>* names) {
  names->clear();
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return false;
  bool ok = true;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir);
    if (entry == nullptr) {
      ok = errno == 0;
      break;
    }
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    names->emplace_back(name);
  }
  closedir(dir);
  if (!ok) names->clear();
  return ok;
}

namespace {

// A large table is touched page by page right after it is allocated; large pages make that
// hundreds of times fewer faults. Only advice: where the system declines, nothing changes.
void AdviseLargePages(char* data, size_t size) {
  constexpr size_t kLargePage = size_t{2} << 20;
  if (size < 4 * kLargePage) return;
  const auto begin = (reinterpret_cast<uintptr_t>(data) + kLargePage - 1) & ~(kLargePage - 1);
  const auto end = (reinterpret_cast<uintptr_t>(data) + size) & ~(kLargePage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace

std::string ReadWholeFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw OpenError(path, LastErrorText());
  FdCloser closer(fd);

  struct stat st;
  if (fstat(fd, &st) != 0) throw OpenError(path, LastErrorText());
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    throw OpenError(path, LastErrorText());
  }
  std::string data;
  if (S_ISREG(st.st_mode) && st.st_size > 0) {
    if (static_cast<uintmax_t>(st.st_size) > data.max_size()) {
      errno = EFBIG;
      throw OpenError(path, LastErrorText());
    }
    data.reserve(static_cast<size_t>(st.st_size));
    AdviseLargePages(&data[0], data.capacity());
    data.resize(static_cast<size_t>(st.st_size));
  }

  size_t filled = 0;
  while (filled < data.size()) {
    ssize_t n = ReadSome(fd, &data[filled], data.size() - filled);
    if (n < 0) throw OpenError(path, LastErrorText());
    if (n == 0) break;  // the file shrank meanwhile
    filled += static_cast<size_t>(n);
  }
  data.resize(filled);

  // Whatever lies beyond the size fstat gave: a file that grew meanwhile, or a pipe or device
  // that reports no size at all.
  char chunk[64 * 1024];
  for (;;) {
    ssize_t n = ReadSome(fd, chunk, sizeof chunk);
    if (n < 0) throw OpenError(path, LastErrorText());
    if (n == 0) break;
    data.append(chunk, static_cast<size_t>(n));
  }
  return data;
}

struct FileReader::Impl {
  std::string path;
  int fd = -1;
  ~Impl() {
    if (fd >= 0) close(fd);
  }
};

FileReader::FileReader(const std::string& path) : impl_(std::make_unique<Impl>()) {
  impl_->path = path;
  impl_->fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (impl_->fd < 0) throw OpenError(path, LastErrorText());
  struct stat st;
  if (fstat(impl_->fd, &st) != 0) throw OpenError(path, LastErrorText());
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    throw OpenError(path, LastErrorText());
  }
  posix_fadvise(impl_->fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

FileReader::~FileReader() = default;

size_t FileReader::Read(char* data, size_t size) {
  const ssize_t n = ReadSome(impl_->fd, data, size);
  if (n < 0) throw OpenError(impl_->path, LastErrorText());
  return static_cast<size_t>(n);
}

struct AtomicFileWriter::Impl {
  std::string target;       // as the caller named it, for messages
  std::string real_target;  // the file that is replaced
  std::string temp;
  int fd = -1;
  std::string buffer;
  bool broken = false;

  // Closes and removes the temporary file; keeps errno so that a pending message stays right.
  void Discard() noexcept {
    int saved = errno;
    if (fd >= 0) close(fd);
    fd = -1;
    if (!temp.empty()) unlink(temp.c_str());
    temp.clear();
    errno = saved;
  }

  [[noreturn]] void Fail(const TessarinError& error) {
    broken = true;
    Discard();
    throw error;
  }
};

AtomicFileWriter::AtomicFileWriter(const std::string& path) : impl_(std::make_unique<Impl>()) {
  IgnoreFileSizeSignal();
  impl_->target = path;
  impl_->real_target = ResolveLink(path);

  const std::string& real = impl_->real_target;
  size_t slash = real.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : real.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? real : real.substr(slash + 1);
  struct stat st;
  if (name.empty() || (stat(real.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
    errno = path.empty() ? ENOENT : EISDIR;
    throw CreateError(path, LastErrorText());
  }

  // A hidden name beside the target, so that the rename never crosses file systems; shortened
  // where the full name would exceed the longest name an entry may have.
  static const char kPattern[] = ".XXXXXX.tmp";
  const size_t room = kMaxNameLength - 1 - (sizeof kPattern - 1);
  std::string temp = folder + "." + name.substr(0, room) + kPattern;
  int fd = mkstemps(&temp[0], 4);
  if (fd < 0) throw CreateError(path, LastErrorText());
  impl_->fd = fd;
  impl_->temp = temp;
  impl_->buffer.reserve(kWriteBufferSize);
}

AtomicFileWriter::~AtomicFileWriter() { impl_->Discard(); }

void AtomicFileWriter::Write(std::string_view bytes) {
  Impl& w = *impl_;
  if (w.fd < 0 || w.broken) throw WriteError();
  if (w.buffer.size() + bytes.size() <= kWriteBufferSize) {
    w.buffer.append(bytes.data(), bytes.size());
    return;
  }
  if (!WriteAll(w.fd, w.buffer.data(), w.buffer.size())) w.Fail(WriteError());
  w.buffer.clear();
  if (bytes.size() >= kWriteBufferSize) {
    if (!WriteAll(w.fd, bytes.data(), bytes.size())) w.Fail(WriteError());
  } else {
    w.buffer.append(bytes.data(), bytes.size());
  }
}

void AtomicFileWriter::Commit() {
  Impl& w = *impl_;
  if (w.fd < 0 || w.broken) throw WriteError();
  if (!WriteAll(w.fd, w.buffer.data(), w.buffer.size())) w.Fail(WriteError());
  w.buffer.clear();

  struct stat st;
  const bool replacing = stat(w.real_target.c_str(), &st) == 0;
  mode_t mode = replacing ? st.st_mode & 07777 : 0666 & ~CurrentUmask();
  if (replacing && fchown(w.fd, st.st_uid, st.st_gid) != 0) {
    // Only the owner may give a file away; a file replaced by someone else becomes theirs.
  }
  if (fchmod(w.fd, mode) != 0) w.Fail(CreateError(w.target, LastErrorText()));
  // A replaced file must never come back empty after a crash, so its new content reaches the
  // disk before the rename. A new file has nothing to lose.
  if (replacing && fsync(w.fd) != 0) w.Fail(WriteError());
  int fd = w.fd;
  w.fd = -1;
  if (close(fd) != 0) w.Fail(WriteError());
  if (rename(w.temp.c_str(), w.real_target.c_str()) != 0) {
    w.Fail(CreateError(w.target, LastErrorText()));
  }
  w.temp.clear();
}

std::string LastErrorText() { return std::strerror(errno); }

void LowerCaseLocale(std::string* text) {
  for (char& c : *text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

int CompareLocale(std::string_view a, std::string_view b, bool ignore_case) {
  if (!ignore_case) {
    int c = a.compare(b);  // char_traits<char> compares as unsigned bytes
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

const LeadBytes& SystemLeadBytes() {
  static const LeadBytes none;
  return none;
}

std::u16string AnsiToUtf16(std::string_view text) {
  std::u16string units(text.size(), u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
  }
  return units;
}

void WriteErrorLine(const std::string& message) {
  std::string line = message + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

bool DebuggerAttached() { return false; }

std::string ReadStandardInput() {
  std::string bytes;
  size_t used = 0;
  for (;;) {
    if (bytes.size() - used < kWriteBufferSize) bytes.resize(used + 2 * kWriteBufferSize);
    const ssize_t n = ReadSome(STDIN_FILENO, &bytes[used], bytes.size() - used);
    if (n < 0) throw TessarinError("Cannot read standard input. " + LastErrorText());
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  bytes.resize(used);
  return bytes;
}

void WriteStandardOutput(std::string_view bytes) {
  std::fflush(stdout);  // whatever was printed before goes first
  if (!WriteAll(STDOUT_FILENO, bytes.data(), bytes.size())) {
    throw TessarinError("Cannot write standard output. " + LastErrorText());
  }
}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

void WriteErrorText(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace platform
