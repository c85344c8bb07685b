// The one error type of the program. Every failure inside a step (a file that cannot be
// opened, created, read or written; a list index out of range; a table we refuse to touch)
// is thrown as a TessarinError carrying its message. Only main() catches it.
#pragma once

#include <stdexcept>
#include <string>

class TessarinError : public std::runtime_error {
 public:
  /// `on_stdout`: one of the program's own messages ("Not find file: ..."), which go to
  /// standard output like every other message it prints; other errors go to standard error.
  explicit TessarinError(const std::string& message, bool on_stdout = false)
      : std::runtime_error(message), on_stdout_(on_stdout) {}
  bool OnStdout() const { return on_stdout_; }

 private:
  bool on_stdout_;
};

/// An error whose message already names the file it concerns and the cause; layers above
/// pass it on as it is instead of wrapping it in a message of their own.
class FileError : public TessarinError {
 public:
  explicit FileError(const std::string& message) : TessarinError(message) {}
};

/// A name as it stands in a message: names over 200 bytes keep their start and end around
/// "..." (200 bytes in all), so that a huge name never makes a huge message.
std::string CutName(const std::string& name);

/// "Not find file: " + the path, printed on standard output; the run ends with exit code 1.
TessarinError NotFoundError(const std::string& path);

/// "List index out of bounds (%d)" with the index.
TessarinError IndexError(long long index);
/// "Cannot open file "%s". %s" with the path and the system's error text.
FileError OpenError(const std::string& path, const std::string& system_text);
/// "Cannot create file "%s". %s" with the path and the system's error text.
FileError CreateError(const std::string& path, const std::string& system_text);
/// "Cannot write file "%s". %s" with the path and the system's error text (or another cause).
FileError WriteError(const std::string& path, const std::string& cause);
/// "Cannot create folder "%s". %s" with the folder and the system's error text.
FileError FolderError(const std::string& path, const std::string& system_text);
