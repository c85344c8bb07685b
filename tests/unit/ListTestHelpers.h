// Small helpers shared by the line list and table tests.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "Error.h"
#include "StringListEX.h"

namespace list_test {

using Lines = std::vector<std::string>;

inline Lines LinesOf(const TStringList& list) {
  Lines lines;
  for (long long i = 0; i < list.LineCount(); ++i) lines.push_back(list.GetLine(i));
  return lines;
}

/// Every line followed by CR LF.
inline std::string Joined(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

/// The bytes given as numbers.
inline std::string Bytes(std::initializer_list<int> bytes) {
  std::string text;
  for (int b : bytes) text += static_cast<char>(b);
  return text;
}

/// The message of the TessarinError that `action` throws, or "(no error)".
template <typename Action>
std::string ErrorOf(Action&& action) {
  try {
    action();
  } catch (const TessarinError& e) {
    return e.what();
  }
  return "(no error)";
}

/// Field settings of a table whose delimiter is ';'.
struct TableSettings {
  bool quoted = true;
  bool always = false;
  bool escape = false;
  char quote = '\'';
  uint8_t style = 2;

  void ApplyTo(TStringListCSVEX* table) const {
    table->Delimiter = ';';
    table->QuoteMark = quote;
    table->QuotedFields = quoted;
    table->AlwaysQuote = always;
    table->EscapeLineBreaks = escape;
    table->LineBreakStyle = style;
  }
};

}  // namespace list_test
