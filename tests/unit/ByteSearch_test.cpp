#include "ByteSearch.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

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

// Find() and EachStop() stop exactly where a look at each byte stops, from every start in texts
// of every length around the block width, with the stops in every place, the last bytes too
// (which are tested as a block of their own).
TEST(ByteSearch, StopsAgreeWithEachByte) {
  const byte_search::StopBytes stops({',', '"', ',', ','});
  std::mt19937 rng(7);
  const char alphabet[] = {'a', 'b', ',', '"', '\t', 'z'};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (size_t n = rng() % 40; n > 0; --n) {
      text += round % 3 == 0 ? 'a' : alphabet[rng() % sizeof alphabet];
    }
    std::vector<size_t> expected;
    for (size_t k = 0; k < text.size(); ++k) {
      if (stops.Stops(text[k])) expected.push_back(k);
    }
    std::vector<size_t> each;
    stops.EachStop(text.data(), text.size(), [&each](size_t at) {
      each.push_back(at);
      return true;
    });
    EXPECT_EQ(each, expected) << text;
    for (size_t from = 0; from <= text.size(); ++from) {
      size_t want = text.size();
      for (const size_t at : expected) {
        if (at >= from) {
          want = at;
          break;
        }
      }
      EXPECT_EQ(stops.Find(text.data(), from, text.size()), want) << text << " from " << from;
    }
  }
}

}  // namespace
