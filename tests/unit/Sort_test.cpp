#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ListTestHelpers.h"
#include "RandomTable.h"
#include "StringListEX.h"

namespace {

using list_test::ErrorOf;
using Rows = list_test::Lines;

void Fill(TStringListCSVEX* table, const Rows& rows) {
  for (const std::string& row : rows) table->AddLine(row);
}

TEST(SortByColumn, LeavesEqualKeysInPartitionOrder) {
  struct Case {
    Rows rows;
    long long column;
    Rows expected;
    bool escape = true;
  };
  const std::vector<Case> cases = {
      {{}, 0, {}},
      {{"b;1"}, 0, {"b;1"}},
      {{"1;x", "1;y"}, 0, {"1;y", "1;x"}},
      {{"a;1", "a;2", "a;3"}, 0, {"a;3", "a;2", "a;1"}},
      {{"a;1", "a;2", "a;3", "a;4"}, 0, {"a;3", "a;4", "a;1", "a;2"}},
      {{"b;1", "a;1", "b;2", "a;2"}, 0, {"a;2", "a;1", "b;1", "b;2"}},
      {{"x;a10", "x;a2"}, 1, {"x;a2", "x;a10"}},
      {{"01;x", "1;y"}, 0, {"1;y", "01;x"}},
      {{"b;2", "a", "c;1"}, 1, {"a", "c;1", "b;2"}},  // a missing field sorts first
      {{"\"x;z\";1", "\"x;a\";2"}, 0, {"\"x;a\";2", "\"x;z\";1"}},
      // A record spanning lines moves whole, keyed by its whole text.
      {{"b;\"1", "2\"", "a;3"}, 0, {"a;3", "b;\"1", "2\""}},
      {{"1;\"b", "x\"", "2;\"a", "y\""}, 1, {"2;\"a", "y\"", "1;\"b", "x\""}},
      // Decoded, "\r\n" is CR LF and sorts before "A"; as stored, the backslash sorts after it.
      {{"aA;2", "a\\r\\n;1"}, 0, {"a\\r\\n;1", "aA;2"}},
      {{"a\\r\\n;1", "aA;2"}, 0, {"aA;2", "a\\r\\n;1"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.rows));
    TStringListCSVEX table;
    table.EscapeLineBreaks = c.escape;
    Fill(&table, c.rows);
    table.SortByColumn(c.column);
    EXPECT_EQ(list_test::LinesOf(table), c.expected);
    EXPECT_TRUE(table.SortedByColumn);
  }
}

TEST(SortByColumn, NegativeColumnFailsWhateverTheTableHolds) {
  for (const Rows& rows : {Rows{}, Rows{"a"}, Rows{"b", "a"}}) {
    TStringListCSVEX table;
    Fill(&table, rows);
    EXPECT_EQ(ErrorOf([&] { table.SortByColumn(-1); }), "List index out of bounds (-1)");
    EXPECT_EQ(list_test::LinesOf(table), rows);
  }
}

TEST(ColumnSearch, FindsEqualKeysNaturally) {
  TStringListCSVEX table;
  Fill(&table, {"b;1", "a;01", "b;2", "c;1"});
  EXPECT_EQ(table.IndexOfValue("b", 0), 0);
  EXPECT_EQ(table.IndexOfValue("1", 1), 0);
  EXPECT_EQ(table.IndexOfValue("001", 1), 0);
  EXPECT_EQ(table.IndexOfValue("B", 0), -1);
  EXPECT_EQ(table.ScanColumn("b", 0, 1), 2);
  EXPECT_EQ(table.ScanColumn("b", 0, 4), -1);
  EXPECT_EQ(ErrorOf([&] { table.ScanColumn("b", 0, -1); }), "List index out of bounds (-1)");
  table.SortByColumn(0);  // a;01, b;2, b;1, c;1
  long long index = -1;
  EXPECT_TRUE(table.FindInColumn("b", 0, &index));
  EXPECT_EQ(index, 1);  // the first of the equal rows
  EXPECT_FALSE(table.FindInColumn("bb", 0, &index));
  EXPECT_EQ(index, 3);
  EXPECT_EQ(table.IndexOfValue("c", 0), 3);
  EXPECT_EQ(table.IndexOfValue("d", 0), -1);
}

TEST(ColumnSearch, SortedTableInsertsByFirstColumn) {
  TStringListCSVEX table;
  Fill(&table, {"b;1", "a;3", "c;2"});
  table.SortByColumn(1);  // b;1, c;2, a;3: not in first-column order
  table.SortByColumn(0);  // sorted once, never again
  EXPECT_EQ(table.AddLine("b;9"), 0);
  table.SplitText("z;1\r\nb;2\r\na;3\r\n");
  EXPECT_EQ(list_test::LinesOf(table), Rows({"a;3", "b;2", "z;1"}));
  EXPECT_EQ(table.AddLine("b;0"), 1);  // before the first equal key
  table.DuplicateRule = DuplicatesIgnore;
  EXPECT_EQ(table.AddLine("b;5"), -1);
  EXPECT_EQ(list_test::LinesOf(table), Rows({"a;3", "b;0", "b;2", "z;1"}));
}

// The sort as its steps read: every comparison reads the keys again, rows are exchanged one by
// one, p follows the pivot row, the left part recurses and the right part loops.
void ReferenceSort(TStringListCSVEX* t, long long left, long long right, long long column) {
  long long i = 0;
  do {
    i = left;
    long long j = right;
    long long p = (left + right) / 2;
    do {
      const std::string pivot = t->GetField(t->GetLine(p), column);
      while (t->CompareValues(t->GetField(t->GetLine(i), column), pivot) < 0) ++i;
      while (t->CompareValues(t->GetField(t->GetLine(j), column), pivot) > 0) --j;
      if (i <= j) {
        t->ExchangeLines(i, j);
        if (p == i) {
          p = j;
        } else if (p == j) {
          p = i;
        }
        ++i;
        --j;
      }
    } while (i <= j);
    if (left < j) ReferenceSort(t, left, j, column);
    left = i;
  } while (i < right);
}

TEST(SortByColumn, MatchesReferenceOnRandomTables) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 2000; ++round) {
    TStringListCSVEX table;
    const long long column = random_table::Fill(&rng, &table);
    // The reference works on whole records, each one line of its list.
    TStringListCSVEX reference;
    reference.Delimiter = table.Delimiter;
    reference.QuoteMark = table.QuoteMark;
    reference.QuotedFields = table.QuotedFields;
    reference.EscapeLineBreaks = table.EscapeLineBreaks;
    for (const std::string& record : random_table::Records(table)) reference.AddLine(record);
    if (reference.LineCount() >= 2) ReferenceSort(&reference, 0, reference.LineCount() - 1, column);
    table.SortByColumn(column);
    ASSERT_EQ(table.JoinLines(), reference.JoinLines()) << "round " << round;
  }
}

}  // namespace
