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

struct FileReader::Impl {
  std::string path;
  HANDLE file = INVALID_HANDLE_VALUE;
  ~Impl() {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
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

struct AtomicFileWriter::Impl {
  std::string target;
  std::string temp;
  HANDLE file = INVALID_HANDLE_VALUE;
  std::string buffer;
  bool broken = false;

  // Closes and removes the temporary file; keeps the last error so a pending message stays right.
  void Discard() noexcept {
    DWORD saved = GetLastError();
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    if (!temp.empty()) DeleteFileA(temp.c_str());
    temp.clear();
    SetLastError(saved);
  }

  [[noreturn]] void Fail(const TessarinError& error) {
    broken = true;
    Discard();
    throw error;
  }
};

AtomicFileWriter::AtomicFileWriter(const std::string& path) : impl_(std::make_unique<Impl>()) {
  impl_->target = path;
  std::string folder = FolderOf(path);
  if (folder.size() == path.size()) {
    SetLastError(ERROR_INVALID_NAME);
    throw CreateError(path, LastErrorText());
  }
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    throw CreateError(path, LastErrorText());
  }

  // A name beside the target, so that the rename stays on one volume. The process id and a
  // counter make it unique; CREATE_NEW never opens a file that someone else made.
  std::string name = path.substr(folder.size());
  static unsigned counter = 0;
  for (int attempt = 0;; ++attempt) {
    char suffix[40];
    std::snprintf(suffix, sizeof suffix, ".%lx.%x.tmp",
                  static_cast<unsigned long>(GetCurrentProcessId()),
                  static_cast<unsigned>(GetTickCount()) + counter++);
    std::string temp = folder + "." + name + suffix;
    HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      impl_->file = file;
      impl_->temp = temp;
      break;
    }
    DWORD error = GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt >= 100) {
      throw CreateError(path, LastErrorText());
    }
  }
  impl_->buffer.reserve(kWriteBufferSize);
}

AtomicFileWriter::~AtomicFileWriter() { impl_->Discard(); }

void AtomicFileWriter::Write(std::string_view bytes) {
  Impl& w = *impl_;
  if (w.file == INVALID_HANDLE_VALUE || w.broken) throw WriteError();
  if (w.buffer.size() + bytes.size() <= kWriteBufferSize) {
    w.buffer.append(bytes.data(), bytes.size());
    return;
  }
  if (!WriteAll(w.file, w.buffer.data(), w.buffer.size())) w.Fail(WriteError());
  w.buffer.clear();
  if (bytes.size() >= kWriteBufferSize) {
    if (!WriteAll(w.file, bytes.data(), bytes.size())) w.Fail(WriteError());
  } else {
    w.buffer.append(bytes.data(), bytes.size());
  }
}

void AtomicFileWriter::Commit() {
  Impl& w = *impl_;
  if (w.file == INVALID_HANDLE_VALUE || w.broken) throw WriteError();
  if (!WriteAll(w.file, w.buffer.data(), w.buffer.size())) w.Fail(WriteError());
  w.buffer.clear();

  DWORD old_attributes = GetFileAttributesA(w.target.c_str());
  const bool replacing = old_attributes != INVALID_FILE_ATTRIBUTES;
  // A replaced file must never come back empty after a crash, so its new content reaches the
  // disk before the rename. A new file has nothing to lose.
  if (replacing && !FlushFileBuffers(w.file)) w.Fail(WriteError());
  HANDLE file = w.file;
  w.file = INVALID_HANDLE_VALUE;
  if (!CloseHandle(file)) w.Fail(WriteError());
  if (replacing) {
    // The replaced file's own attributes carry over; a read-only one refuses the rename below.
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                       FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if ((old_attributes & kept) != 0) SetFileAttributesA(w.temp.c_str(), old_attributes & kept);
  }
  if (!MoveFileExA(w.temp.c_str(), w.target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    w.Fail(CreateError(w.target, LastErrorText()));
  }
  w.temp.clear();
}

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
