#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "ColumnFiles.h"
#include "Error.h"
#include "MyLib.h"
#include "ScratchFolder.h"
#include "StringListEX.h"

namespace {

using Lines = std::vector<std::string>;

class TextFileLinesTest : public ScratchFolder {
 protected:
  // With `test`, every line also tells whether it passes: a line called plain holds no byte
  // below 32 and no mark, and lines that pass are called so but for a few (those read across
  // two pieces).
  Lines Streamed(const std::string& name, size_t piece, const PlainLineTest* test = nullptr,
                 bool keep_open = false) const {
    TextFileLines file(At(name), piece, keep_open);
    Lines out;
    std::string_view line;
    long long passing = 0;
    long long called_plain = 0;
    while (!file.AtEnd()) {
      bool plain = false;
      EXPECT_TRUE(test ? file.Next(&line, *test, &plain) : file.Next(&line));
      out.emplace_back(line);
      if (!test) continue;
      const bool passes = std::none_of(line.begin(), line.end(), [](char c) {
        return static_cast<unsigned char>(c) < 32 || c == '\\' || c == '"' || c == ',';
      });
      passing += passes;
      called_plain += plain;
      EXPECT_TRUE(!plain || passes) << testing::PrintToString(std::string(line));
    }
    EXPECT_GE(called_plain * 10, passing * 9);
    EXPECT_FALSE(file.Next(&line));
    EXPECT_EQ(file.Taken(), static_cast<long long>(out.size()));
    return out;
  }
};

// Read in small pieces, a text file gives the lines a plain line list gives for its whole text,
// whatever line ends stand at the pieces' edges (a CR at the end of one piece and its LF at the
// start of the next are one line end); a UTF-8 mark in front is never part of the first line.
TEST_F(TextFileLinesTest, PiecesGiveTheLinesOfTheWholeText) {
  std::mt19937 rng(3);
  const char* const pieces[] = {"a", "\r\n", "\r", "\n", "xyz", "\xc3\xa9", " ",
                                "abcdefghijklmnopq", "\\", "\"", ",", "\t", "\x1f"};
  const PlainLineTest test("\\\",");
  for (int round = 0; round < 6; ++round) {
    std::string text;
    while (text.size() < 50000) text += pieces[rng() % std::size(pieces)];
    if (round % 2 == 1) text += "\n";
    WriteFile("t.txt", (round == 2 ? std::string(kMarkUtf8) : std::string()) + text);
    TStringList whole;
    whole.SplitText(text);
    Lines expected;
    for (long long i = 0; i < whole.LineCount(); ++i) expected.push_back(whole.GetLine(i));
    for (size_t piece : {size_t{4096}, size_t{4097}, size_t{1} << 20}) {
      EXPECT_EQ(Streamed("t.txt", piece), expected) << "round " << round << " piece " << piece;
      EXPECT_EQ(Streamed("t.txt", piece, &test), expected) << "round " << round;
      // Kept open from piece to piece, the file reads on where it was.
      EXPECT_EQ(Streamed("t.txt", piece, &test, true), expected) << "round " << round;
    }
  }
}

// A NUL byte far into the file is refused when the reading gets there, or at once when asked
// to look ahead; the rest of the lines, read for it, count for the note on unused lines.
TEST_F(TextFileLinesTest, NulAndLinesLeftOver) {
  const std::string filler(20000, 'x');
  WriteFile("holds_nul.txt", "a\r\n" + filler + "\r\n" + std::string(1, '\0') + "\r\n");
  {
    TextFileLines file(At("holds_nul.txt"), 4096);
    std::string_view line;
    ASSERT_TRUE(file.Next(&line));
    EXPECT_THROW(file.Next(&line), TessarinError);
  }
  EXPECT_THROW(TextFileLines(At("holds_nul.txt"), 4096).RefuseNulAhead(), TessarinError);

  WriteFile("t.txt", "a\r\nb\r\n" + filler + "\r\n\r\n");
  TextFileLines file(At("t.txt"), 4096);
  std::string_view line;
  ASSERT_TRUE(file.Next(&line));
  file.TakeRest();
  EXPECT_EQ(file.Taken(), 4);
  EXPECT_TRUE(file.AtEnd());
  EXPECT_EQ(file.BytesTaken(), file.Size());
}

}  // namespace
