#include "Error.h"

namespace {

constexpr size_t kLongestName = 200;
constexpr char kCut[] = "...";

// True for the second, third or fourth byte of a UTF-8 sequence: a cut there would leave half
// a character on screen.
bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string CutName(const std::string& name) {
  if (name.size() <= kLongestName) return name;
  const size_t keep = kLongestName - (sizeof kCut - 1);
  size_t head = keep / 2;
  size_t tail = name.size() - (keep - head);
  while (head > 0 && IsContinuation(name[head])) --head;
  while (tail < name.size() && IsContinuation(name[tail])) ++tail;
  return name.substr(0, head) + kCut + name.substr(tail);
}

TessarinError IndexError(long long index) {
  return TessarinError("List index out of bounds (" + std::to_string(index) + ")");
}

FileError OpenError(const std::string& path, const std::string& system_text) {
  return FileError("Cannot open file \"" + CutName(path) + "\". " + system_text);
}

FileError CreateError(const std::string& path, const std::string& system_text) {
  return FileError("Cannot create file \"" + CutName(path) + "\". " + system_text);
}

FileError WriteError(const std::string& path, const std::string& cause) {
  return FileError("Cannot write file \"" + CutName(path) + "\". " + cause);
}

FileError FolderError(const std::string& path, const std::string& system_text) {
  return FileError("Cannot create folder \"" + CutName(path) + "\". " + system_text);
}

TessarinError NotFoundError(const std::string& path) {
  return TessarinError("Not find file: " + CutName(path), true);
}
