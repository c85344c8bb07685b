#include "CompareString.h"

#include <gtest/gtest.h>

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

}  // namespace
