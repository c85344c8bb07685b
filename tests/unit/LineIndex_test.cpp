#include "LineIndex.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// The lines of text[from, size) as a plain walk finds them: each one's end, where the next one
// begins, and whether a mark or a byte below 32 (not CR, LF) stands in it.
std::vector<IndexedLine> Reference(const std::string& text, size_t from) {
  std::vector<IndexedLine> lines;
  bool marked = false;
  for (size_t p = from; p < text.size(); ++p) {
    const char c = text[p];
    if (c != '\r' && c != '\n') {
      marked = marked || static_cast<unsigned char>(c) < 32 || c == '"' || c == '\\' || c == ',';
      continue;
    }
    const bool crlf = c == '\r' && p + 1 < text.size() && text[p + 1] == '\n';
    lines.push_back({p, p + (crlf ? 2 : 1), marked, c == '\r' && p + 1 == text.size()});
    marked = false;
    if (crlf) ++p;
  }
  return lines;
}

// Both ways of indexing list the lines a plain walk finds, whatever the line ends, marks and
// their places against the sixteen-byte blocks, and wherever the list fills up.
TEST(LineIndexer, ListsTheLinesAPlainWalkFinds) {
  const char marks[4] = {'"', '\\', ',', ','};
  const LineIndexer indexer(marks, true);
  std::mt19937 rng(11);
  const char* const pieces[] = {"a", "bcdefghijklmnopqrstuvwxyz", "\r\n", "\r", "\n", "\"", "\\",
                                ",", "\t", "\x01", "\xc3\xa9", "\r\r\n\n"};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (size_t n = rng() % 24; n > 0; --n) text += pieces[rng() % std::size(pieces)];
    const size_t from = text.empty() ? 0 : rng() % (text.size() + 1);
    const std::vector<IndexedLine> expected = Reference(text, from);
    for (bool wide : {true, false}) {
      const size_t max = round % 3 == 0 ? 1 + rng() % 4 : 1000;
      std::vector<IndexedLine> got(max);
      const size_t count = wide ? indexer.IndexBy<true>(text.data(), from, text.size(), got.data(), max)
                                : indexer.IndexBy<false>(text.data(), from, text.size(), got.data(), max);
      SCOPED_TRACE(testing::PrintToString(text) + " from " + std::to_string(from) +
                   (wide ? " wide" : " narrow"));
      ASSERT_EQ(count, std::min(max, expected.size()));
      for (size_t k = 0; k < count; ++k) {
        EXPECT_EQ(got[k].end, expected[k].end) << k;
        EXPECT_EQ(got[k].next, expected[k].next) << k;
        EXPECT_EQ(got[k].marked, expected[k].marked) << k;
        EXPECT_EQ(got[k].cr_open, expected[k].cr_open) << k;
      }
    }
  }
}

}  // namespace
