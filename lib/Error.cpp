#include "Error.h"

TessarinError IndexError(long long index) {
  return TessarinError("List index out of bounds (" + std::to_string(index) + ")");
}

TessarinError OpenError(const std::string& path, const std::string& system_text) {
  return TessarinError("Cannot open file \"" + path + "\". " + system_text);
}

TessarinError CreateError(const std::string& path, const std::string& system_text) {
  return TessarinError("Cannot create file \"" + path + "\". " + system_text);
}

TessarinError WriteError() { return TessarinError("Stream write error"); }

TessarinError NotFoundError(const std::string& path) {
  return TessarinError("Not find file: " + path, true);
}
