// The platform layer on Windows: the ANSI ("A") functions of Win32, so that paths and texts
// stay byte strings in the system's code page.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>

#include "Error.h"
#include "Platform.h"

namespace platform {

const char kPreferredSeparator = '\\';

bool IsPathSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }

size_t NameStart(std::string_view path) {
  const LeadBytes& lead = SystemLeadBytes();
  size_t start = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsPathSeparator(path[i])) {
      start = i + 1;
    } else if (lead.IsLead(path[i])) {
      ++i;
    }
  }
  return start;
}

namespace {

// One ReadFile or WriteFile call moves at most this much (their counts are 32-bit).
constexpr size_t kMaxTransfer = size_t{1} << 30;
constexpr size_t kWriteBufferSize = size_t{1} << 20;
// Texts longer than this go to the code-page functions in pieces (their lengths are 32-bit).
constexpr size_t kMaxConvert = size_t{1} << 28;

class HandleCloser {
 public:
  explicit HandleCloser(HANDLE handle) : handle_(handle) {}
  ~HandleCloser() { CloseHandle(handle_); }
  HandleCloser(const HandleCloser&) = delete;
  HandleCloser& operator=(const HandleCloser&) = delete;

 private:
  HANDLE handle_;
};

// Reads up to `size` bytes into `data`; false on failure, `*got` 0 at the end of the file.
bool ReadSome(HANDLE file, char* data, size_t size, size_t* got) {
  DWORD n = 0;
  BOOL ok = ReadFile(file, data, static_cast<DWORD>(std::min(size, kMaxTransfer)), &n, nullptr);
  *got = n;
  return ok != FALSE;
}

// Writes all bytes; false when the system takes fewer than asked.
bool WriteAll(HANDLE file, const char* data, size_t size) {
  while (size > 0) {
    DWORD chunk = static_cast<DWORD>(std::min(size, kMaxTransfer));
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr)) return false;
    if (written == 0) {
      SetLastError(ERROR_DISK_FULL);
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

std::string FolderOf(const std::string& path) { return path.substr(0, NameStart(path)); }

// Where a piece of a long text may end: after a byte below 0x40, which is never the second
// byte of a double-byte character, so no character is cut in two.
size_t PieceLength(std::string_view text, size_t pos) {
  size_t length = std::min(text.size() - pos, kMaxConvert);
  if (pos + length == text.size()) return length;
  for (size_t cut = length; cut > 0; --cut) {
    if (static_cast<unsigned char>(text[pos + cut - 1]) < 0x40) return cut;
  }
  return length;
}

int ByteCompare(std::string_view a, std::string_view b) {
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

std::string ExpandPath(const std::string& path) {
  if (path.empty()) return std::string();
  std::string full(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    if (n == 0) return path;
    if (n < full.size()) {
      full.resize(n);
      return full;
    }
    full.resize(n);  // too small: n is the size needed, with the terminating NUL
  }
}

bool FolderExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool EntryExists(const std::string& path) {
  const size_t name_start = path.find_last_of("\\/:");
  const std::string name = name_start == std::string::npos ? path : path.substr(name_start + 1);
  if (name.empty() || name.find_first_of("*?") != std::string::npos) return false;
  // The file system ignores case; the entry counts only when it is spelled as asked.
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA(path.c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return name == entry.cFileName;
}

bool CreateFolder(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool RemoveEmptyFolder(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }

bool ListFolder(const std::string& folder, std::vector<std::string>* names) {
  names->clear();
  if (folder.empty()) return false;
  std::string pattern = folder;
  if (NameStart(pattern) != pattern.size()) pattern += '\\';
  pattern += '*';

  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA(pattern.c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) {
    // An empty drive root has no "." and "..", so "*" matches nothing there.
    return GetLastError() == ERROR_FILE_NOT_FOUND;
  }
  do {
    const char* name = entry.cFileName;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    names->emplace_back(name);
  } while (FindNextFileA(find, &entry));
  bool ok = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(find);
  if (!ok) names->clear();
  return ok;
}

std::string ReadWholeFile(const std::string& path) {
  // Nobody may start writing while the file is read. But a spreadsheet program that has the
  // table open for editing holds it with write access and lets others read: the file is then
  // read all the same (that program writes only when the user saves).
  auto open = [&path](DWORD share) {
    return CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  };
  HANDLE file = open(FILE_SHARE_READ);
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) {
    file = open(FILE_SHARE_READ | FILE_SHARE_WRITE);
  }
  if (file == INVALID_HANDLE_VALUE) throw OpenError(path, LastErrorText());
  HandleCloser closer(file);

  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size)) throw OpenError(path, LastErrorText());
  std::string data;
  if (size.QuadPart > 0) {
    if (static_cast<unsigned long long>(size.QuadPart) > data.max_size()) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      throw OpenError(path, LastErrorText());
    }
    data.resize(static_cast<size_t>(size.QuadPart));
  }

  size_t filled = 0;
  while (filled < data.size()) {
    size_t got = 0;
    if (!ReadSome(file, &data[filled], data.size() - filled, &got)) {
      throw OpenError(path, LastErrorText());
    }
    if (got == 0) break;  // the file shrank meanwhile
    filled += got;
  }
  data.resize(filled);

  // Whatever lies beyond the size the system gave: a file that grew meanwhile.
  char chunk[64 * 1024];
  for (;;) {
    size_t got = 0;
    if (!ReadSome(file, chunk, sizeof chunk, &got)) throw OpenError(path, LastErrorText());
    if (got == 0) break;
    data.append(chunk, got);
  }
  return data;
}

namespace {
// Every reader open in the process, so that a table can be let go of before it is replaced.
struct OpenReader {
  const std::string* path;
  HANDLE* file;
};
std::vector<OpenReader> g_readers;
}  // namespace

struct FileReader::Impl {
  std::string path;
  HANDLE file = INVALID_HANDLE_VALUE;
  Impl() { g_readers.push_back({&path, &file}); }
  ~Impl() {
    g_readers.erase(std::find_if(g_readers.begin(), g_readers.end(),
                                 [this](const OpenReader& r) { return r.file == &file; }));
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
};

FileReader::FileReader(const std::string& path) : impl_(std::make_unique<Impl>()) {
  impl_->path = path;
  impl_->file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (impl_->file == INVALID_HANDLE_VALUE) throw OpenError(path, LastErrorText());
}

FileReader::~FileReader() = default;

size_t FileReader::Read(char* data, size_t size) {
  size_t got = 0;
  if (!ReadSome(impl_->file, data, size, &got)) throw OpenError(impl_->path, LastErrorText());
  return got;
}

uint64_t FileReader::Size() const {
  LARGE_INTEGER size;
  if (GetFileType(impl_->file) != FILE_TYPE_DISK || !GetFileSizeEx(impl_->file, &size)) return 0;
  return static_cast<uint64_t>(size.QuadPart);
}

// The Windows cache gives no way to drop a file's pages short of unbuffered reads, which would
// cost more than they spare.
void FileReader::DropBehind() {}
void DropCachedFile(const std::string&) {}

void FileReader::Seek(uint64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(impl_->file, to, nullptr, FILE_BEGIN)) {
    throw OpenError(impl_->path, LastErrorText());
  }
}

namespace {

// ---- Removing temporary files when the run is interrupted ----

// Named files that must not outlive the run (temporary files, backups of replaced ones). The
// console control handler runs on a thread of its own, so the list is guarded by a lock.
struct CleanupEntry {
  std::string path;
  CleanupEntry* prev = nullptr;
  CleanupEntry* next = nullptr;
  bool listed = false;
};

CRITICAL_SECTION* CleanupLock() {
  static CRITICAL_SECTION section;
  static const bool initialized = [] {
    InitializeCriticalSection(&section);
    return true;
  }();
  (void)initialized;
  return &section;
}

CleanupEntry* g_cleanup = nullptr;

// Ctrl-C, Ctrl-Break, a closed console, logoff or shutdown: the files go, then the default
// handling ends the process.
BOOL WINAPI RemoveTemporaryFiles(DWORD) {
  EnterCriticalSection(CleanupLock());
  for (CleanupEntry* entry = g_cleanup; entry != nullptr; entry = entry->next) {
    DeleteFileA(entry->path.c_str());
  }
  g_cleanup = nullptr;  // whatever the main thread does next, it finds nothing to remove
  LeaveCriticalSection(CleanupLock());
  return FALSE;
}

class CleanupGuard {
 public:
  CleanupGuard() { EnterCriticalSection(CleanupLock()); }
  ~CleanupGuard() { LeaveCriticalSection(CleanupLock()); }
  CleanupGuard(const CleanupGuard&) = delete;
  CleanupGuard& operator=(const CleanupGuard&) = delete;
};

void List(CleanupEntry* entry, const std::string& path) {
  static const bool installed = SetConsoleCtrlHandler(RemoveTemporaryFiles, TRUE) != FALSE;
  (void)installed;
  CleanupGuard guard;
  entry->path = path;
  entry->prev = nullptr;
  entry->next = g_cleanup;
  if (g_cleanup != nullptr) g_cleanup->prev = entry;
  g_cleanup = entry;
  entry->listed = true;
}

void Unlist(CleanupEntry* entry) {
  CleanupGuard guard;
  if (!entry->listed) return;
  if (entry->prev != nullptr) entry->prev->next = entry->next;
  if (entry->next != nullptr) entry->next->prev = entry->prev;
  if (g_cleanup == entry) g_cleanup = entry->next;
  entry->listed = false;
  entry->prev = entry->next = nullptr;
}

// Removes the listed file; keeps the last error so that a pending message stays right.
void RemoveListed(CleanupEntry* entry) noexcept {
  if (!entry->listed) return;
  DWORD saved = GetLastError();
  DeleteFileA(entry->path.c_str());
  Unlist(entry);
  SetLastError(saved);
}

// A fresh hidden name beside the target: the process id and a counter make it unique.
std::string HiddenName(const std::string& folder, const std::string& name, const char* suffix) {
  static unsigned counter = 0;
  char unique[40];
  std::snprintf(unique, sizeof unique, ".%lx.%x%s", static_cast<unsigned long>(GetCurrentProcessId()),
                static_cast<unsigned>(GetTickCount()) + counter++, suffix);
  return folder + "." + name + unique;
}

struct FileIdentity {
  DWORD volume = 0, index_high = 0, index_low = 0, size_high = 0, size_low = 0;
  FILETIME written{};
};

bool IdentityOf(HANDLE file, FileIdentity* id) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return false;
  id->volume = info.dwVolumeSerialNumber;
  id->index_high = info.nFileIndexHigh;
  id->index_low = info.nFileIndexLow;
  id->size_high = info.nFileSizeHigh;
  id->size_low = info.nFileSizeLow;
  id->written = info.ftLastWriteTime;
  return true;
}

bool SameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.index_high == b.index_high && a.index_low == b.index_low &&
         a.size_high == b.size_high && a.size_low == b.size_low &&
         a.written.dwLowDateTime == b.written.dwLowDateTime &&
         a.written.dwHighDateTime == b.written.dwHighDateTime;
}

// The identity of the file at the path; false when there is none (or it cannot be opened).
bool IdentityAt(const std::string& path, FileIdentity* id) {
  HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = IdentityOf(file, id);
  CloseHandle(file);
  return ok;
}

// A device or a pipe the path names (NUL, CON, \\.\pipe\...): such a target is written to as it
// is. INVALID_HANDLE_VALUE for a file on disk, or when the path cannot be opened.
HANDLE OpenIfNotOnDisk(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  if (GetFileType(file) != FILE_TYPE_DISK) return file;
  CloseHandle(file);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

// ---- The claim on a rewritten table ----

struct TableLock::Impl {
  std::string path;
  HANDLE file = INVALID_HANDLE_VALUE;
  bool existed = false;
  FileIdentity claimed;
};

namespace {

TableLock::Impl* g_claim = nullptr;
constexpr DWORD kLockWaitMs = 5000;
constexpr DWORD kLockPollMs = 25;

// The lock covers one byte far beyond any table's end, so it never hinders reading the table.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

bool SamePath(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                        b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

void CheckClaim(const std::string& target) {
  if (g_claim == nullptr || !SamePath(g_claim->path, target)) return;
  FileIdentity now;
  const bool exists = IdentityAt(target, &now);
  if (exists == g_claim->existed && (!exists || SameFile(now, g_claim->claimed))) return;
  throw WriteError(target, "It was changed by another program during this run; that change is kept");
}

// Windows refuses to replace a file while a handle is open on it (Wine even when that handle
// shares deletion), so the claim's handle is closed just before the table is replaced. A run
// that takes the lock in that moment still holds the old file's identity, and its own check
// before renaming then refuses to overwrite this run's result.
void ReleaseClaimBeforeReplacing(const std::string& target) {
  if (g_claim == nullptr || g_claim->file == INVALID_HANDLE_VALUE) return;
  if (!SamePath(g_claim->path, target)) return;
  CloseHandle(g_claim->file);
  g_claim->file = INVALID_HANDLE_VALUE;
}

// A streamed table is still open for reading when its new version is put in place, which
// Windows refuses; by then everything has been read, so the readers of that file let go.
void ReleaseReadersBeforeReplacing(const std::string& target) {
  for (const OpenReader& reader : g_readers) {
    if (*reader.file == INVALID_HANDLE_VALUE || !SamePath(*reader.path, target)) continue;
    CloseHandle(*reader.file);
    *reader.file = INVALID_HANDLE_VALUE;
  }
}

}  // namespace

TableLock::TableLock(const std::string& path) : impl_(std::make_unique<Impl>()) {
  Impl& lock = *impl_;
  lock.path = path;
  const DWORD start = GetTickCount();
  for (;;) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      DWORD error = GetLastError();
      if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
        throw OpenError(path, LastErrorText());
      }
      break;  // a new table: the rename checks that none appeared meanwhile
    }
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw OpenError(path, LastErrorText());
    if (GetFileType(file) != FILE_TYPE_DISK || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      CloseHandle(file);
      throw WriteError(path, "Not a regular file");
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      CloseHandle(file);
      SetLastError(ERROR_ACCESS_DENIED);
      throw CreateError(path, LastErrorText());
    }
    OVERLAPPED where{};
    where.Offset = 0;
    where.OffsetHigh = kLockOffsetHigh;
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where)) {
      DWORD error = GetLastError();
      CloseHandle(file);
      if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
        // A file system without locks: the check before the rename still guards the table.
        lock.existed = IdentityAt(path, &lock.claimed);
        break;
      }
      if (GetTickCount() - start >= kLockWaitMs) {
        throw WriteError(path, "The file is in use by another run");
      }
      Sleep(kLockPollMs);
      continue;
    }
    // The run that held the lock may have replaced the file meanwhile; the lock then sits on
    // the old file, and the new one is the one to claim.
    FileIdentity locked, current;
    if (IdentityOf(file, &locked) && IdentityAt(path, &current) &&
        locked.volume == current.volume && locked.index_high == current.index_high &&
        locked.index_low == current.index_low) {
      lock.file = file;
      lock.existed = true;
      lock.claimed = locked;
      break;
    }
    CloseHandle(file);
  }
  g_claim = impl_.get();
}

TableLock::~TableLock() {
  if (g_claim == impl_.get()) g_claim = nullptr;
  if (impl_->file != INVALID_HANDLE_VALUE) CloseHandle(impl_->file);  // releases the lock
}

// ---- Atomic writing ----

struct AtomicFileWriter::Impl {
  std::string target;
  std::string folder;
  std::string name;
  HANDLE file = INVALID_HANDLE_VALUE;
  bool direct = false;    // a device or pipe, written to as it is
  bool finished = false;  // complete and closed; only the rename is left
  bool broken = false;
  CleanupEntry temp;
  std::string buffer;

  // Closes and removes the temporary file; keeps the last error so a pending message stays right.
  void Discard() noexcept {
    DWORD saved = GetLastError();
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    RemoveListed(&temp);
    SetLastError(saved);
  }

  [[noreturn]] void Fail(const FileError& error) {
    broken = true;
    Discard();
    throw error;
  }

  void Finish();
  void Replace();
};

AtomicFileWriter::AtomicFileWriter(const std::string& path) : impl_(std::make_unique<Impl>()) {
  Impl& w = *impl_;
  w.target = path;
  w.folder = FolderOf(path);
  if (w.folder.size() == path.size()) {
    SetLastError(ERROR_INVALID_NAME);
    throw CreateError(path, LastErrorText());
  }
  w.name = path.substr(w.folder.size());
  HANDLE device = OpenIfNotOnDisk(path);
  if (device != INVALID_HANDLE_VALUE) {
    w.file = device;
    w.direct = true;
    w.buffer.reserve(kWriteBufferSize);
    return;
  }
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    throw CreateError(path, LastErrorText());
  }

  // CREATE_NEW never opens a file that someone else made.
  for (int attempt = 0;; ++attempt) {
    std::string temp = HiddenName(w.folder, w.name, ".tmp");
    HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      w.file = file;
      List(&w.temp, temp);
      break;
    }
    DWORD error = GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt >= 100) {
      throw CreateError(path, LastErrorText());
    }
  }
  w.buffer.reserve(kWriteBufferSize);
}

AtomicFileWriter::~AtomicFileWriter() { impl_->Discard(); }

void AtomicFileWriter::Write(std::string_view bytes) {
  Impl& w = *impl_;
  if (w.file == INVALID_HANDLE_VALUE || w.broken) {
    throw WriteError(w.target, "The file is already closed");
  }
  if (w.buffer.size() + bytes.size() <= kWriteBufferSize) {
    w.buffer.append(bytes.data(), bytes.size());
    return;
  }
  if (!WriteAll(w.file, w.buffer.data(), w.buffer.size())) {
    w.Fail(WriteError(w.target, LastErrorText()));
  }
  w.buffer.clear();
  if (bytes.size() >= kWriteBufferSize) {
    if (!WriteAll(w.file, bytes.data(), bytes.size())) {
      w.Fail(WriteError(w.target, LastErrorText()));
    }
  } else {
    w.buffer.append(bytes.data(), bytes.size());
  }
}

void AtomicFileWriter::Impl::Finish() {
  if (finished) return;
  if (file == INVALID_HANDLE_VALUE || broken) {
    throw WriteError(target, "The file was not written completely");
  }
  if (!WriteAll(file, buffer.data(), buffer.size())) Fail(WriteError(target, LastErrorText()));
  buffer = std::string();
  DWORD old_attributes = direct ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(target.c_str());
  const bool replacing = old_attributes != INVALID_FILE_ATTRIBUTES;
  // A replaced file must never come back empty after a crash, so its new content reaches the
  // disk before the rename. A new file has nothing to lose.
  if (replacing && !FlushFileBuffers(file)) Fail(WriteError(target, LastErrorText()));
  HANDLE open_file = file;
  file = INVALID_HANDLE_VALUE;
  if (!CloseHandle(open_file)) Fail(WriteError(target, LastErrorText()));
  if (replacing) {
    // The replaced file's own attributes carry over.
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                       FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if ((old_attributes & kept) != 0) SetFileAttributesA(temp.path.c_str(), old_attributes & kept);
  }
  finished = true;
}

void AtomicFileWriter::Impl::Replace() {
  if (direct) return;
  try {
    CheckClaim(target);
  } catch (const FileError& e) {
    Fail(e);
  }
  ReleaseClaimBeforeReplacing(target);
  ReleaseReadersBeforeReplacing(target);
  if (!MoveFileExA(temp.path.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    Fail(CreateError(target, LastErrorText()));
  }
  Unlist(&temp);
}

void AtomicFileWriter::Take(LargeString* bytes) {
  Write(std::string_view(bytes->data(), bytes->size()));
  bytes->clear();
}

void AtomicFileWriter::Finish() { impl_->Finish(); }

void AtomicFileWriter::Commit() {
  impl_->Finish();
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
  for (AtomicFileWriter* writer : writers) writer->impl_->Finish();
  if (writers.size() == 1) {
    writers[0]->impl_->Replace();
    return;
  }
  std::vector<Backup> backups(writers.size());
  for (size_t i = 0; i < writers.size(); ++i) {
    Impl& w = *writers[i]->impl_;
    if (w.direct) continue;
    backups[i].existed = GetFileAttributesA(w.target.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!backups[i].existed) continue;
    std::string path = HiddenName(w.folder, w.name, ".old");
    // Where the volume has no hard links the old file gets no backup, and a failed commit
    // cannot give it back.
    if (CreateHardLinkA(path.c_str(), w.target.c_str(), nullptr)) List(&backups[i].entry, path);
  }
  for (size_t i = 0; i < writers.size(); ++i) {
    try {
      writers[i]->impl_->Replace();
    } catch (const FileError&) {
      const DWORD saved = GetLastError();
      for (size_t j = 0; j < i; ++j) {
        Impl& done = *writers[j]->impl_;
        if (done.direct) continue;
        Backup& backup = backups[j];
        if (backup.entry.listed) {
          MoveFileExA(backup.entry.path.c_str(), done.target.c_str(), MOVEFILE_REPLACE_EXISTING);
          Unlist(&backup.entry);
        } else if (!backup.existed) {
          DeleteFileA(done.target.c_str());
        }
      }
      SetLastError(saved);
      throw;
    }
  }
}

// Large pages on Windows need a privilege few accounts have: the memory comes zeroed from the
// system, in ordinary pages.
void* AllocateLarge(size_t bytes) {
  void* memory = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

void FreeLarge(void* memory, size_t) noexcept {
  if (memory != nullptr) VirtualFree(memory, 0, MEM_RELEASE);
}

struct HelperThread::Impl {
  std::thread thread;
};

// Console control events come on a thread of the system's own: nothing to keep from the helper.
HelperThread::HelperThread(std::function<void()> work) : impl_(std::make_unique<Impl>()) {
  impl_->thread = std::thread(std::move(work));
}

HelperThread::~HelperThread() { impl_->thread.join(); }

std::string LastErrorText() {
  DWORD code = GetLastError();
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) return "System error " + std::to_string(code);
  std::string result(text, length);
  LocalFree(text);
  // The system's texts end in a line break, which would split the one-line message.
  while (!result.empty() && static_cast<unsigned char>(result.back()) <= ' ') result.pop_back();
  return result;
}

void LowerCaseLocale(std::string* text) {
  for (size_t pos = 0; pos < text->size();) {
    size_t length = PieceLength(*text, pos);
    CharLowerBuffA(&(*text)[pos], static_cast<DWORD>(length));
    pos += length;
  }
}

int CompareLocale(std::string_view a, std::string_view b, bool ignore_case) {
  if (a.size() > INT_MAX || b.size() > INT_MAX) return ByteCompare(a, b);
  int result = CompareStringA(LOCALE_USER_DEFAULT, ignore_case ? NORM_IGNORECASE : 0, a.data(),
                              static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()));
  switch (result) {
    case CSTR_LESS_THAN:
      return -1;
    case CSTR_GREATER_THAN:
      return 1;
    case CSTR_EQUAL:
      // The collation passes over some bytes (control bytes, for one); with case respected,
      // texts of different bytes must still differ, or distinct values would merge.
      return ignore_case ? 0 : ByteCompare(a, b);
    default:
      return ByteCompare(a, b);
  }
}

const LeadBytes& SystemLeadBytes() {
  static const LeadBytes table = [] {
    LeadBytes bytes;
    CPINFO info;
    if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize != 2) return bytes;
    // Pairs of inclusive ranges, ended by a pair of zeros.
    for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
      for (unsigned b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b) bytes.lead[b] = true;
    }
    for (bool lead : bytes.lead) bytes.any = bytes.any || lead;
    return bytes;
  }();
  return table;
}

std::u16string AnsiToUtf16(std::string_view text) {
  std::u16string units;
  for (size_t pos = 0; pos < text.size();) {
    size_t length = PieceLength(text, pos);
    int count =
        MultiByteToWideChar(CP_ACP, 0, text.data() + pos, static_cast<int>(length), nullptr, 0);
    size_t old = units.size();
    units.resize(old + static_cast<size_t>(count));
    if (count > 0) {
      MultiByteToWideChar(CP_ACP, 0, text.data() + pos, static_cast<int>(length),
                          reinterpret_cast<wchar_t*>(&units[old]), count);
    }
    pos += length;
  }
  return units;
}

void WriteErrorLine(const std::string& message) {
  // The console shows the OEM code page, the program's texts are in the ANSI one.
  std::string line(message.size(), '\0');
  if (!message.empty()) {
    CharToOemBuffA(message.data(), &line[0], static_cast<DWORD>(message.size()));
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

bool DebuggerAttached() { return IsDebuggerPresent() != FALSE; }

std::string ReadStandardInput() {
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  std::string bytes;
  size_t used = 0;
  for (;;) {
    if (bytes.size() - used < kWriteBufferSize) bytes.resize(used + 2 * kWriteBufferSize);
    size_t got = 0;
    if (!ReadSome(in, &bytes[used], bytes.size() - used, &got)) {
      // The writing end of a pipe was closed: that is the end of the input.
      if (GetLastError() == ERROR_BROKEN_PIPE) break;
      throw TessarinError("Cannot read standard input. " + LastErrorText());
    }
    if (got == 0) break;
    used += got;
  }
  bytes.resize(used);
  return bytes;
}

void WriteStandardOutput(std::string_view bytes) {
  std::fflush(stdout);  // whatever was printed before goes first
  // WriteFile on the handle itself: no text-mode translation of line ends.
  if (!WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), bytes.size())) {
    throw TessarinError("Cannot write standard output. " + LastErrorText());
  }
}

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != FALSE;
}

void WriteErrorText(const std::string& text) {
  std::string converted(text.size(), '\0');
  if (!text.empty()) CharToOemBuffA(text.data(), &converted[0], static_cast<DWORD>(text.size()));
  std::fwrite(converted.data(), 1, converted.size(), stderr);
  std::fflush(stderr);
}

}  // namespace platform
