// Escape styles: escaping then unescaping with the same style and edge-space flag gives the
// value back exactly when the value holds no text that unescaping decodes; the round-trip test
// (UnescapeText(EscapeText(v)) != v) therefore flags exactly the values holding such text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "MyLib.h"

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool StartsAt(std::string_view text, size_t i, std::string_view token) {
  return text.compare(i, token.size(), token) == 0;
}

// Whether the value holds, as plain text, something UnescapeText decodes: a hex token of a byte
// below 32 (digits in either case), the style's named tokens, "\x20" with edge spaces.
bool HoldsTokenText(std::string_view v, uint8_t style, bool edge_spaces) {
  for (size_t i = 0; i < v.size(); ++i) {
    if (StartsAt(v, i, "\\x") && i + 3 < v.size() && (v[i + 2] == '0' || v[i + 2] == '1') &&
        IsHexDigit(v[i + 3])) {
      return true;
    }
    if (edge_spaces && StartsAt(v, i, "\\x20")) return true;
    if (style != kStyleHex && StartsAt(v, i, "\\t")) return true;
    if (style == kStyleDa && (StartsAt(v, i, "\\d") || StartsAt(v, i, "\\a"))) return true;
    if (style == kStyleRn && (StartsAt(v, i, "\\r") || StartsAt(v, i, "\\n"))) return true;
    if (style == kStyleHlm && (StartsAt(v, i, "<CR>") || StartsAt(v, i, "<LF>"))) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // First byte: the style (values past 4 included: they behave like style 0) and the flag.
  const uint8_t style = data[0] >> 1;
  const bool edge_spaces = data[0] & 1;
  const std::string value(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string details = "style " + std::to_string(style) + " edge spaces " +
                              std::to_string(edge_spaces) + " value " + fuzz::Shown(value);

  const std::string escaped = EscapeText(value, style, edge_spaces);
  for (unsigned char c : escaped) {
    fuzz::Check(c >= 32, "an escaped value holds no byte below 32", details);
  }
  const std::string back = UnescapeText(escaped, style, edge_spaces);
  const bool lost = back != value;
  fuzz::Check(lost == HoldsTokenText(value, style, edge_spaces),
              "the round trip changes exactly the values that hold token text",
              details + " came back as " + fuzz::Shown(back));

  // The appending forms and the fast token test agree with the plain functions.
  std::string appended = "x";
  AppendEscaped(&appended, value, style, edge_spaces);
  fuzz::Check(appended == "x" + escaped, "AppendEscaped appends EscapeText", details);
  appended = "x";
  AppendUnescaped(&appended, value, style, edge_spaces);
  const std::string unescaped = UnescapeText(value, style, edge_spaces);
  fuzz::Check(appended == "x" + unescaped, "AppendUnescaped appends UnescapeText", details);
  if (!HasEscapeTokens(value, style, edge_spaces)) {
    fuzz::Check(unescaped == value, "a value without tokens unescapes to itself", details);
  }
  return 0;
}
