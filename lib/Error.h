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

/// "Not find file: " + the path, printed on standard output; the run ends with exit code 1.
TessarinError NotFoundError(const std::string& path);

/// "List index out of bounds (%d)" with the index.
TessarinError IndexError(long long index);
/// "Cannot open file "%s". %s" with the path and the system's error text.
TessarinError OpenError(const std::string& path, const std::string& system_text);
/// "Cannot create file "%s". %s" with the path and the system's error text.
TessarinError CreateError(const std::string& path, const std::string& system_text);
/// "Stream write error".
TessarinError WriteError();
