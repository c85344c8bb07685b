#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
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
// one, p follows the pivot row, the left part recurses and the right part loops. A segment
// nested deeper than `deepest` is sorted stably instead, and `*fell_back` says it happened.
struct Reference {
  TStringListCSVEX* t;
  long long column;
  int deepest;
  bool fell_back = false;

  std::string Key(long long line) const { return t->GetField(t->GetLine(line), column); }

  void StableSort(long long left, long long right) {
    std::vector<std::string> rows;
    for (long long k = left; k <= right; ++k) rows.push_back(t->GetLine(k));
    std::stable_sort(rows.begin(), rows.end(), [&](const std::string& a, const std::string& b) {
      return t->CompareValues(t->GetField(a, column), t->GetField(b, column)) < 0;
    });
    for (long long k = left; k <= right; ++k) t->SetLine(k, rows[static_cast<size_t>(k - left)]);
    fell_back = true;
  }

  void Sort(long long left, long long right, int level) {
    long long i = 0;
    do {
      if (level > deepest) {
        StableSort(left, right);
        return;
      }
      i = left;
      long long j = right;
      long long p = (left + right) / 2;
      do {
        const std::string pivot = Key(p);
        while (t->CompareValues(Key(i), pivot) < 0) ++i;
        while (t->CompareValues(Key(j), pivot) > 0) --j;
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
      ++level;  // both parts lie one level deeper
      if (left < j) Sort(left, j, level);
      left = i;
    } while (i < right);
  }
};

int DeepestLevel(long long n) {
  int log2 = 0;
  for (; n > 1; n /= 2) ++log2;
  return 2 * log2 + 4;
}

// Copies the table's format and its records, one record per line.
void CopyRecords(const TStringListCSVEX& table, TStringListCSVEX* reference) {
  reference->Delimiter = table.Delimiter;
  reference->QuoteMark = table.QuoteMark;
  reference->QuotedFields = table.QuotedFields;
  reference->EscapeLineBreaks = table.EscapeLineBreaks;
  for (const std::string& record : random_table::Records(table)) reference->AddLine(record);
}

bool ReferenceSort(TStringListCSVEX* reference, long long column) {
  Reference sorter{reference, column, DeepestLevel(reference->LineCount())};
  if (reference->LineCount() >= 2) sorter.Sort(0, reference->LineCount() - 1, 0);
  return sorter.fell_back;
}

TEST(SortByColumn, MatchesReferenceOnRandomTables) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 2000; ++round) {
    TStringListCSVEX table;
    const long long column = random_table::Fill(&rng, &table);
    TStringListCSVEX reference;
    CopyRecords(table, &reference);
    // Tables like these never get deep enough for the merge sort: the order is the partition's.
    ASSERT_FALSE(ReferenceSort(&reference, column)) << "round " << round;
    table.SortByColumn(column);
    ASSERT_EQ(table.JoinLines(), reference.JoinLines()) << "round " << round;
  }
}

// Keys rising then falling split off one row per partition step; past the nesting limit the
// rest is merge-sorted, stably, and the whole takes n log n steps instead of n squared.
TEST(SortByColumn, OrganPipeKeysFallBackToStableMergeSort) {
  auto organ_pipe = [](TStringListCSVEX* table, long long rows, long long key_span) {
    for (long long i = 0; i < rows; ++i) {
      const long long key = i < rows / 2 ? i : rows - i;
      table->AddLine("k" + std::to_string(key % key_span) + ";" + std::to_string(i));
    }
  };
  for (long long key_span : {1000000LL, 37LL}) {  // distinct keys, then many equal ones
    SCOPED_TRACE(key_span);
    TStringListCSVEX table;
    organ_pipe(&table, 3000, key_span);
    TStringListCSVEX reference;
    CopyRecords(table, &reference);
    ASSERT_EQ(ReferenceSort(&reference, 0), key_span > 3000);
    table.SortByColumn(0);
    EXPECT_EQ(table.JoinLines(), reference.JoinLines());
    for (long long r = 1; r < table.LineCount(); ++r) {
      ASSERT_LE(table.CompareValues(table.GetCell(r - 1, 0), table.GetCell(r, 0)), 0) << r;
    }
  }
  // Quadratic, this took minutes.
  TStringListCSVEX big;
  organ_pipe(&big, 200000, 1000000);
  const auto start = std::chrono::steady_clock::now();
  big.SortByColumn(0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(big.GetLine(0), "k0;0");
  EXPECT_EQ(big.GetLine(big.LineCount() - 1), "k100000;100000");
}

// Large tables sort the two parts of their first partition side by side; equal keys must still
// end in the partition's order (many equal keys, rows told apart by their second field).
TEST(SortByColumn, LargeTablesMatchReference) {
  std::mt19937 rng(8);
  for (const bool match_case : {true, false}) {
    TStringListCSVEX table;
    table.Delimiter = ';';
    table.MatchCase = match_case;
    const char* const stems[] = {"a", "A", "item", "Item", "b", ""};
    for (int r = 0; r < 70000; ++r) {
      table.AddLine(std::string(stems[rng() % 6]) + std::to_string(rng() % 300) + ";" +
                    std::to_string(r));
    }
    TStringListCSVEX reference;
    CopyRecords(table, &reference);
    reference.MatchCase = match_case;
    ASSERT_FALSE(ReferenceSort(&reference, 0));
    table.SortByColumn(0);
    EXPECT_TRUE(table.JoinLines() == reference.JoinLines()) << "match case " << match_case;
  }
}

}  // namespace
