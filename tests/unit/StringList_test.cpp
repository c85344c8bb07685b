#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ListTestHelpers.h"
#include "Platform.h"
#include "ScratchFolder.h"

namespace {

using namespace std::string_literals;
using list_test::ErrorOf;
using list_test::Joined;
using list_test::Lines;
using list_test::LinesOf;

TEST(SplitText, EndsLinesAtEachBreakAndTheTextAtNul) {
  const struct {
    std::string text;
    Lines lines;
  } cases[] = {{"", {}},
               {"\r\n", {""}},
               {"a\r\n", {"a"}},
               {"a\nb\rc\r\n", {"a", "b", "c"}},
               {"a\n\rb", {"a", "", "b"}},
               {"a\r\r\nb", {"a", "", "b"}},
               {"\n\n\r\r", {"", "", "", ""}},
               {"a\r\nb\0c\r\nd"s, {"a", "b"}},
               {"\0a"s, {}},
               {"\x80\xFF;\t \r\n", {"\x80\xFF;\t "}}};
  for (const auto& c : cases) {
    TStringList list;
    list.AddLine("stale");
    list.SplitText(c.text);
    EXPECT_EQ(LinesOf(list), c.lines) << testing::PrintToString(c.text);
    EXPECT_EQ(list.JoinLines(), Joined(c.lines));
  }
}

TEST(SortedList, InsertsAtTheSearchPositionByTheDuplicateRule) {
  // Byte order puts "A" first; a locale's collation may put "a" first.
  const bool lower_first = platform::CompareLocale("a", "A", false) < 0;
  const Lines a_and_upper_a = lower_first ? Lines{"a", "A", "b"} : Lines{"A", "a", "b"};
  const struct {
    TDuplicates rule;
    bool match_case;
    Lines added, lines;
    std::vector<long long> results;
  } cases[] = {
      {DuplicatesAccept, true, {"b", "a", "c", "b"}, {"a", "b", "b", "c"}, {0, 0, 2, 1}},
      // An equal text goes before the first line it equals.
      {DuplicatesAccept, false, {"x", "a", "X", "A"}, {"A", "a", "X", "x"}, {0, 0, 1, 0}},
      {DuplicatesIgnore, true, {"b", "a", "b", "A"}, a_and_upper_a, {0, 0, -1, lower_first}},
      {DuplicatesIgnore, false, {"b", "a", "B"}, {"a", "b"}, {0, 0, -1}},
      {DuplicatesReject, true, {"b", "b", "a"}, {"a", "b"}, {0, -1, 0}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.added));
    TStringListEX list;
    list.DuplicateRule = c.rule;
    list.MatchCase = c.match_case;
    list.SetKeepSorted(true);
    std::vector<long long> results;
    for (const std::string& text : c.added) results.push_back(list.AddLine(text));
    EXPECT_EQ(results, c.results);
    EXPECT_EQ(LinesOf(list), c.lines);
    list.SplitText(Joined(c.added));  // goes through the same insertion
    EXPECT_EQ(LinesOf(list), c.lines);
  }
}

TEST(SortedList, LocatesAndIndexesTheFirstEqualLine) {
  TStringListEX list;
  list.MatchCase = false;
  long long index = -1;
  EXPECT_FALSE(list.LocateLine("a", &index) || index != 0);
  list.SplitText("c\nB\na\nb\nd\n");
  list.SetKeepSorted(true);  // sorts first; equal lines keep their order
  EXPECT_EQ(LinesOf(list), (Lines{"a", "B", "b", "c", "d"}));
  EXPECT_TRUE(list.LocateLine("b", &index) && index == 1);
  EXPECT_FALSE(list.LocateLine("bb", &index) || index != 3);
  EXPECT_EQ(list.IndexOfLine("b"), 1);
  EXPECT_EQ(list.IndexOfLine("e"), -1);
  list.SetKeepSorted(false);
  list.MatchCase = true;
  EXPECT_EQ(list.IndexOfLine("b"), 2);
}

TEST(LineList, IndexErrorsNameTheIndexAndChangeNothing) {
  TStringList list;
  EXPECT_EQ(ErrorOf([&] { list.GetLine(0); }), "List index out of bounds (0)");
  list.SplitText("a\nb\n");
  const std::pair<std::function<void()>, int> cases[] = {
      {[&] { list.GetLine(2); }, 2},           {[&] { list.GetLine(-1); }, -1},
      {[&] { list.LineView(5); }, 5},          {[&] { list.SetLine(2, "x"); }, 2},
      {[&] { list.SetLine(-3, "x"); }, -3},    {[&] { list.ExchangeLines(0, 2); }, 2},
      {[&] { list.ExchangeLines(-1, 0); }, -1}};
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorOf(c.first), "List index out of bounds (" + std::to_string(c.second) + ")");
  }
  EXPECT_EQ(LinesOf(list), (Lines{"a", "b"}));
}

TEST(LineList, KeepsContentThroughManyReplacementsOfLongLines) {
  Lines expected;
  for (int i = 0; i < 10; ++i) expected.push_back(std::string(100 + i, static_cast<char>('a' + i)));
  TStringList list;
  list.SplitText(Joined(expected));  // these lines live in the loaded text
  for (int i = 0; i < 100000; ++i) {
    const size_t at = static_cast<size_t>(i) * 7 % 5;  // lines 5 and later are never replaced
    if (i % 9 == 0) {                                  // a line copied from the list's own bytes
      const size_t from = (at + 3) % expected.size();
      list.SetLine(static_cast<long long>(at), list.LineView(static_cast<long long>(from)));
      expected[at] = expected[from];
    } else {
      expected[at] = std::string(900 + i % 250, static_cast<char>('A' + i % 26)) +
                     std::to_string(i) + (i % 5 == 0 ? "" : "\xFF\x80");
      list.SetLine(static_cast<long long>(at), expected[at]);
    }
    if (i % 20000 == 0) {
      expected.push_back(std::to_string(i));
      list.AddLine(expected.back());
    }
    if (i % 4999 == 0) {
      ASSERT_EQ(LinesOf(list), expected) << i;
    }
  }
  EXPECT_EQ(LinesOf(list), expected);
}

using LineFiles = ScratchFolder;

TEST_F(LineFiles, SaveAndLoadGiveBackTheLines) {
  const Lines lines = {
      "first", "", "\xEF\xBB\xBF mark kept", std::string(1536 * 1024, 'L'), "\x80\xFF\t;", "last"};
  TStringList list;
  for (const std::string& line : lines) list.AddLine(line);
  WriteFile("lines.txt", "old content");
  list.SaveLines(At("lines.txt"));
  EXPECT_EQ(ReadFile("lines.txt"), Joined(lines));
  EXPECT_EQ(Entries(), (Lines{"lines.txt"}));
  TStringList loaded;
  loaded.LoadLines(At("lines.txt"));
  EXPECT_EQ(LinesOf(loaded), lines);

  const std::string missing = At("missing.txt");
  EXPECT_EQ(ErrorOf([&] { loaded.LoadLines(missing); }).rfind("Cannot open file \"" + missing, 0),
            0u);
  EXPECT_EQ(LinesOf(loaded), lines);  // a failed load changes nothing
  const std::string nowhere = At("no/folder.txt");
  EXPECT_EQ(ErrorOf([&] { list.SaveLines(nowhere); }).rfind("Cannot create file \"" + nowhere, 0),
            0u);
}

}  // namespace
