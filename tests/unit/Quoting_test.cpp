#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "ListTestHelpers.h"
#include "MyLib.h"

namespace {

using namespace std::string_literals;
using list_test::ErrorOf;
using list_test::Lines;
using list_test::TableSettings;

// {QuotedFields, AlwaysQuote, EscapeLineBreaks, QuoteMark, LineBreakStyle}
constexpr TableSettings kAlways{true, true, false};
constexpr TableSettings kNeeded{true, false, false};
constexpr TableSettings kPlain{false, false, false};
constexpr TableSettings kPlainAlways{false, true, false};
constexpr TableSettings kNoQuote{true, false, false, '\0'};

TEST(AppendField, WritesEachValueQuotedAsTheModeSays) {
  const struct {
    TableSettings settings;
    Lines values;
    std::string field_row;  // AppendField one value after the other
    std::string cell_row;   // AppendCell and JoinFields, which keep an empty first field
  } cases[] = {
      {kAlways, {"a", "", "b"}, "'a';'';'b'", "'a';'';'b'"},
      {kAlways, {""}, "''", "''"},
      {kAlways, {"a'b", "x\ny"}, "'a''b';'x\ny'", "'a''b';'x\ny'"},
      {kNeeded, {"a", "", "b"}, "a;;b", "a;;b"},
      {kNeeded, {""}, "''", "''"},
      {kNeeded, {"", "x"}, ";x", ";x"},
      {kNeeded, {"x", ""}, "x;", "x;"},
      {kNeeded, {"", "", ""}, ";;", ";;"},
      {kNeeded, {"a;b", "a'b", "''"}, "'a;b';'a''b';''''''", "'a;b';'a''b';''''''"},
      {kNeeded, {"a\nb", "c\rd", " a "}, "'a\nb';'c\rd'; a ", "'a\nb';'c\rd'; a "},
      // Plain rows enclose only a value that would otherwise split or read as a quoted token.
      {kPlain, {"a'b;c"}, "'a''b;c'", "'a''b;c'"},
      {kPlain, {"", "x", "'y", "b'"}, ";x;'''y';b'", ";x;'''y';b'"},
      {kPlain, {""}, "''", "''"},
      // A row that cannot be quoted turns line breaks into tokens even with escaping off.
      {kPlain, {"a\r\nb\t"}, "a\\r\\nb\t", "a\\r\\nb\t"},
      {{false, false, false, '\'', 0}, {"a\r\nb"}, "a\\x0D\\x0Ab", "a\\x0D\\x0Ab"},
      // Two quote marks as a first value are a value, not the placeholder.
      {kPlain, {"''", "x"}, "'''''';x", "'''''';x"},
      {kPlainAlways, {"", "x"}, "x", ";x"},
      {kPlainAlways, {"", ""}, "", ";"},
      {kNoQuote, {""}, "", ""},
      {kNoQuote, {"", "x"}, "x", ";x"},
      {kNoQuote, {"a;b", "c'"}, "a;b;c'", "a;b;c'"},
      {{true, true, false, '\0'}, {"", "a", ""}, "a;", ";a;"},
      {{true, false, true},
       {"a\r\nb", "\t", "a\r;"},
       "a\\r\\nb;\\t;'a\\r;'",
       "a\\r\\nb;\\t;'a\\r;'"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.values) + " -> " + testing::PrintToString(c.cell_row));
    TStringListCSVEX table;
    c.settings.ApplyTo(&table);
    std::string row;
    for (const std::string& value : c.values) table.AppendField(&row, value);
    EXPECT_EQ(row, c.field_row);
    table.AddLine("");
    for (const std::string& value : c.values) table.AppendCell(0, value);
    EXPECT_EQ(table.GetLine(0), c.cell_row);
    EXPECT_EQ(table.JoinFields(c.values), c.cell_row);
  }
}

TEST(AppendCell, StartsAFreshRowAfterTheLinesAreReplaced) {
  TStringListCSVEX table;
  kPlainAlways.ApplyTo(&table);
  table.AddLine("");
  table.AppendCell(0, "");  // an empty first field the row text cannot show yet
  table.SplitText("\r\n");
  table.AppendCell(0, "x");
  EXPECT_EQ(table.GetLine(0), "x");
  EXPECT_EQ(ErrorOf([&] { table.AppendCell(1, "x"); }), "List index out of bounds (1)");
  EXPECT_EQ(ErrorOf([&] { table.AppendCell(-2, "x"); }), "List index out of bounds (-2)");
}

TEST(ReplaceField, WritesTheRowAnewWithTheNewValue) {
  const struct {
    TableSettings settings;
    std::string row, value;
    long long n;
    bool pad;
    std::string expected, error = "(no error)";
  } cases[] = {{kAlways, "", "c", 1, false, ""},
               {kAlways, "a;b", "c", 1, false, "'a';'c'"},
               {kNeeded, "a;b", "c", 1, false, "a;c"},
               {kNeeded, "a;b", "c", 2, false, "a;b", "List index out of bounds (2)"},
               {kAlways, "a;b", "c", -1, false, "a;b", "List index out of bounds (-1)"},
               {kNeeded, "'x'y;z", "w", 0, false, "w;y;z"},
               {kNeeded, "'a;b';c", "c;d", 1, false, "'a;b';'c;d'"},
               {kNeeded, "''", "x", 0, false, "x"},
               {kNeeded, "x", "", 0, false, "''"},
               {kNoQuote, "x", "", 0, false, ""},
               {{true, false, true}, "'a\\r\\nb';c", "z", 1, false, "a\\r\\nb;z"},
               {kNeeded, "x\\r\\ny;b", "z", 1, false, "'x\r\ny';z"},
               {{true, true, true}, "a\tb;'\\n'", "z\n", 0, false, "'z\\n';'\\n'"},
               // Padding: a non-empty value lands in its column, an empty one changes nothing.
               {kNeeded, "a", "x", 2, true, "a;;x"},
               {kNeeded, "", "x", 1, true, ";x"},
               {kNeeded, "a", "", 3, true, "a"},
               {kAlways, "a", "x", 2, true, "'a';'';'x'"},
               {kNeeded, "a", "x", -1, true, "a", "List index out of bounds (-1)"},
               {kPlainAlways, "", "x", 1, true, ";x"}};

  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.row) + " field " + std::to_string(c.n));
    TStringListCSVEX table;
    c.settings.ApplyTo(&table);
    std::string row = c.row;
    EXPECT_EQ(ErrorOf([&] { table.ReplaceField(&row, c.value, c.n, c.pad); }), c.error);
    EXPECT_EQ(row, c.expected);
    // Appended after rows already built, it leaves them as they are.
    std::string rows = "'p';q\r\n";
    if (ErrorOf([&] { table.AppendReplaced(c.row, c.value, c.n, c.pad, &rows); }) == c.error &&
        c.error == "(no error)") {
      EXPECT_EQ(rows, "'p';q\r\n" + c.expected);
    }
    table.AddLine(c.row);
    EXPECT_EQ(ErrorOf([&] { table.SetCell(0, c.value, c.n, c.pad); }), c.error);
    EXPECT_EQ(table.GetLine(0), c.expected);
    EXPECT_EQ(ErrorOf([&] { table.SetCell(1, c.value, c.n, c.pad); }),
              "List index out of bounds (1)");
  }
}

// Random values: any byte, and the texts that quoting and escaping treat specially.
std::string RandomValue(std::mt19937* rng) {
  static const Lines kPieces = {";",     "'",     "''",   " ",    "\r",  "\n",  "\r\n",
                                "\\",    "\\r",   "\\n",  "\\t",  "\\d", "\\a", "\\x0D",
                                "\\x1f", "\\x20", "<CR>", "<LF>", "\0"s, "a"};
  std::string value;
  for (unsigned k = (*rng)() % 5; k > 0; --k) {
    value += (*rng)() % 3 == 0 ? std::string(1, static_cast<char>((*rng)() % 256))
                               : kPieces[(*rng)() % kPieces.size()];
  }
  return value;
}

// Values appended with AppendCell come back from GetCell under every setting, except for the
// losses the row format cannot avoid:
// - escaping on: text that is itself a token would come back decoded (no such value is made);
// - rows without quote marks (QuotedFields off or no quote character): a value holding the
//   delimiter splits, and the later fields shift;
// - plain rows with a quote mark: a value holding the delimiter or beginning with the mark is
//   written quoted so that the table splits right when it is next read (quote-aware, as
//   detection then finds); the plain read of the same list still sees the marks;
// - the quote-aware read with escaping off: a NUL ends the row, cutting the value and the rest;
// - fields that cannot be quoted, with escaping off: CR and LF are written, and read back, as
//   tokens;
// - QuotedFields off, AlwaysQuote off, a quote mark: a row of one empty value is the
//   placeholder, which reads back as two quote marks.
TEST(AppendCellThenGetCell, GivesBackEveryValueUnderEverySetting) {
  std::mt19937 rng(1234);
  Lines failures;
  for (int bits = 0; bits < 16 * 5; ++bits) {
    const TableSettings s{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0,
                          (bits & 8) != 0 ? '\'' : '\0', static_cast<uint8_t>(bits / 16)};
    TStringListCSVEX table;
    s.ApplyTo(&table);
    for (long long r = 0; r < 150; ++r) {
      Lines values(1 + rng() % 5);
      for (std::string& value : values) {
        do {
          value = RandomValue(&rng);
        } while (s.escape && UnescapeText(value, s.style, false) != value);
      }
      table.AddLine("");
      for (const std::string& value : values) table.AppendCell(r, value);
      const std::string row = table.GetLine(r);
      const std::string context =
          "quoted " + std::to_string(s.quoted) + " always " + std::to_string(s.always) +
          " escape " + std::to_string(s.escape) + " quote " + std::to_string(int{s.quote}) +
          " style " + std::to_string(s.style) + ", values " + testing::PrintToString(values) +
          ", row " + testing::PrintToString(row);
      if (row != table.JoinFields(values)) failures.push_back("JoinFields differs: " + context);
      if ((s.escape || !s.quoted || s.quote == 0) &&
          row.find_first_of("\r\n") != std::string::npos) {
        failures.push_back("row holds a line break: " + context);
      }
      bool lossless = true;
      for (size_t k = 0; k < values.size(); ++k) {
        const std::string& v = values[k];
        const bool no_quotes = !s.quoted || s.quote == 0;
        const bool enclosed_in_plain = !s.quoted && s.quote != 0 && !v.empty() &&
                                       (v.find(';') != std::string::npos || v[0] == s.quote);
        if ((no_quotes && v.find(';') != std::string::npos) || enclosed_in_plain ||
            (s.quoted && !s.escape && v.find('\0') != std::string::npos)) {
          lossless = false;
          break;
        }
        if ((no_quotes && !s.escape && v.find_first_of("\r\n") != std::string::npos) ||
            (!s.quoted && !s.always && s.quote != 0 && values == Lines{""})) {
          lossless = false;
          continue;
        }
        const std::string got = table.GetCell(r, static_cast<long long>(k));
        if (got != v) {
          failures.push_back("field " + std::to_string(k) + " reads " +
                             testing::PrintToString(got) + ": " + context);
        }
      }
      const long long count = table.CountFields(row);
      if (lossless && count != static_cast<long long>(values.size()) &&
          !(row.empty() && values == Lines{""})) {
        failures.push_back(std::to_string(count) + " fields: " + context);
      }
    }
  }
  for (size_t i = 0; i < failures.size() && i < 10; ++i) ADD_FAILURE() << failures[i];
  EXPECT_EQ(failures.size(), 0u) << "round-trip failures in all";
}

}  // namespace

namespace {

// ReplaceField copies the fields that would be written as they stand; the row must still be
// what writing every field anew gives: split quote-aware, each value unescaped unless always
// quoted, the new value put in, the values joined. Random rows of random values and raw bytes.
TEST(ReplaceField, EqualsWritingEveryFieldAnew) {
  std::mt19937 rng(77);
  for (int bits = 0; bits < 16 * 5; ++bits) {
    const TableSettings s{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0,
                          (bits & 8) != 0 ? '\'' : '\0', static_cast<uint8_t>(bits / 16)};
    TStringListCSVEX table;
    s.ApplyTo(&table);
    for (int round = 0; round < 200; ++round) {
      // Half the rows as writing makes them (quoted tokens as they are written), half any text.
      std::vector<std::string> values(1 + rng() % 6);
      for (std::string& v : values) {
        // Long bare values put fields across the 64-byte blocks a bare row is looked at in.
        const unsigned kind = rng() % 4;
        v = kind < 2    ? RandomValue(&rng)
            : kind == 2 ? "plain" + std::string(rng() % 2, ' ')
                        : std::string(rng() % 90, 'b');
      }
      std::string row = table.JoinFields(values);
      if (round % 2 == 1) {
        row.clear();
        for (const std::string& v : values) row += (row.empty() ? "" : ";") + v;
      }
      const std::string value = RandomValue(&rng);
      const long long n = static_cast<long long>(rng() % 7);
      std::vector<std::string> fields;
      table.SplitRowFields(row, &fields);
      std::string expected = row;
      if (!row.empty() && n < static_cast<long long>(fields.size())) {
        fields[static_cast<size_t>(n)] = value;
        if (!s.always) {
          for (std::string& field : fields) field = UnescapeText(field, s.style, false);
        }
        expected = table.JoinFields(fields);
      }
      std::string got = row;
      try {
        table.ReplaceField(&got, value, n);
      } catch (const TessarinError&) {
      }
      ASSERT_EQ(got, expected) << "settings " << bits << ", row " << testing::PrintToString(row)
                               << ", field " << n << " = " << testing::PrintToString(value);
      std::string rows = "x;'y'\r\n";
      try {
        table.AppendReplaced(row, value, n, false, &rows);
      } catch (const TessarinError&) {
        rows = "x;'y'\r\n" + row;
      }
      ASSERT_EQ(rows, "x;'y'\r\n" + got) << "settings " << bits << ", appended";
      // A value the caller calls plain (nothing below 32, no quote mark, no delimiter) comes
      // out as the same bytes.
      const bool plain = std::none_of(value.begin(), value.end(), [&](char c) {
        return static_cast<unsigned char>(c) < 32 || c == table.QuoteMark || c == ';';
      });
      if (plain) {
        std::string told = "x;'y'\r\n";
        try {
          table.AppendReplaced(row, value, n, false, &told, true);
        } catch (const TessarinError&) {
          told = "x;'y'\r\n" + row;
        }
        ASSERT_EQ(told, rows) << "settings " << bits << ", plain " << testing::PrintToString(value);
      }
    }
  }
}

}  // namespace
