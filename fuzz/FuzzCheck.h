// Shared by the fuzz targets: a property check that stops the run with a readable message, so
// libFuzzer keeps the input that broke it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

/// The bytes with everything outside printable ASCII as \xHH, for messages.
inline std::string Shown(std::string_view bytes) {
  std::string out = "\"";
  for (unsigned char c : bytes) {
    if (c >= 32 && c < 127 && c != '\\' && c != '"') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out + "\"";
}

/// Aborts with "property failed: <what>" and the details when `ok` is false.
inline void Check(bool ok, const char* what, const std::string& details = std::string()) {
  if (ok) return;
  std::fprintf(stderr, "\nproperty failed: %s\n%s\n", what, details.c_str());
  std::abort();
}

}  // namespace fuzz
