// The platform layer on POSIX systems.

// 64-bit file sizes and offsets on 32-bit hosts too.
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "Error.h"
#include "FaultInjection.h"
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

using faults::Call;
using faults::Inject;

int OpenFile(const char* path, int flags, mode_t mode = 0) {
  if (Inject(Call::kOpen)) return -1;
  for (;;) {
    int fd = open(path, flags, mode);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

// Releases the descriptor in every case; -1 with errno set when the system reports a failure
// (a delayed write error shows up here on some file systems).
int CloseFile(int fd) {
  if (Inject(Call::kClose)) {
    int saved = errno;
    close(fd);
    errno = saved;
    return -1;
  }
  return close(fd);
}

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
    if (Inject(Call::kWrite)) return false;
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

bool CreateFolder(const std::string& path) {
  if (Inject(Call::kMkdir)) return false;
  return mkdir(path.c_str(), 0777) == 0;
}

bool RemoveEmptyFolder(const std::string& path) { return rmdir(path.c_str()) == 0; }

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
  int fd = OpenFile(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
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
  std::shared_ptr<const std::string> kept;  // the bytes of a stream, read once
  size_t pos = 0;
  uint64_t size = 0;
  uint64_t offset = 0;   // where the next read starts in a regular file
  bool drop_behind = false;
  uint64_t dropped = 0;  // where the cache was last dropped up to
  ~Impl() {
    if (fd >= 0) close(fd);
  }
};

namespace {

// A FIFO or a device gives its bytes only once, but a table is read in more than one pass: the
// first reader keeps them for the passes after it.
std::map<std::string, std::shared_ptr<const std::string>>& KeptStreams() {
  static std::map<std::string, std::shared_ptr<const std::string>> kept;
  return kept;
}

}  // namespace

FileReader::FileReader(const std::string& path) : impl_(std::make_unique<Impl>()) {
  impl_->path = path;
  const auto kept = KeptStreams().find(path);
  if (kept != KeptStreams().end()) {
    impl_->kept = kept->second;
    return;
  }
  impl_->fd = OpenFile(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (impl_->fd < 0) throw OpenError(path, LastErrorText());
  struct stat st;
  if (fstat(impl_->fd, &st) != 0) throw OpenError(path, LastErrorText());
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    throw OpenError(path, LastErrorText());
  }
  if (!S_ISREG(st.st_mode)) {
    auto bytes = std::make_shared<std::string>();
    char chunk[64 * 1024];
    for (;;) {
      const ssize_t n = ReadSome(impl_->fd, chunk, sizeof chunk);
      if (n < 0) throw OpenError(path, LastErrorText());
      if (n == 0) break;
      bytes->append(chunk, static_cast<size_t>(n));
    }
    KeptStreams()[path] = bytes;
    impl_->kept = std::move(bytes);
    return;
  }
  impl_->size = static_cast<uint64_t>(st.st_size);
  posix_fadvise(impl_->fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

uint64_t FileReader::Size() const { return impl_->kept ? impl_->kept->size() : impl_->size; }

FileReader::~FileReader() = default;

size_t FileReader::Read(char* data, size_t size) {
  if (impl_->kept) {
    const size_t n = std::min(size, impl_->kept->size() - impl_->pos);
    std::memcpy(data, impl_->kept->data() + impl_->pos, n);
    impl_->pos += n;
    return n;
  }
  const ssize_t n = ReadSome(impl_->fd, data, size);
  if (n < 0) throw OpenError(impl_->path, LastErrorText());
  impl_->offset += static_cast<uint64_t>(n);
  // A few megabytes at a time: each call costs a walk of the file's cache.
  constexpr uint64_t kDropStep = uint64_t{4} << 20;
  if (impl_->drop_behind && impl_->offset > impl_->dropped &&
      (n == 0 || impl_->offset >= impl_->dropped + kDropStep)) {
    // From the start each time: the cache holds pages in groups of up to megabytes, and a
    // group that reaches over the start of the range would stay. Ranges dropped before cost
    // little to walk again.
    impl_->dropped = impl_->offset;
    posix_fadvise(impl_->fd, 0, n == 0 ? 0 : static_cast<off_t>(impl_->offset),  // 0: all
                  POSIX_FADV_DONTNEED);
  }
  return static_cast<size_t>(n);
}

void FileReader::Seek(uint64_t offset) {
  if (impl_->kept) {
    impl_->pos = static_cast<size_t>(std::min<uint64_t>(offset, impl_->kept->size()));
    return;
  }
  if (lseek(impl_->fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
    throw OpenError(impl_->path, LastErrorText());
  }
  impl_->offset = offset;
  impl_->dropped = offset;
}

void FileReader::DropBehind() { impl_->drop_behind = !impl_->kept; }

void DropCachedFile(const std::string& path) {
  const int fd = OpenFile(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return;
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  close(fd);
}

namespace {

// ---- Removing temporary files when the run is interrupted ----

// A named file that must not outlive the run: a temporary file or a backup of a replaced one.
// Kept in a list that the signal handler walks; the list changes only while the interrupting
// signals are blocked, so the handler always finds it whole, and it allocates nothing.
struct CleanupEntry {
  std::string path;
  const char* c_path = nullptr;
  CleanupEntry* prev = nullptr;
  CleanupEntry* next = nullptr;
  bool listed = false;
};

CleanupEntry* g_cleanup = nullptr;
constexpr int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void RemoveTemporaryFilesAndEnd(int signal_number) {
  for (CleanupEntry* entry = g_cleanup; entry != nullptr; entry = entry->next) {
    unlink(entry->c_path);
  }
  // Ends the way the signal ends a process that does not catch it, so the caller sees it.
  signal(signal_number, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal_number);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal_number);
  _exit(128 + signal_number);
}

// Holds the interrupting signals back while it lives; they arrive when it ends.
class SignalBlock {
 public:
  SignalBlock() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kInterruptSignals) sigaddset(&set, s);
    sigprocmask(SIG_BLOCK, &set, &old_);
  }
  ~SignalBlock() { sigprocmask(SIG_SETMASK, &old_, nullptr); }
  SignalBlock(const SignalBlock&) = delete;
  SignalBlock& operator=(const SignalBlock&) = delete;

 private:
  sigset_t old_;
};

// A signal the caller chose to ignore (nohup, a background job) stays ignored.
void InstallCleanupHandlers() {
  static const bool installed = [] {
    for (int s : kInterruptSignals) {
      struct sigaction old_action;
      if (sigaction(s, nullptr, &old_action) != 0 || old_action.sa_handler == SIG_IGN) continue;
      struct sigaction action;
      std::memset(&action, 0, sizeof action);
      action.sa_handler = RemoveTemporaryFilesAndEnd;
      sigemptyset(&action.sa_mask);
      for (int t : kInterruptSignals) sigaddset(&action.sa_mask, t);
      sigaction(s, &action, nullptr);
    }
    return true;
  }();
  (void)installed;
}

// Callers hold a SignalBlock, so that a file and its entry come and go together.
void List(CleanupEntry* entry, const std::string& path) {
  InstallCleanupHandlers();
  entry->path = path;
  entry->c_path = entry->path.c_str();
  entry->prev = nullptr;
  entry->next = g_cleanup;
  if (g_cleanup != nullptr) g_cleanup->prev = entry;
  g_cleanup = entry;
  entry->listed = true;
}

void Unlist(CleanupEntry* entry) {
  if (!entry->listed) return;
  if (entry->prev != nullptr) entry->prev->next = entry->next;
  if (entry->next != nullptr) entry->next->prev = entry->prev;
  if (g_cleanup == entry) g_cleanup = entry->next;
  entry->listed = false;
  entry->prev = entry->next = nullptr;
}

// Removes the listed file; keeps errno so that a pending message stays right.
void RemoveListed(CleanupEntry* entry) noexcept {
  if (!entry->listed) return;
  int saved = errno;
  SignalBlock block;
  unlink(entry->c_path);
  Unlist(entry);
  errno = saved;
}

// ---- Names and permissions ----

// A fresh hidden name beside `folder` + `name`, ending in `suffix`; shortened where the full
// name would exceed the longest name an entry may have.
std::string HiddenName(const std::string& folder, const std::string& name, const char* suffix) {
  static unsigned long counter = 0;
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  unsigned long long seed = (static_cast<unsigned long long>(getpid()) << 32) ^
                            static_cast<unsigned long long>(now.tv_nsec) ^ (++counter * 7919);
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  char unique[7];
  for (int i = 0; i < 6; ++i) {
    unique[i] = kLetters[seed % 36];
    seed /= 36;
  }
  unique[6] = '\0';
  const size_t room = kMaxNameLength - 2 - 6 - std::strlen(suffix);
  return folder + "." + name.substr(0, room) + "." + unique + suffix;
}

// Whether the user may replace this existing regular file. The superuser may write any file,
// but a file without any write permission bit is one its owner chose to protect, so it is
// refused to the superuser too. False with errno set (EACCES, EROFS) when not.
bool MayReplace(const std::string& path, const struct stat& st) {
  if (geteuid() == 0 && (st.st_mode & 0222) == 0) {
    errno = EACCES;
    return false;
  }
  return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Errors of an O_TMPFILE open that mean the file system (or the kernel) cannot make unnamed
// files; a named temporary file is used there instead.
bool TmpfileUnsupported(int error) {
  return error == EOPNOTSUPP || error == ENOTSUP || error == EISDIR || error == EINVAL ||
         error == ENOSYS;
}

// Errors of link() that mean the file system has no hard links for us; the old file then gets
// no backup and a failed group commit cannot give it back.
bool LinkUnsupported(int error) {
  return error == EPERM || error == EOPNOTSUPP || error == ENOTSUP || error == ENOSYS ||
         error == EMLINK || error == EXDEV;
}

}  // namespace

// ---- The claim on a rewritten table ----

struct TableLock::Impl {
  std::string real;  // the file that will be replaced
  int fd = -1;
  bool existed = false;
  struct stat claimed;
};

namespace {

TableLock::Impl* g_claim = nullptr;
constexpr auto kLockWait = std::chrono::seconds(5);
constexpr auto kLockPoll = std::chrono::milliseconds(25);

// Throws when `real_target` is the claimed table and it is no longer the file that was claimed.
void CheckClaim(const std::string& real_target, const std::string& target) {
  if (g_claim == nullptr || g_claim->real != real_target) return;
  struct stat st;
  const bool exists = stat(real_target.c_str(), &st) == 0;
  if (exists == g_claim->existed && (!exists || SameFile(st, g_claim->claimed))) return;
  throw WriteError(target, "It was changed by another program during this run; that change is kept");
}

}  // namespace

TableLock::TableLock(const std::string& path) : impl_(std::make_unique<Impl>()) {
  Impl& lock = *impl_;
  lock.real = ResolveLink(path);
  const auto deadline = std::chrono::steady_clock::now() + kLockWait;
  for (;;) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
      if (errno != ENOENT) throw OpenError(path, LastErrorText());
      break;  // a new table: nothing to lock; the rename checks that none appeared meanwhile
    }
    if (!S_ISREG(st.st_mode)) throw WriteError(path, "Not a regular file");
    if (!MayReplace(path, st)) throw CreateError(path, LastErrorText());
    int fd = OpenFile(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) throw OpenError(path, LastErrorText());
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      close(fd);
      if (error == EWOULDBLOCK || error == EINTR) {
        if (std::chrono::steady_clock::now() >= deadline) {
          throw WriteError(path, "The file is in use by another run");
        }
        std::this_thread::sleep_for(kLockPoll);
        continue;
      }
      // A file system without locks: the check before the rename still guards the table.
      if (stat(path.c_str(), &st) != 0) continue;
      lock.existed = true;
      lock.claimed = st;
      break;
    }
    // The run that held the lock may have replaced the file meanwhile; the lock then sits on
    // the old file, and the new one is the one to claim.
    struct stat locked;
    if (fstat(fd, &locked) == 0 && stat(path.c_str(), &st) == 0 && locked.st_dev == st.st_dev &&
        locked.st_ino == st.st_ino) {
      lock.fd = fd;
      lock.existed = true;
      lock.claimed = locked;
      break;
    }
    close(fd);
  }
  g_claim = impl_.get();
}

TableLock::~TableLock() {
  if (g_claim == impl_.get()) g_claim = nullptr;
  if (impl_->fd >= 0) close(impl_->fd);  // releases the lock
}

// ---- Atomic writing ----

// A thread started with every signal blocked, so that interrupting signals reach the main
// thread, whose handler removes the temporary files.
std::thread QuietThread(std::function<void()> work) {
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &old);
  std::thread thread(std::move(work));
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return thread;
}

// Bytes a file must have before a helper thread starts syncing it, and between its syncs.
constexpr uint64_t kEarlySyncStretch = uint64_t{16} << 20;

// Syncs a file's data on a thread of its own whenever enough new bytes were written, so that
// the disk catches up while the writer goes on.
class BackgroundSync {
 public:
  explicit BackgroundSync(int fd) : fd_(fd) {
    thread_ = QuietThread([this] { Run(); });
  }
  ~BackgroundSync() { Stop(); }
  BackgroundSync(const BackgroundSync&) = delete;
  BackgroundSync& operator=(const BackgroundSync&) = delete;

  /// `written` bytes are in the file now.
  void Request(uint64_t written) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (written < synced_ + kEarlySyncStretch) return;
    wanted_ = written;
    wake_.notify_one();
  }
  /// Ends the thread; the errno of the first failed sync, or 0.
  int Stop() {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      stopping_ = true;
      wake_.notify_one();
    }
    if (thread_.joinable()) thread_.join();
    return error_;
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
      wake_.wait(hold, [this] { return stopping_ || wanted_ > synced_; });
      if (stopping_) return;
      const uint64_t target = wanted_;
      hold.unlock();
      const int result = fdatasync(fd_);
      const int error = result == 0 ? 0 : errno;
      hold.lock();
      if (error != 0 && error_ == 0) error_ = error;
      synced_ = target;
    }
  }

  int fd_;
  std::mutex mutex_;
  std::condition_variable wake_;
  uint64_t wanted_ = 0;
  uint64_t synced_ = 0;
  bool stopping_ = false;
  int error_ = 0;
  std::thread thread_;
};

// The writing of files' bytes, done on a thread of its own, so that the program goes on making
// the next bytes while the system takes the last ones. One thread serves every file, in the
// order the bytes were handed over; a few pieces at most wait, so memory stays bounded. A file
// whose write fails takes no more bytes and learns of it at its next step.
class WriteBehind {
 public:
  /// Where a file's pieces stand; owned by the file, which drains it before it goes away.
  struct Account {
    int fd = -1;
    size_t pending = 0;  // pieces handed over, not yet written
    int error = 0;       // the errno of the first failed write
    std::function<bool(int, const char*, size_t)> write;
  };

  static WriteBehind& Instance() {
    static WriteBehind instance;
    return instance;
  }
  /// Hands the piece over, waiting while too many wait already. `piece` comes back empty,
  /// with room kept from an earlier piece where there is one.
  void Queue(Account* account, LargeString* piece) {
    std::unique_lock<std::mutex> hold(mutex_);
    room_.wait(hold, [this] { return jobs_.size() < kMaxWaiting; });
    ++account->pending;
    jobs_.push_back(Job{account, std::move(*piece)});
    work_.notify_one();
    if (!spare_.empty()) {
      *piece = std::move(spare_.back());
      spare_.pop_back();
    } else {
      *piece = LargeString();
    }
  }
  /// Waits until every piece of the account is written; the errno of a failed write, or 0.
  int Drain(Account* account) {
    std::unique_lock<std::mutex> hold(mutex_);
    done_.wait(hold, [account] { return account->pending == 0; });
    return account->error;
  }
  /// The error so far, without waiting.
  int Error(Account* account) {
    std::lock_guard<std::mutex> hold(mutex_);
    return account->error;
  }

 private:
  static constexpr size_t kMaxWaiting = 4;
  struct Job {
    Account* account;
    LargeString bytes;
  };

  WriteBehind() {
    thread_ = QuietThread([this] { Run(); });
  }
  ~WriteBehind() {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      stopping_ = true;
      work_.notify_one();
    }
    thread_.join();
  }

  void Run() {
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
      work_.wait(hold, [this] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;
      Job job = std::move(jobs_.front());
      jobs_.pop_front();
      room_.notify_one();
      Account* account = job.account;
      const bool skip = account->error != 0;
      hold.unlock();
      int error = 0;
      if (!skip && !account->write(account->fd, job.bytes.data(), job.bytes.size())) {
        error = errno != 0 ? errno : EIO;
      }
      job.bytes.clear();
      hold.lock();
      if (error != 0 && account->error == 0) account->error = error;
      if (spare_.size() < kMaxWaiting) spare_.push_back(std::move(job.bytes));
      --account->pending;
      done_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable work_, room_, done_;
  std::deque<Job> jobs_;
  std::vector<LargeString> spare_;
  bool stopping_ = false;
  std::thread thread_;
};

struct AtomicFileWriter::Impl {
  std::string target;       // as the caller named it, for messages
  std::string real_target;  // the file that is replaced
  std::string folder;       // of real_target, with its final "/"
  std::string name;         // of real_target
  int fd = -1;
  bool unnamed = false;   // an O_TMPFILE file: it has no name yet
  bool direct = false;    // the target is a device, FIFO or socket, written to as it is
  bool complete = false;  // all bytes written and synced; naming and renaming are left
  bool broken = false;
  CleanupEntry temp;  // the temporary file's name, once it has one
  LargeString buffer;
  // A file that will replace an existing one is synced before the rename. A helper thread
  // syncs what is written so far while later bytes are still being made, so that the sync at
  // the end has only the last stretch left.
  bool early_sync = false;
  uint64_t written = 0;
  std::unique_ptr<BackgroundSync> syncer;
  // Full buffers go to the write-behind thread (regular files only: a device or a FIFO is
  // written to as the bytes come).
  WriteBehind::Account behind;
  bool queued = false;  // some piece went to the thread

  bool WriteBytes(const char* data, size_t size);
  // Hands the buffer over to be written; fails the file when an earlier piece failed.
  void QueueBuffer();
  // Waits for the pieces handed over; fails the file when one of them failed.
  void DrainQueued();

  // Closes and removes the temporary file; keeps errno so that a pending message stays right.
  void Discard() noexcept {
    int saved = errno;
    if (queued) WriteBehind::Instance().Drain(&behind);
    if (syncer) syncer->Stop();
    if (fd >= 0) close(fd);
    fd = -1;
    RemoveListed(&temp);
    errno = saved;
  }

  [[noreturn]] void Fail(const FileError& error) {
    broken = true;
    Discard();
    throw error;
  }

  void CreateTemporary();
  bool GiveName();
  void Complete();
  void Release();
  void Replace();
};

bool AtomicFileWriter::Impl::WriteBytes(const char* data, size_t size) {
  if (!WriteAll(fd, data, size)) return false;
  written += size;
  if (early_sync && written >= kEarlySyncStretch) {
    if (!syncer) syncer = std::make_unique<BackgroundSync>(fd);
    syncer->Request(written);
  }
  return true;
}

void AtomicFileWriter::Impl::QueueBuffer() {
  if (direct) {
    if (!WriteBytes(buffer.data(), buffer.size())) Fail(WriteError(target, LastErrorText()));
    buffer.clear();
    return;
  }
  WriteBehind& thread = WriteBehind::Instance();
  if (queued) {
    if (const int error = thread.Error(&behind)) {
      thread.Drain(&behind);
      errno = error;
      Fail(WriteError(target, LastErrorText()));
    }
  } else {
    behind.fd = fd;
    behind.write = [this](int, const char* data, size_t size) { return WriteBytes(data, size); };
    queued = true;
  }
  thread.Queue(&behind, &buffer);
}

void AtomicFileWriter::Impl::DrainQueued() {
  if (!queued) return;
  if (const int error = WriteBehind::Instance().Drain(&behind)) {
    errno = error;
    Fail(WriteError(target, LastErrorText()));
  }
}

void AtomicFileWriter::Impl::CreateTemporary() {
#ifdef O_TMPFILE
  fd = OpenFile(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd >= 0) {
    unnamed = true;
    return;
  }
  if (!TmpfileUnsupported(errno)) throw CreateError(target, LastErrorText());
#endif
  // The name and its cleanup entry come into being together.
  static const char kPattern[] = ".XXXXXX.tmp";
  const size_t room = kMaxNameLength - 1 - (sizeof kPattern - 1);
  std::string path = folder + "." + name.substr(0, room) + kPattern;
  SignalBlock block;
  if (Inject(Call::kOpen)) throw CreateError(target, LastErrorText());
  int made = mkstemps(&path[0], 4);
  if (made < 0) throw CreateError(target, LastErrorText());
  fd = made;
  List(&temp, path);
}

// Links an unnamed temporary file to a fresh hidden name beside the target, so that it can be
// closed and later renamed. False with errno set when the system refuses.
bool AtomicFileWriter::Impl::GiveName() {
  char self[64];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = HiddenName(folder, name, ".tmp");
    SignalBlock block;
    if (Inject(Call::kLink)) return false;
    int linked = linkat(AT_FDCWD, self, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW);
#ifdef AT_EMPTY_PATH
    if (linked != 0 && errno == ENOENT) {  // no /proc
      linked = linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH);
      if (linked != 0 && errno != EEXIST) errno = ENOENT;
    }
#endif
    if (linked == 0) {
      List(&temp, path);
      unnamed = false;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

void AtomicFileWriter::Impl::Complete() {
  if (complete) return;
  if (fd < 0 || broken) throw WriteError(target, "The file was not written completely");
  if (queued && !buffer.empty()) QueueBuffer();
  DrainQueued();
  if (!WriteBytes(buffer.data(), buffer.size())) Fail(WriteError(target, LastErrorText()));
  buffer = LargeString();  // a complete file may wait long for its rename; its buffer need not
  if (!direct) {
    struct stat st;
    const bool replacing = stat(real_target.c_str(), &st) == 0;
    mode_t mode = replacing ? st.st_mode & 07777 : 0666 & ~CurrentUmask();
    if (replacing && fchown(fd, st.st_uid, st.st_gid) != 0) {
      // Only the owner may give a file away; a file replaced by someone else becomes theirs.
    }
    if (fchmod(fd, mode) != 0) Fail(CreateError(target, LastErrorText()));
    // A replaced file must never come back empty after a crash, so its new content reaches the
    // disk before the rename. A new file has nothing to lose. A failure of an earlier sync is
    // reported by that sync only, so it counts here too.
    const int early_error = syncer ? syncer->Stop() : 0;
    if (replacing && early_error != 0) {
      errno = early_error;
      Fail(WriteError(target, LastErrorText()));
    }
    if (replacing && (Inject(Call::kFsync) || fsync(fd) != 0)) {
      Fail(WriteError(target, LastErrorText()));
    }
  }
  complete = true;
}

// Lets go of the descriptor. An unnamed file gets its name only now, so that a killed run
// leaves a name behind for as short a time as possible.
void AtomicFileWriter::Impl::Release() {
  Complete();
  if (fd < 0) return;
  if (unnamed && !GiveName()) Fail(CreateError(target, LastErrorText()));
  int open_fd = fd;
  fd = -1;
  if (CloseFile(open_fd) != 0) Fail(WriteError(target, LastErrorText()));
}

void AtomicFileWriter::Impl::Replace() {
  Complete();
  if (!direct) {
    try {
      CheckClaim(real_target, target);
    } catch (const FileError& e) {
      Fail(e);
    }
  }
  Release();
  if (direct) return;
  if (Inject(Call::kRename) || rename(temp.c_path, real_target.c_str()) != 0) {
    Fail(CreateError(target, LastErrorText()));
  }
  SignalBlock block;
  Unlist(&temp);
}

AtomicFileWriter::AtomicFileWriter(const std::string& path) : impl_(std::make_unique<Impl>()) {
  IgnoreFileSizeSignal();
  Impl& w = *impl_;
  w.target = path;
  struct stat st;
  if (!path.empty() && stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) &&
      !S_ISDIR(st.st_mode)) {
    // Replacing a device or a FIFO by a regular file would break whatever uses it.
    w.fd = OpenFile(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (w.fd < 0) throw CreateError(path, LastErrorText());
    w.direct = true;
    w.buffer.reserve(kWriteBufferSize);
    return;
  }
  w.real_target = ResolveLink(path);
  const std::string& real = w.real_target;
  size_t slash = real.rfind('/');
  w.folder = slash == std::string::npos ? std::string() : real.substr(0, slash + 1);
  w.name = slash == std::string::npos ? real : real.substr(slash + 1);
  const bool exists = stat(real.c_str(), &st) == 0;
  if (w.name.empty() || (exists && S_ISDIR(st.st_mode))) {
    errno = path.empty() ? ENOENT : EISDIR;
    throw CreateError(path, LastErrorText());
  }
  if (exists && !MayReplace(real, st)) throw CreateError(path, LastErrorText());
  w.early_sync = exists;
  w.CreateTemporary();
  // The buffer gets its room at the first Write(): a file written by Take() alone has none,
  // so that many files open at once cost no more than the pieces handed over.
}

AtomicFileWriter::~AtomicFileWriter() { impl_->Discard(); }

void AtomicFileWriter::Write(std::string_view bytes) {
  Impl& w = *impl_;
  if (w.fd < 0 || w.broken || w.complete) {
    throw WriteError(w.target, "The file is already closed");
  }
  if (w.buffer.capacity() < kWriteBufferSize && !bytes.empty()) w.buffer.reserve(kWriteBufferSize);
  while (!bytes.empty()) {
    const size_t room = kWriteBufferSize - std::min(kWriteBufferSize, w.buffer.size());
    const size_t take = std::min(room, bytes.size());
    w.buffer.append(bytes.data(), take);
    bytes.remove_prefix(take);
    if (w.buffer.size() >= kWriteBufferSize) w.QueueBuffer();
  }
}

void AtomicFileWriter::Take(LargeString* bytes) {
  Impl& w = *impl_;
  if (w.buffer.empty() && !bytes->empty() && !w.direct && w.fd >= 0 && !w.broken && !w.complete) {
    // The bytes go to the write-behind thread as they are, without a copy; the caller gets
    // back the room of a piece written earlier, where there is one.
    w.buffer.swap(*bytes);
    w.QueueBuffer();
    bytes->swap(w.buffer);
    bytes->clear();
    return;
  }
  Write(std::string_view(bytes->data(), bytes->size()));
  bytes->clear();
}

void AtomicFileWriter::Finish() { impl_->Release(); }

void AtomicFileWriter::Commit() {
  impl_->Replace();
}

namespace {

// A second name for a file about to be replaced, so that the replacement can be undone.
struct Backup {
  CleanupEntry entry;
  bool existed = false;
  ~Backup() { RemoveListed(&entry); }
};

}  // namespace

void AtomicFileWriter::CommitAll(const std::vector<AtomicFileWriter*>& writers) {
  for (AtomicFileWriter* writer : writers) writer->impl_->Complete();
  if (writers.size() == 1) {
    writers[0]->impl_->Replace();
    return;
  }
  std::vector<Backup> backups(writers.size());
  for (size_t i = 0; i < writers.size(); ++i) {
    Impl& w = *writers[i]->impl_;
    if (w.direct) continue;
    struct stat st;
    backups[i].existed = lstat(w.real_target.c_str(), &st) == 0;
    if (!backups[i].existed) continue;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string path = HiddenName(w.folder, w.name, ".old");
      SignalBlock block;
      if (!Inject(Call::kLink) && link(w.real_target.c_str(), path.c_str()) == 0) {
        List(&backups[i].entry, path);
        break;
      }
      if (errno == EEXIST) continue;
      if (LinkUnsupported(errno)) break;
      w.Fail(CreateError(w.target, LastErrorText()));
    }
  }
  // Interrupting signals wait until every file is in place or every one is back.
  SignalBlock block;
  for (size_t i = 0; i < writers.size(); ++i) {
    try {
      writers[i]->impl_->Replace();
    } catch (const FileError&) {
      const int saved = errno;
      for (size_t j = 0; j < i; ++j) {
        Impl& done = *writers[j]->impl_;
        if (done.direct) continue;
        Backup& backup = backups[j];
        if (backup.entry.listed) {
          // Renamed back, the backup's name is gone; should even that fail, the backup keeps
          // the old content under its hidden name rather than being removed.
          if (!Inject(Call::kRename)) rename(backup.entry.c_path, done.real_target.c_str());
          Unlist(&backup.entry);
        } else if (!backup.existed) {
          unlink(done.real_target.c_str());
        }
      }
      errno = saved;
      throw;
    }
  }
}

namespace {

// Large pages are this big (x86-64, and the usual size elsewhere); memory aligned to them can
// be backed by them.
constexpr size_t kLargePage = size_t{2} << 20;

}  // namespace

// Whole large pages: a part of one at the end would be backed by ordinary pages.
size_t LargeMapping(size_t bytes) { return (bytes + kLargePage - 1) & ~(kLargePage - 1); }

void* AllocateLarge(size_t bytes) {
  // Mapped a large page more than asked, so that a start aligned to one fits; the ends outside
  // are given back at once.
  const size_t used = LargeMapping(bytes);
  const size_t mapped = used + kLargePage;
  if (bytes == 0 || used < bytes || mapped < used) throw std::bad_alloc();
  void* start = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (start == MAP_FAILED) throw std::bad_alloc();
  const auto address = reinterpret_cast<uintptr_t>(start);
  const uintptr_t aligned = (address + kLargePage - 1) & ~(uintptr_t{kLargePage} - 1);
  const size_t head = aligned - address;
  if (head > 0) munmap(start, head);
  const size_t tail = mapped - head - used;
  if (tail > 0) munmap(reinterpret_cast<void*>(aligned + used), tail);
#ifdef MADV_HUGEPAGE
  madvise(reinterpret_cast<void*>(aligned), used, MADV_HUGEPAGE);  // a wish: refusal is fine
#endif
  return reinterpret_cast<void*>(aligned);
}

void FreeLarge(void* memory, size_t bytes) noexcept {
  if (memory != nullptr) munmap(memory, LargeMapping(bytes));
}

struct HelperThread::Impl {
  std::thread thread;
};

HelperThread::HelperThread(std::function<void()> work)
    : impl_(std::make_unique<Impl>(Impl{QuietThread(std::move(work))})) {}

HelperThread::~HelperThread() { impl_->thread.join(); }

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
