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
      {"b", "abab", 1, 2}, {"b", "abab", 3, 4}, {"b", "abab", 5, 0}, {"ab", "aab", 2, 2},
      {"ab", "aab", 3, 0}, {"", "abc", 1, 0},   {"b", "abab", 0, 2}, {"\0"s, "a\0b\0"s, 3, 4},
      {"abc", "ab", 1, 0}, {"a", "a", 99, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindFrom(c.pattern, c.text, c.start), c.expected)
        << c.pattern << " in " << c.text << " from " << c.start;
  }
}

struct ReplaceCase {
  std::string text, pattern, replacement, expected;
};

TEST(ReplaceAll, Samples) {
  const std::vector<ReplaceCase> cases = {
      {"aaa", "aa", "b", "ba"},    {"\\\\r", "\\r", "\r", "\\\r"},          {"abc", "", "x", "abc"},
      {"aXa", "a", "aa", "aaXaa"}, {"\0\0"s, "\0"s, "\\x00", "\\x00\\x00"},
  };
  for (const ReplaceCase& c : cases) {
    EXPECT_EQ(ReplaceAll(c.text, c.pattern, c.replacement), c.expected) << c.text;
  }
}

TEST(ReplaceAllInPlace, Samples) {
  const std::vector<ReplaceCase> cases = {
      {"\0a\0b\0"s, "\0"s, "\\x00", "\\x00a\\x00b\\x00"},
      {"aaa", "aa", "b", "ba"},
      // The search goes on inside the replacement, one byte after its start.
      {"abb", "ab", "xa", "xxa"},
      // With nothing inserted, the byte after a match cannot start the next one.
      {"abab", "ab", "", "ab"},
      {"abc", "", "x", "abc"},
      // A replacement holding the pattern after its first byte falls back to one pass.
      {"aXa", "a", "ba", "baXba"},
  };
  for (const ReplaceCase& c : cases) {
    std::string text = c.text;
    ReplaceAllInPlace(&text, c.pattern, c.replacement);
    EXPECT_EQ(text, c.expected) << c.text;
  }
}

// Deletes and inserts at each match, resuming the search one byte after its start.
std::string LiteralReplaceInPlace(std::string text, const std::string& pattern,
                                  const std::string& replacement) {
  for (size_t p = FindFrom(pattern, text, 1); p != 0; p = FindFrom(pattern, text, p + 1)) {
    text.replace(p - 1, pattern.size(), replacement);
  }
  return text;
}

TEST(ReplaceAllInPlace, MatchesEditingAtEachMatch) {
  std::mt19937 random(7);
  const auto word = [&random](size_t max_length) {
    std::string s;
    for (size_t n = random() % (max_length + 1); n > 0; --n) s += "ab"[random() % 2];
    return s;
  };
  for (int round = 0; round < 50000; ++round) {
    const std::string text = word(10);
    const std::string pattern = word(3);
    const std::string replacement = word(4);
    if (!pattern.empty() && replacement.find(pattern, 1) != std::string::npos) continue;
    std::string result = text;
    ReplaceAllInPlace(&result, pattern, replacement);
    ASSERT_EQ(result, LiteralReplaceInPlace(text, pattern, replacement))
        << text << " / " << pattern << " / " << replacement;
  }
}

}  // namespace
