#include "CompareString.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

TEST(NaturalCompare, Samples) {
  struct Case {
    std::string a, b;
    bool match_case;
    int expected;
  };
  const std::vector<Case> cases = {
      {"", "", true, 0},
      {"", "0", true, -1},
      {"a2", "a10", true, -1},
      {"a10", "a010", true, 0},
      {"a007b", "a7c", true, -1},
      {"a0", "a00", true, -1},
      {"a0b", "a00", true, -1},
      {"00", "1", true, -1},
      {"5", " ", true, -1},
      {"abc", "abcd", true, -1},
      {"1.5", "1.10", true, -1},
      {"z", "\xE9", true, -1},
      {"ABC", "abc", true, -1},
      {"ABC", "abc", false, 0},
      {"[", "A", true, 1},
      {"[", "A", false, -1},
      {"Item2", "item10", false, -1},
      // Digit runs compare by exact value at any length.
      {"9223372036854775808", "1", true, 1},
      {"18446744073709551617", "2", true, 1},
      {"100000000000000000000", "99999999999999999999", true, 1},
      {"x000000000000000000000012y", "x12z", true, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a + " vs " + c.b);
    EXPECT_EQ(NaturalCompare(c.a, c.b, c.match_case), c.expected);
    EXPECT_EQ(NaturalCompare(c.b, c.a, c.match_case), -c.expected);
    EXPECT_EQ((c.match_case ? NaturalCompareStr : NaturalCompareText)(c.a, c.b), c.expected);
  }
}

// The prepared form orders every pair of texts as the natural comparison does, equal ones
// included: random texts of digits (zeros above all), NUL, high bytes and letters, with runs
// long enough for lengths of several bytes.
TEST(NaturalCompare, PreparedKeysOrderAsTheComparison) {
  std::mt19937 rng(9);
  const std::string alphabet(
      "0001239a \xff\x01"
      "\0",
      12);
  auto random_text = [&]() {
    std::string text;
    const size_t size = rng() % 9;
    for (size_t i = 0; i < size; ++i) text += alphabet[rng() % alphabet.size()];
    if (rng() % 16 == 0)
      text.insert(rng() % (text.size() + 1), std::string(rng() % 300, rng() % 2 ? '0' : '7'));
    return text;
  };
  for (int round = 0; round < 20000; ++round) {
    const std::string a = random_text();
    const std::string b = round % 5 == 0 ? a : random_text();
    std::string key_a, key_b;
    AppendNaturalKey(a, &key_a);
    AppendNaturalKey(b, &key_b);
    ASSERT_EQ(CompareKeyBytes(key_a, key_b), NaturalCompareStr(a, b))
        << testing::PrintToString(a) << " vs " << testing::PrintToString(b);
  }
}

// The word-at-a-time byte order agrees with the plain one, bytes above 127 included.
TEST(CompareKeyBytes, IsPlainUnsignedByteOrder) {
  std::mt19937 rng(11);
  const char alphabet[] = {'a', 'b', '\0', '\x7F', '\x80', '\xFF'};
  for (int round = 0; round < 20000; ++round) {
    std::string a, b;
    for (size_t n = rng() % 20; n > 0; --n) a += alphabet[rng() % sizeof alphabet];
    b = a.substr(0, rng() % (a.size() + 1));
    for (size_t n = rng() % 4; n > 0; --n) b += alphabet[rng() % sizeof alphabet];
    const int plain = std::string_view(a).compare(b);
    ASSERT_EQ(CompareKeyBytes(a, b), plain < 0 ? -1 : plain > 0 ? 1 : 0)
        << testing::PrintToString(a) << " " << testing::PrintToString(b);
  }
}

}  // namespace
