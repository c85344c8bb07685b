#include "LineIndex.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// The entries a plain walk of text[from, size) gives: each line end's place, whether it is a
// CR LF, whether a mark or a byte below 32 (not CR, LF) stands in its line, and whether a NUL
// byte does.
std::vector<uint64_t> Reference(const std::string& text, size_t from) {
  std::vector<uint64_t> entries;
  bool marked = false, nul = false;
  for (size_t p = from; p < text.size(); ++p) {
    const char c = text[p];
    if (c != '\r' && c != '\n') {
      marked = marked || static_cast<unsigned char>(c) < 32 || c == '"' || c == '\\' || c == ',';
      nul = nul || c == '\0';
      continue;
    }
    const bool crlf = c == '\r' && p + 1 < text.size() && text[p + 1] == '\n';
    entries.push_back(uint64_t{p} << 3 | uint64_t{crlf} << 2 | uint64_t{marked} << 1 | nul);
    marked = nul = false;
    if (crlf) ++p;
  }
  return entries;
}

// Listed in calls of any size, and over a text read on in two parts, the entries are those of a
// plain walk, whatever the line ends, marks and NUL bytes and their places against the 64-byte
// blocks; what follows the last end is told apart too. With every line marked, only the marks
// differ.
TEST(LineLister, ListsTheEntriesOfAPlainWalk) {
  const byte_search::StopBytes marks({'"', '\\', ',', ','}, true);
  std::mt19937 rng(11);
  const std::string long_run(70, 'x');
  const char* const pieces[] = {"a", "bcdefghijklmnopqrstuvwxyz", "\r\n", "\r", "\n", "\"", "\\",
                                ",", "\t", "\x01", "\xc3\xa9", "\r\r\n\n", long_run.c_str()};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (size_t n = rng() % 40; n > 0; --n) text += pieces[rng() % std::size(pieces)];
    if (round % 5 == 0 && !text.empty()) text[rng() % text.size()] = '\0';
    const size_t from = text.empty() ? 0 : rng() % (text.size() + 1);
    const std::vector<uint64_t> expected = Reference(text, from);
    // Read on in two parts, never between a CR and its LF.
    size_t part = from + (text.size() > from ? rng() % (text.size() - from + 1) : 0);
    if (part > from && text[part - 1] == '\r') part = text.size();
    const bool mark_all = round % 7 == 0;
    std::string room = text + std::string(rng() % 80, '"');  // bytes past the text are not it
    LineLister lister(round % 3 == 0 ? 1 + rng() % 4 : LineLister::kMost);
    lister.StartAt(from);
    std::vector<uint64_t> got;
    bool listed = false;
    for (size_t end : {part, text.size()}) {
      while (lister.Scanned() < end) {
        const size_t n = lister.List(room.data(), end, round % 2 ? room.size() : end, marks, mark_all);
        got.insert(got.end(), lister.Entries(), lister.Entries() + n);
        listed = true;
      }
    }
    SCOPED_TRACE(testing::PrintToString(text) + " from " + std::to_string(from));
    ASSERT_EQ(got.size(), expected.size());
    for (size_t k = 0; k < got.size(); ++k) {
      EXPECT_EQ(got[k], expected[k] | (mark_all ? 2 : 0)) << k;
    }
    // After the last end: whether the rest holds a mark or a NUL byte.
    size_t rest = from;
    if (!got.empty()) rest = LineLister::EndOf(got.back()) + 1 + LineLister::IsPair(got.back());
    const std::vector<uint64_t> tail = Reference(text + "\n", rest);
    ASSERT_EQ(tail.size(), 1u);
    EXPECT_EQ(lister.MarkAhead(), (mark_all && listed) || LineLister::Marked(tail[0]));
    EXPECT_EQ(lister.NulAhead(), LineLister::HoldsNul(tail[0]));
  }
}

}  // namespace
