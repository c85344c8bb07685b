#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ListTestHelpers.h"
#include "RandomTable.h"
#include "RecordKeys.h"
#include "StringListEX.h"

namespace {

using list_test::LinesOf;
using Rows = list_test::Lines;

TEST(RemoveDuplicates, KeepsFirstPlaceOfEachKey) {
  struct Case {
    Rows rows;
    long long column;
    Rows keep_first, keep_last;
  };
  const std::vector<Case> cases = {
      {{}, 0, {}, {}},
      {{"a;1", "b;2"}, 0, {"a;1", "b;2"}, {"a;1", "b;2"}},
      {{"a;1", "b;2", "a;3"}, 0, {"a;1", "b;2"}, {"a;3", "b;2"}},
      {{"a;1", "a;2", "a;3"}, 0, {"a;1"}, {"a;3"}},
      {{"a", "", "b;1", "c"}, 1, {"a", "b;1"}, {"c", "b;1"}},  // missing fields read empty
      {{"A;1", "a;2"}, 0, {"A;1", "a;2"}, {"A;1", "a;2"}},
      // Keys are equal when their bytes are: 01 and 1 never replace each other.
      {{"01;a", "1;b", "1;c"}, 0, {"01;a", "1;b"}, {"01;a", "1;c"}},
      {{"\"k;1\";x", "k;y", "\"k;1\";z"}, 0, {"\"k;1\";x", "k;y"}, {"\"k;1\";z", "k;y"}},
      {{"\"a\"\"b\";1", "a\"b;2"}, 0, {"\"a\"\"b\";1"}, {"a\"b;2"}},
      // A record spanning lines is kept or dropped whole; its key may span lines too.
      {{"a;\"1", "2\"", "a;3", "b;4"}, 0, {"a;\"1", "2\"", "b;4"}, {"a;3", "b;4"}},
      {{"x\\r\\ny;1", "\"x", "y\";2", "z"}, 0, {"x\\r\\ny;1", "z"}, {"\"x", "y\";2", "z"}},
  };
  for (const Case& c : cases) {
    for (bool keep_last : {false, true}) {
      SCOPED_TRACE(testing::PrintToString(c.rows) + (keep_last ? " keep last" : " keep first"));
      TStringListCSVEX table;
      for (const std::string& row : c.rows) table.AddLine(row);
      table.RemoveDuplicates(c.column, keep_last);
      EXPECT_EQ(LinesOf(table), keep_last ? c.keep_last : c.keep_first);
      table.RemoveDuplicates(c.column, keep_last);  // a second run changes nothing
      EXPECT_EQ(LinesOf(table), keep_last ? c.keep_last : c.keep_first);
    }
  }
}

TEST(RemoveDuplicates, NegativeColumnFailsWhateverTheTableHolds) {
  for (const Rows& rows : {Rows{}, Rows{"a"}, Rows{"a", "a"}}) {
    TStringListCSVEX table;
    for (const std::string& row : rows) table.AddLine(row);
    EXPECT_EQ(list_test::ErrorOf([&] { table.RemoveDuplicates(-1, true); }),
              "List index out of bounds (-1)");
    EXPECT_EQ(LinesOf(table), rows);
  }
}

// Duplicate removal as plainly as it can be said: compare each record's key with the key of
// every record kept so far.
std::string ReferenceDedupe(const TStringListCSVEX& t, long long column, bool keep_last) {
  std::vector<std::string> kept;
  for (const std::string& record : random_table::Records(t)) {
    const std::string key = t.GetField(record, column);
    size_t k = 0;
    while (k < kept.size() && t.GetField(kept[k], column) != key) ++k;
    if (k == kept.size()) {
      kept.push_back(record);
    } else if (keep_last) {
      kept[k] = record;
    }
  }
  std::string text;
  for (const std::string& record : kept) text += record + "\r\n";
  return text;
}

TEST(RemoveDuplicates, MatchesReferenceOnRandomTables) {
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    TStringListCSVEX table;
    const long long column = random_table::Fill(&rng, &table);
    const bool keep_last = round % 2 == 1;
    const std::string expected = ReferenceDedupe(table, column, keep_last);
    table.RemoveDuplicates(column, keep_last);
    ASSERT_EQ(table.JoinLines(), expected) << "round " << round;
  }
}

// The key table of the streamed dedupe: every key keeps its number through the table's growth,
// keys equal only when their bytes are (the empty key, "01" and "1", keys that share a hash
// bucket or differ past eight bytes).
TEST(KeyTable, KeysKeepTheirNumbers) {
  KeyTable table;
  std::vector<std::string> keys = {"", "01", "1", "item12345678x", "item12345678y"};
  for (int i = 0; i < 50000; ++i) keys.push_back("k" + std::to_string(i * 7919));
  for (size_t i = 0; i < keys.size(); ++i) ASSERT_EQ(table.Insert(keys[i], i), nullptr) << i;
  EXPECT_EQ(table.Size(), keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    const size_t* number = table.Insert(std::string(keys[i]), 0);
    ASSERT_NE(number, nullptr) << i;
    EXPECT_EQ(*number, i);
  }
}

}  // namespace
