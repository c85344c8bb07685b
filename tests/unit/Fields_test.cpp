#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ListTestHelpers.h"
#include "MyLib.h"
#include "TableReader.h"

namespace {

using namespace std::string_literals;
using list_test::ErrorOf;
using list_test::Lines;
using list_test::LinesOf;
using list_test::TableSettings;

// Every field as ReadFields gives it, reading with one buffer reused from call to call.
Lines ReadAll(const TStringListCSVEX& table, std::string_view row) {
  static TStringListCSVEX::FieldBuffer buffer;
  table.ReadFields(row, &buffer);
  return Lines(buffer.values.begin(), buffer.values.end());
}

TEST(FieldSplit, QuoteAwareAndPlainSplitsReadEveryField) {
  const struct {
    std::string row;
    Lines quoted, plain;
    char quote = '\'';
  } cases[] = {{"", {}, {}},
               {"a;b;c", {"a", "b", "c"}, {"a", "b", "c"}},
               {"a;", {"a", ""}, {"a", ""}},
               {";;", {"", "", ""}, {"", "", ""}},
               {";a", {"", "a"}, {"", "a"}},
               {"'a;b';c", {"a;b", "c"}, {"'a", "b'", "c"}},
               {"'a''b'", {"a'b"}, {"'a''b'"}},
               {"''", {""}, {"''"}},
               {"''''", {"'"}, {"''''"}},
               {"'", {""}, {"'"}},
               {"'x'y;z", {"x", "y", "z"}, {"'x'y", "z"}},
               {"'a' ;b", {"a", " ", "b"}, {"'a' ", "b"}},
               {"'a'b'c;d", {"a", "b'c", "d"}, {"'a'b'c", "d"}},
               {" 'a';b", {" 'a'", "b"}, {" 'a'", "b"}},
               {"'abc", {"ab"}, {"'abc"}},
               {"'ab;c", {"ab;"}, {"'ab", "c"}},
               {"'a''b", {"a'"}, {"'a''b"}},
               {"'a';", {"a", ""}, {"'a'", ""}},
               {"a\0b;c"s, {"a"}, {"a\0b"s, "c"}},
               {"\0;a"s, {}, {"\0"s, "a"}},
               {"'a\0b';c"s, {""}, {"'a\0b'"s, "c"}},
               {"'a;b';c", {"'a", "b'", "c"}, {"'a", "b'", "c"}, '\0'},
               {"a\0b;c"s, {"a"}, {"a\0b"s, "c"}, '\0'}};
  TStringListCSVEX table;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.row) + " quote " + std::to_string(int{c.quote}));
    TableSettings{true, false, false, c.quote}.ApplyTo(&table);
    table.SplitRow(c.row);
    EXPECT_EQ(LinesOf(table), c.quoted);
    for (size_t n = 0; n < c.quoted.size() + 2; ++n) {
      const long long k = static_cast<long long>(n);
      EXPECT_EQ(table.GetFieldQuoted(c.row, k), n < c.quoted.size() ? c.quoted[n] : "") << n;
      EXPECT_EQ(table.GetFieldPlain(c.row, k), n < c.plain.size() ? c.plain[n] : "") << n;
    }
    EXPECT_EQ(table.CountFields(c.row), static_cast<long long>(c.quoted.size()));
    EXPECT_EQ(ReadAll(table, c.row), c.quoted);
    table.QuotedFields = false;
    EXPECT_EQ(table.CountFields(c.row), static_cast<long long>(c.plain.size()));
    EXPECT_EQ(ReadAll(table, c.row), c.plain);
  }
}

TEST(FieldSplit, NegativeFieldNumbersFailInBothSplits) {
  TStringListCSVEX table;
  table.AddLine("a;b");
  for (const std::string row : {"", "a", "a;b"}) {
    for (long long n : {-1LL, -2147483648LL}) {
      const std::string message = "List index out of bounds (" + std::to_string(n) + ")";
      for (bool quoted : {false, true}) {
        table.QuotedFields = quoted;
        EXPECT_EQ(ErrorOf([&] { table.GetField(row, n); }), message) << row << quoted;
        EXPECT_EQ(ErrorOf([&] { table.GetCell(0, n); }), message) << quoted;
      }
    }
  }
  EXPECT_EQ(ErrorOf([&] { table.GetCell(1, 0); }), "List index out of bounds (1)");
}

TEST(GetField, UnescapesTheTokensOfTheStyleWhenEscaping) {
  const struct {
    std::string row;
    TableSettings settings;
    std::string field0;
  } cases[] = {{"x\\r\\ny;b", {true, false, true}, "x\r\ny"},
               {"x\\r\\ny;b", {true, false, false}, "x\\r\\ny"},
               {"'a\\tb;c';d", {true, false, true}, "a\tb;c"},
               {"a\\n;b", {false, false, true}, "a\n"},
               {"x\\d\\a", {true, false, true, '\'', 1}, "x\r\n"},
               {"<<CR><LF><cr>", {true, false, true, '\'', 4}, "<\r\n<cr>"},
               {"\\\\r\\", {true, false, true}, "\\\r\\"},
               {"\\x20a", {true, false, true}, "\\x20a"}};
  for (const auto& c : cases) {
    TStringListCSVEX table;
    c.settings.ApplyTo(&table);
    table.AddLine(c.row);
    EXPECT_EQ(table.GetCell(0, 0), c.field0) << c.row << " style " << int{c.settings.style};
  }
}

TEST(ReadFields, AgreesWithGetFieldOnRandomRowsAlsoReadInPieces) {
  const Lines pieces = {"a",  "bc",  " ",  ";",    ";",     "'",    "''",  "\\r", "\\n",
                        "\\", "\0"s, "\t", "\xE9", "\\x0D", "<CR>", "\\d", "\\t"};
  std::mt19937 rng(7);
  auto pick = [&rng](size_t n) { return static_cast<size_t>(rng() % n); };
  TStringListCSVEX table;
  Lines fields;
  for (int i = 0; i < 20000; ++i) {
    const bool quoted = pick(2) == 0, escape = pick(2) == 0;
    const char quote = pick(4) == 0 ? '\0' : '\'';
    TableSettings{quoted, false, escape, quote, static_cast<uint8_t>(pick(5))}.ApplyTo(&table);
    std::string row;
    for (size_t k = pick(10); k > 0; --k) row += pieces[pick(pieces.size())];
    SCOPED_TRACE(testing::PrintToString(row) + " quoted " + std::to_string(quoted));
    fields = ReadAll(table, row);
    ASSERT_EQ(static_cast<long long>(fields.size()), table.CountFields(row));
    for (size_t n = 0; n <= fields.size(); ++n) {
      ASSERT_EQ(n < fields.size() ? fields[n] : "", table.GetField(row, static_cast<long long>(n)));
    }
    // Read a few fields at a time, going on where the last piece stopped: the same fields.
    const long long piece = 1 + static_cast<long long>(pick(3));
    TStringListCSVEX::FieldCursor cursor;
    TStringListCSVEX::FieldBuffer buffer;
    Lines pieced;
    do {
      table.ReadSomeFields(row, piece, &cursor, &buffer);
      ASSERT_LE(static_cast<long long>(buffer.values.size()), piece);
      pieced.insert(pieced.end(), buffer.values.begin(), buffer.values.end());
    } while (!buffer.values.empty());
    ASSERT_EQ(pieced, fields) << "pieces of " << piece;
  }
}

}  // namespace

// An empty view may hold a null pointer (a default view, an empty line of the store); every
// reader must take it as the empty row without passing that pointer to the C library, which
// the sanitizer build reports as undefined behaviour.
TEST(FieldSplit, EmptyViewsReadAsTheEmptyRow) {
  TStringListCSVEX table;
  table.AddLine("");
  const std::string_view views[] = {std::string_view(), table.LineView(0)};
  for (bool quoted : {true, false}) {
    for (bool escape : {true, false}) {
      TableSettings{quoted, false, escape}.ApplyTo(&table);
      for (std::string_view row : views) {
        EXPECT_EQ(table.GetFieldQuoted(row, 0), "");
        EXPECT_EQ(table.GetField(row, 1), "");
        std::string_view field = "x";
        if (table.FieldView(row, 0, &field)) {
          EXPECT_EQ(field, "");
        }
        EXPECT_EQ(table.CountFields(row), 0);
        EXPECT_EQ(ReadAll(table, row), Lines{});
        std::vector<std::string> fields{"stale"};
        table.SplitRowFields(row, &fields);
        EXPECT_EQ(fields, Lines{});
        EXPECT_EQ(FindLineEnd(row, 0), 0u);
      }
    }
  }
  table.RemoveDuplicates(0, false);
  EXPECT_EQ(LinesOf(table), Lines{""});
  // An empty line inside an open quoted field leaves it open.
  bool open = true;
  EXPECT_TRUE(RecordAssembler::ScanLine(std::string_view(), ';', '\'', &open));
}
