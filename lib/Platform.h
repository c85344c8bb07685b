// The platform layer: every operating-system service the program uses goes through here.
// Platform_posix.cpp implements it for POSIX systems, Platform_win32.cpp for Windows; CMake
// compiles exactly one of them. No other file calls the operating system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "LargeVector.h"

namespace platform {

/// The separator the program appends to a folder path ("/" on POSIX, "\" on Windows).
extern const char kPreferredSeparator;

/// True for every byte that ends a folder part: "/" on POSIX; "\", "/" and ":" on Windows.
bool IsPathSeparator(char c);

/// Index just past the last separator of the path: where its name part begins (0 when it has
/// no separator). On Windows a "\\" that is the second byte of a double-byte character (as in
/// many Shift-JIS kanji) belongs to that character and separates nothing.
size_t NameStart(std::string_view path);

/// The absolute form of a path, resolved against the current directory; "." and ".."
/// components are removed lexically (no link is followed, the file need not exist). A
/// trailing separator is kept. The empty path gives the empty string.
std::string ExpandPath(const std::string& path);

/// True when the path names an existing folder (a file of that name does not count).
bool FolderExists(const std::string& path);

/// True when the folder of the path holds an entry (of any kind, a dangling link too) whose name
/// is the path's name part byte for byte. Never fails: every problem gives false.
bool EntryExists(const std::string& path);

/// Creates one folder with default permissions; false when that fails (also when it exists).
bool CreateFolder(const std::string& path);

/// Removes an empty folder; false when that fails (also when it is not empty).
bool RemoveEmptyFolder(const std::string& path);

/// Fills `names` with the names of every entry of the folder (files, folders, hidden ones),
/// without "." and "..", in the order the system lists them. False when the folder cannot be
/// listed; `names` is then empty.
bool ListFolder(const std::string& folder, std::vector<std::string>* names);

/// Reads a whole file (other processes may read it meanwhile). Files of any size (64-bit).
/// Throws TessarinError "Cannot open file "%s". %s" when it cannot be opened or read.
std::string ReadWholeFile(const std::string& path);

/// Reads a file from start to end in pieces (other processes may read it meanwhile), so that
/// a file of any size costs no more memory than the buffer it is read into. A FIFO or a device
/// gives its bytes only once: they are kept in memory, and a later reader of the same path
/// gets them again (POSIX).
class FileReader {
 public:
  /// Opens the file. Throws "Cannot open file "%s". %s" (also for a folder).
  explicit FileReader(const std::string& path);
  ~FileReader();
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  /// Reads up to `size` bytes into `data`; returns how many (0 at the end of the file). Throws
  /// "Cannot open file "%s". %s" when the system cannot read it.
  size_t Read(char* data, size_t size);
  /// Goes on reading at byte `offset` from the file's start. Throws as Read() does.
  void Seek(uint64_t offset);
  /// The file's size when it was opened (0 for what is not a regular file).
  uint64_t Size() const;
  /// From now on the bytes read are dropped from the system's file cache behind the reading
  /// (what is cached of them and not waiting to be written out): the file is about to be
  /// replaced, and the memory is better spent on the file that replaces it. Only speed and
  /// memory change; a later reader fetches the bytes again.
  void DropBehind();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// FileReader::DropBehind() for the whole file at `path`, which is about to be replaced
/// without being read again. Nothing happens where the file cannot be opened.
void DropCachedFile(const std::string& path);

/// Writes a file atomically: the bytes go to a temporary file beside the target, which is
/// renamed over the target by Commit(). The permission bits of a replaced file are kept. Where
/// the file system allows it the temporary file has no name until it is complete, so that not
/// even a killed run leaves it behind; a named one is removed when the run is interrupted
/// (SIGINT, SIGTERM, SIGHUP). Until Commit() succeeds the target is untouched; a writer
/// destroyed without a successful Commit() removes its temporary file. Output is buffered.
///
/// A target that exists but is not a regular file (a device, a FIFO, a socket) is never
/// replaced: the bytes are written to it directly. A regular target the user may not write
/// (no write permission bit for them; for the superuser, none at all) is refused.
class AtomicFileWriter {
 public:
  /// Creates the temporary file. Throws "Cannot create file "%s". %s" (with the target path),
  /// also "... Permission denied" for a target the user may not write.
  explicit AtomicFileWriter(const std::string& path);
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  /// Appends bytes. Throws "Cannot write file "%s". %s" when the system refuses them.
  void Write(std::string_view bytes);
  /// Write() of the string's bytes, taking them over where that saves copying them; the string
  /// is left empty, with the room of an earlier piece where there is one. Throws as Write()
  /// does.
  void Take(LargeString* bytes);
  /// Completes the temporary file and releases its descriptor, without replacing anything
  /// yet, so that many finished files need not stay open. Throws as Write() does.
  void Finish();
  /// Finishes and renames over the target. Throws "Cannot write file "%s". %s" when the data
  /// cannot be flushed or closed, or the target is a table claimed by TableLock that another
  /// program changed meanwhile; "Cannot create file "%s". %s" when the rename fails.
  void Commit();

  /// Commits every writer, or none: when one rename fails, the targets already replaced get
  /// their old files back (or are removed again when they were new). Interrupting signals wait
  /// until the renames are done. Throws as Commit() does.
  static void CommitAll(const std::vector<AtomicFileWriter*>& writers);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

/// Claims a table for a run that rewrites it, from before it is read until the claim is
/// destroyed (after the new table is in place). A table that exists must be a regular file (or a
/// link to one) the user may write; another run holding the claim is waited for, a few seconds
/// at most. While the claim lives, AtomicFileWriter refuses to replace the table when it is no
/// longer the file that was claimed (another program replaced or changed it meanwhile, or
/// created it where there was none). Throws "Cannot write file "%s". Not a regular file",
/// "Cannot create file "%s". Permission denied" or "Cannot write file "%s". The file is in use
/// by another run" (naming the table).
class TableLock {
 public:
  explicit TableLock(const std::string& path);
  ~TableLock();
  TableLock(const TableLock&) = delete;
  TableLock& operator=(const TableLock&) = delete;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

/// Memory for a large array or buffer, straight from the system, where it may be backed by
/// large pages (it is rounded up to whole ones) so that touching it first costs a fraction of
/// the page faults (on a virtual machine one fault may take 15 microseconds). Its bytes start
/// as zeros.
/// Throws std::bad_alloc. Give it back with FreeLarge and the same size.
void* AllocateLarge(size_t bytes);
void FreeLarge(void* memory, size_t bytes) noexcept;

/// A thread of the program's own that runs `work` beside the main one; interrupting signals are
/// left to the main thread, whose handler removes the temporary files. Destroying it waits for
/// `work` to end. `work` must not throw.
class HelperThread {
 public:
  explicit HelperThread(std::function<void()> work);
  ~HelperThread();
  HelperThread(const HelperThread&) = delete;
  HelperThread& operator=(const HelperThread&) = delete;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// Runs `beside` on a helper thread and `here` on the calling one, and returns when both are
/// done. Neither may throw.
inline void RunTogether(const std::function<void()>& beside, const std::function<void()>& here) {
  HelperThread helper(beside);
  here();
}

/// The system's text for the last error of a file operation (errno / GetLastError).
std::string LastErrorText();

/// Lower-cases a byte string with the system's locale rules (A-Z only on POSIX).
void LowerCaseLocale(std::string* text);

/// Compares two byte strings by the system's collation: negative, 0 or positive. On POSIX it
/// is byte order, with A-Z folded when `ignore_case`. Byte-identical texts give 0.
int CompareLocale(std::string_view a, std::string_view b, bool ignore_case);

/// Converts text of the system's 8-bit code page to UTF-16 code units (Latin-1 on POSIX).
std::u16string AnsiToUtf16(std::string_view text);

/// The lead bytes of the system's code page. In a double-byte code page a lead byte and the
/// byte after it are one character, and that second byte may have the value of an ASCII
/// character ("\\", "|", "@"...). In a single-byte code page (always on POSIX) `any` is false
/// and text is stepped byte by byte.
struct LeadBytes {
  bool any = false;
  bool lead[256] = {};
  bool IsLead(char c) const { return lead[static_cast<unsigned char>(c)]; }
};
/// The table of the code page the process runs under, read once.
const LeadBytes& SystemLeadBytes();

/// Writes one line to standard error, in the console's code page where that differs.
void WriteErrorLine(const std::string& message);

/// True when a debugger is attached to the process (always false on POSIX).
bool DebuggerAttached();

/// Reads standard input to its end, byte for byte (no line-end translation). Throws
/// TessarinError "Cannot read standard input. %s".
std::string ReadStandardInput();

/// Writes the bytes to standard output as they are, unbuffered. Throws TessarinError "Cannot
/// write standard output. %s" when the system refuses them (a full disk behind a redirection).
void WriteStandardOutput(std::string_view bytes);

/// True when standard error is a terminal (a console on Windows) that shows a line being
/// rewritten in place.
bool StandardErrorIsTerminal();

/// Writes the text to standard error as it is (no line break added), in the console's code
/// page where that differs.
void WriteErrorText(const std::string& text);

}  // namespace platform
