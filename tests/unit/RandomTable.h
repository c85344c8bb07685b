// Random tables for checking the sort and the duplicate removal against plain reference code:
// small key alphabets (so keys repeat), digits with leading zeros, short and blank rows, quoted
// fields holding delimiters, doubled marks, escape tokens and line breaks.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "StringListEX.h"

namespace random_table {

inline std::string Field(std::mt19937* rng, char delimiter) {
  // Keys longer than 16 bytes take a different path through the sort than shorter ones.
  static const char* const kPieces[] = {"",    "a",      "A",   "b",        "0",
                                        "00",  "1",      "01",  "10",       "a2",
                                        "a10", "\\r\\n", "x y", "\xC3\xA9", "item00000000000001"};
  auto pick = [rng](int n) { return static_cast<int>((*rng)() % static_cast<unsigned>(n)); };
  std::string value = kPieces[pick(15)];
  if (pick(3) == 0) value += kPieces[pick(15)];
  switch (pick(8)) {
    case 0:
      return '"' + value + std::string(1, delimiter) + "\"\"" + value + '"';
    case 1:
      return '"' + value + '"';
    case 2:
      return '"' + value + "\r\n" + value + '"';  // a record spanning two lines
    default:
      return value;
  }
}

/// A table text of up to `max_rows` rows, each followed by CR LF.
inline std::string Text(std::mt19937* rng, char delimiter, int max_rows) {
  std::string text;
  const int rows = static_cast<int>((*rng)() % static_cast<unsigned>(max_rows + 1));
  for (int r = 0; r < rows; ++r) {
    const int fields = static_cast<int>((*rng)() % 4);
    for (int f = 0; f < fields; ++f) {
      if (f > 0) text += delimiter;
      text += Field(rng, delimiter);
    }
    text += "\r\n";
  }
  return text;
}

/// Gives the table random reading settings and a random table text.
inline long long Fill(std::mt19937* rng, TStringListCSVEX* table) {
  static const char kDelimiters[] = {';', ',', '\t'};
  table->Delimiter = kDelimiters[(*rng)() % 3];
  table->QuoteMark = (*rng)() % 5 == 0 ? '\0' : '"';
  table->QuotedFields = (*rng)() % 4 != 0;
  table->EscapeLineBreaks = (*rng)() % 2 == 0;
  table->SplitText(Text(rng, table->Delimiter, 40));
  return static_cast<long long>((*rng)() % 3);  // the key column
}

/// The table's records (RecordStarts()), each one text with its lines joined by CR LF.
inline std::vector<std::string> Records(const TStringListCSVEX& table) {
  std::vector<std::string> records;
  const std::vector<size_t> starts = table.RecordStarts();
  for (size_t r = 0; r < starts.size(); ++r) {
    const size_t end =
        r + 1 < starts.size() ? starts[r + 1] : static_cast<size_t>(table.LineCount());
    std::string record;
    for (size_t line = starts[r]; line < end; ++line) {
      if (line > starts[r]) record += "\r\n";
      record += table.GetLine(static_cast<long long>(line));
    }
    records.push_back(record);
  }
  return records;
}

}  // namespace random_table
