#include "ByteSearch.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// The word-wide tests answer exactly what a look at each of the eight bytes answers, for every
// byte value in every position (random words, and words of one interesting byte among others).
TEST(ByteSearch, WordTestsAgreeWithEachByte) {
  std::mt19937_64 rng(3);
  const unsigned char interesting[] = {0, 1, 9, 10, 13, 31, 32, 33, 34, 44, 92, 127, 128, 255};
  for (int round = 0; round < 20000; ++round) {
    unsigned char bytes[8];
    for (unsigned char& b : bytes) {
      b = round % 2 == 0 ? static_cast<unsigned char>(rng())
                         : interesting[rng() % sizeof interesting];
    }
    const uint64_t word = byte_search::Load(reinterpret_cast<const char*>(bytes));
    for (const unsigned char c : interesting) {
      bool below = false;
      bool equal = false;
      for (const unsigned char b : bytes) {
        below |= c <= 128 && b < c;
        equal |= b == c;
      }
      if (c <= 128) {
        EXPECT_EQ(byte_search::AnyBelow(word, c) != 0, below) << round << " " << +c;
      }
      EXPECT_EQ(byte_search::AnyEqual(word, static_cast<char>(c)) != 0, equal) << round << " " << +c;
    }
  }
}

}  // namespace
