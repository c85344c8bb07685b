#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ListTestHelpers.h"
#include "StringListEX.h"

namespace {

using list_test::Lines;
using list_test::LinesOf;

TEST(AssembleRecords, JoinsTheLinesOfOpenQuotedFields) {
  const struct {
    Lines lines;
    Lines records;
    std::vector<size_t> starts;
    uint8_t style = 2;
    uint8_t kind = 0;
    char quote = '\'';
  } cases[] = {
      {{"a;'b", "c';d"}, {"a;'b\\r\\nc';d"}, {0}},
      {{"'x''", "y'"}, {"'x''\\r\\ny'"}, {0}},
      {{"'a';b'c", "d'"}, {"'a';b'c\\r\\nd'"}, {0}},
      {{"ab'c", "d'"}, {"ab'c", "d'"}, {0, 1}},
      {{"a'b;'c", "d'"}, {"a'b;'c\\r\\nd'"}, {0}},
      {{"'a;b';c", "d"}, {"'a;b';c", "d"}, {0, 1}},
      {{"'a", "", "b'"}, {"'a\\r\\n\\r\\nb'"}, {0}},
      {{"x", "", "y"}, {"x", "", "y"}, {0, 1, 2}},
      {{"h", "1;'a", "b';2", "", "'c", "d'", "e"},
       {"h", "1;'a\\r\\nb';2", "", "'c\\r\\nd'", "e"},
       {0, 1, 3, 4, 6}},
      {{"'a", "b'"}, {"'ab'"}, {0}, 0},
      {{"'a", "b'"}, {"'ab'"}, {0}, 7},
      {{"'a", "b'"}, {"'a\\nb'"}, {0}, 2, 1},
      {{"'a", "b'"}, {"'a\\rb'"}, {0}, 2, 2},
      {{"'a", "b'"}, {"'ab'"}, {0}, 2, 3},
      {{"'a", "b'"}, {"'a<CR><LF>b'"}, {0}, 4},
      {{"'a", "b'"}, {"'a\\x0D\\x0Ab'"}, {0}, 3},
      {{"'a", "b'"}, {"'a", "b'"}, {0, 1}, 2, 0, '\0'},
      // A record still open after the last line is kept whole as the last line.
      {{"x", "'a", "b;c"}, {"x", "'a\\r\\nb;c"}, {0, 1}},
      {{"a;'b"}, {"a;'b"}, {0}},
      {{}, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.lines) + " style " + std::to_string(c.style) + " kind " +
                 std::to_string(c.kind));
    TStringListCSVEX table;
    table.Delimiter = ';';
    table.QuoteMark = c.quote;
    table.LineBreakStyle = c.style;
    table.RecordJoinKind = c.kind;
    for (const std::string& line : c.lines) table.AddLine(line);
    EXPECT_EQ(table.RecordStarts(), c.starts);
    table.AssembleRecords();
    EXPECT_EQ(LinesOf(table), c.records);
  }
}

TEST(AssembleRecords, JoinedRecordReadsBackWithItsLineBreak) {
  TStringListCSVEX table;
  table.QuoteMark = '\'';
  table.SplitText("id;text\r\n1;'two\r\nlines';x\r\n");
  table.AssembleRecords();
  ASSERT_EQ(table.LineCount(), 2);
  EXPECT_EQ(table.GetCell(1, 1), "two\r\nlines");
  EXPECT_EQ(table.GetCell(1, 2), "x");
}

}  // namespace
