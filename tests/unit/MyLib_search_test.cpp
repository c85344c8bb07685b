#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "MyLib.h"

namespace {

using namespace std::string_literals;

TEST(FindFrom, Samples) {
  struct Case {
    std::string pattern, text;
    size_t start, expected;
  };
  const std::vector<Case> cases = {
      {"b", "abab", 3, 4}, {"b", "abab", 5, 0}, {"ab", "aab", 2, 2},      {"ab", "aab", 3, 0},
      {"", "abc", 1, 0},   {"b", "abab", 0, 2}, {"\0"s, "a\0b\0"s, 3, 4}, {"a", "a", 99, 0}};
  for (const Case& c : cases) EXPECT_EQ(FindFrom(c.pattern, c.text, c.start), c.expected) << c.text;
}

TEST(ReplaceAll, BothFormsOnSamples) {
  struct Case {
    std::string text, pattern, replacement, all, in_place;
  };
  const std::vector<Case> cases = {
      {"aaa", "aa", "b", "ba", "ba"},
      {"\\\\r", "\\r", "\r", "\\\r", "\\\r"},
      {"a\0b\0"s, "\0"s, "\\x00", "a\\x00b\\x00", "a\\x00b\\x00"},
      {"abc", "", "x", "abc", "abc"},
      // In place, the search goes on one byte after the start of each replacement.
      {"abb", "ab", "xa", "xab", "xxa"},
      {"abab", "ab", "", "", "ab"},
      // A replacement that would be matched again forever falls back to one pass.
      {"aXa", "a", "ba", "baXba", "baXba"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReplaceAll(c.text, c.pattern, c.replacement), c.all) << c.text;
    std::string text = c.text;
    ReplaceAllInPlace(&text, c.pattern, c.replacement);
    EXPECT_EQ(text, c.in_place) << c.text;
  }
}

TEST(ReplaceAllInPlace, MatchesEditingAtEachMatch) {
  std::mt19937 random(7);
  const auto word = [&random](size_t max_length) {
    std::string s;
    for (size_t n = random() % (max_length + 1); n > 0; --n) s += "ab"[random() % 2];
    return s;
  };
  for (int round = 0; round < 50000; ++round) {
    const std::string text = word(10), pattern = word(3), replacement = word(4);
    if (!pattern.empty() && replacement.find(pattern, 1) != std::string::npos) continue;
    std::string expected = text;
    for (size_t p = FindFrom(pattern, expected, 1); p != 0;
         p = FindFrom(pattern, expected, p + 1)) {
      expected.replace(p - 1, pattern.size(), replacement);
    }
    std::string result = text;
    ReplaceAllInPlace(&result, pattern, replacement);
    ASSERT_EQ(result, expected) << text << " / " << pattern << " / " << replacement;
  }
}

}  // namespace
