#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ListTestHelpers.h"
#include "ScratchFolder.h"

namespace {

using list_test::Bytes;
using list_test::Lines;

TEST(DetectDelimiter, TakesTheFirstCandidateOutsideDoubleQuotes) {
  const std::pair<std::string, char> cases[] = {{"\"a;b\",c;d", ','},
                                                {"a|b,c", '|'},
                                                {"abc;", '#'},
                                                {"\"abc;", ';'},
                                                {"a\tb;c", '\t'},
                                                {"", '#'},
                                                {",", '#'},
                                                {",a", ','},
                                                {"'a;b',c", ';'},
                                                {"\"a,b\"", '#'},
                                                {"\"a\"\"b;c\",d", ','}};
  for (const auto& c : cases) {
    TStringListCSVEX table;
    table.Delimiter = '#';
    table.SplitText(c.first + "\r\nx|y\r\n");
    table.DetectDelimiter();
    EXPECT_EQ(table.Delimiter, c.second) << c.first;
  }
}

TEST(DetectFormat, SettlesDelimiterAndQuotingButNeverTurnsQuotingOn) {
  const struct {
    Lines lines;
    char quote, delimiter, quote_after;
    bool quoted;
  } cases[] = {{{}, '\'', '|', '\'', true},
               {{"a;\"b\"", "c;d"}, '"', ';', '"', true},
               {{"\"a\";b", "c;d"}, '"', ';', '"', true},
               {{"a;b", "\"c\";d"}, '"', ';', '"', true},
               {{"x", "a|\"b"}, '"', '|', '"', true},
               {{"a;b\"", "c\";d"}, '"', ';', '"', false},
               {{"a,'b'"}, '\'', ',', '\'', true},
               {{"a,\"b\""}, '\'', ',', '\'', false},
               {{"'a',b"}, '\0', ',', '\0', false},
               {{"a\t\"b\"", "\"c\"\td"}, '"', '\t', '\0', false}};
  for (const auto& c : cases) {
    for (bool quoted_before : {true, false}) {
      TStringListCSVEX table;
      table.Delimiter = '|';
      table.QuoteMark = c.quote;
      table.QuotedFields = quoted_before;
      for (const std::string& line : c.lines) table.AddLine(line);
      table.DetectFormat();
      SCOPED_TRACE(testing::PrintToString(c.lines));
      EXPECT_EQ(table.Delimiter, c.delimiter);
      EXPECT_EQ(table.QuoteMark, c.quote_after);
      EXPECT_EQ(table.QuotedFields, c.quoted && quoted_before);
    }
  }
}

TEST(CountColumns, CountsTheFirstRowAsItsFieldsAreRead) {
  const struct {
    std::string row0;
    long long quoted, plain;
  } cases[] = {{"a;\"b;c\";d", 3, 4}, {"a;b;", 3, 3}, {"", 0, 0}, {";\"x;\"", 2, 3}};
  for (const auto& c : cases) {
    TStringListCSVEX table;
    table.SplitText(c.row0 + "\r\n1;2;3;4;5\r\n");
    EXPECT_EQ(table.CountColumns(), c.quoted) << c.row0;
    table.QuotedFields = false;
    EXPECT_EQ(table.CountColumns(), c.plain) << c.row0;
  }
  EXPECT_EQ(TStringListCSVEX().CountColumns(), 0);  // a table without lines
}

using CopyFormat = ScratchFolder;

TEST_F(CopyFormat, TakesDelimiterQuotingAndEncodingFromTheOldTable) {
  const struct {
    std::string bytes;
    char quote;  // ours, kept
    char delimiter;
    bool quoted;
    uint32_t encoding;
  } cases[] = {
      {"a,b\r\nc,d\r\n", '"', ',', false, 0},
      {"a,\"b\"\r\n", '"', ',', true, 0},
      {"\"x\",y\r\n", '"', ',', true, 0},
      // The test looks for the double quote, whatever our quote character is.
      {"a,'b'\r\n", '\'', ',', false, 0},
      {"a,\"b\"\r\n", '\'', ',', true, 0},
      // No candidate in the first row: our delimiter stays, and quoting is tested with it.
      {"abc\r\nd;\"e\"\r\n", '"', '|', false, 0},
      {"abc\r\nd|\"e\"\r\n", '"', '|', true, 0},
      // TAB tables keep our quote character and are tested with it.
      {"a\t\"b\"\r\n", '"', '\t', true, 0},
      {Bytes({0xFF, 0xFE, 'a', 0, '\t', 0, 'b', 0, '\r', 0, '\n', 0}), '"', '\t', false, 0xFEFF},
      {"a,\"b\"\r\n", '\0', ',', false, 0},  // no quote character: quoting never goes on
      // An empty table changes nothing but the encoding.
      {"\xFE\xFF", '\'', '|', false, 0xFFFE},
      {"", '\'', '|', false, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    WriteFile("old.csv", c.bytes);
    TStringListCSVEX table;
    table.Delimiter = '|';
    table.QuoteMark = c.quote;
    table.QuotedFields = false;
    table.TextEncoding = TStringListEX::kEncodingUtf16Le;
    table.WriteBom = true;
    table.CopyFormatFromFile(At("old.csv"));
    EXPECT_EQ(table.Delimiter, c.delimiter);
    EXPECT_EQ(table.QuoteMark, c.quote);
    EXPECT_EQ(table.QuotedFields, c.quoted);
    EXPECT_EQ(table.TextEncoding, c.encoding);
    EXPECT_EQ(table.WriteBom, c.encoding != 0);
    EXPECT_EQ(table.LineCount(), 0);
  }
  TStringListCSVEX table;  // a missing file changes nothing at all
  table.TextEncoding = TStringListEX::kEncodingUtf16Le;
  table.CopyFormatFromFile(At("missing.csv"));
  EXPECT_EQ(table.Delimiter, ';');
  EXPECT_TRUE(table.QuotedFields);
  EXPECT_EQ(table.TextEncoding, TStringListEX::kEncodingUtf16Le);
}

}  // namespace
