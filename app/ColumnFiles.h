// The text files of the modes: their names, and reading them back.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "ByteSearch.h"
#include "LargeVector.h"
#include "LineIndex.h"
#include "MyLib.h"
#include "Platform.h"
#include "Settings.h"
#include "StringListEX.h"

/// Folder + NameFiles + "_" + column + ".txt".
std::string NumberedFileName(const RunSettings& settings, long long column);

/// The file of each of `columns` columns. Numbered names, or with NamesFromFirstLine the
/// column's value in row 0 (escaped as its lines are) + ".txt" inside Folder. A name that is
/// empty, "." or "..", longer than 200 bytes, holds a byte that no file name may hold, repeats
/// an earlier column's name or looks like a numbered name falls back to the numbered name, so
/// no two columns share a file, every name can be created, and nothing is written outside Folder.
std::vector<std::string> ColumnFileNames(const RunSettings& settings, const TStringListCSVEX& table,
                                         long long columns);

/// ColumnFileNames one column at a time, for a caller that learns the number of columns as it
/// goes: the header is split once, and each name is made once.
class ColumnFileNamer {
 public:
  /// Keeps `settings`, which must outlive the namer; copies what it needs of the table's row 0.
  ColumnFileNamer(const RunSettings& settings, const TStringListCSVEX& table);
  /// The file of the column (counted from 0), as ColumnFileNames gives it.
  const std::string& Name(long long column);

 private:
  const RunSettings& settings_;
  std::string folded_base_;
  std::vector<std::string> header_;  // row 0's values, when the names come from it
  std::vector<std::string> names_;
  std::unordered_set<std::string> taken_;  // folded names already given to a column
};

/// The bytes that keep a line of a text file from being a value as it stands: every byte below
/// 32, and up to four more (a token's first byte, the quote mark, the delimiter...).
class PlainLineTest {
 public:
  /// A test that no line passes (for a code page with double-byte characters, whose second
  /// bytes may look like any of them).
  PlainLineTest() = default;
  /// `marks`: one to four bytes.
  explicit PlainLineTest(std::string_view marks);
  bool Enabled() const { return marks_.has_value(); }
  const byte_search::StopBytes& Marks() const { return *marks_; }

 private:
  std::optional<byte_search::StopBytes> marks_;
};

/// The test of a line of a column or text file that goes into a row of `table` (a table list
/// with its format applied) as it stands: a line without a token's first byte (in `style`),
/// the quote mark, the delimiter or a byte below 32 is its own value and needs no quoting.
/// With double-byte characters any of them may be a second byte: there no line passes.
PlainLineTest PlainTestForRows(const TStringListCSVEX& table, uint8_t style);

/// The lines of a text file, read one after the other in pieces (a column file of a large table
/// costs no more than the piece it is read in). Lines end at CR, LF or CR LF; a UTF-8
/// byte-order mark at the start is dropped, and a file holding a NUL byte is refused. The path
/// "-" reads standard input (whole: it cannot be read again). Unless kept open, the file is
/// open only while a piece is read, so a table of many columns never runs out of open files.
class TextFileLines {
 public:
  /// Bytes in memory after any line given out that may be read (not used) by a copy in
  /// whole words.
  static constexpr size_t kReadableAfter = 16;

  /// Reads the first piece. `piece`: how many bytes each read takes. `keep_open`: the file
  /// stays open from one piece to the next (until its end), sparing the calls that open it.
  explicit TextFileLines(const std::string& path, size_t piece = size_t{1} << 20,
                         bool keep_open = false);
  /// The file's name for messages: its path, or "standard input".
  const std::string& Name() const { return name_; }
  /// Bytes of the file given out as lines so far (line ends included), for progress.
  uint64_t BytesTaken() const { return base_ + pos_; }
  /// The file's size (for standard input: its bytes).
  uint64_t Size() const { return size_; }
  /// Reads the whole file once ahead, only to refuse it now when it holds a NUL byte.
  void RefuseNulAhead() const;
  /// Reads the lines not taken yet, so that a NUL byte among them is refused now, and notes
  /// whether any of them holds text. ReportUnusedLines() then reads nothing more.
  void TakeRest();
  /// When the lines not taken hold any text, says on standard error how many lines the file
  /// has and that those after the first `used` are not used. Empty lines left over (an
  /// editor's final line break) say nothing. Takes the remaining lines.
  void ReportUnusedLines(long long used);
  /// The next line, valid until the next call; false after the last one.
  bool Next(std::string_view* line);
  /// Next(), and whether the line passes `test`: it holds no byte below 32 and none of its
  /// marks (always false when the test is not enabled, and for a last line without a break).
  /// The lines are found many at a time; use one test for all the calls.
  bool Next(std::string_view* line, const PlainLineTest& test, bool* plain) {
    if (next_ == listed_) return NextListed(line, &test, plain);
    TakeListed(line, plain);
    return true;
  }
  /// True when Next() has no line left to give.
  bool AtEnd();
  /// How many lines Next() has given so far.
  long long Taken() const { return taken_; }

 private:
  /// Appends the next piece of the file to the text; false at its end.
  bool Fill();
  /// Drops the text of the lines given so far.
  void DropTaken();
  /// Next(line, test, plain) with `test` or without (nullptr: every line is marked), when the
  /// lines listed are all taken: lists the next ones, reading on as needed.
  bool NextListed(std::string_view* line, const PlainLineTest* test, bool* plain);
  /// Takes the next line listed (there is one).
  void TakeListed(std::string_view* line, bool* plain) {
    const uint64_t entry = lister_.Entries()[next_++];
    const size_t end = LineLister::EndOf(entry);
    *line = std::string_view(bytes_.data() + pos_, end - pos_);
    *plain = !LineLister::Marked(entry);
    pos_ = end + (LineLister::IsPair(entry) ? 2 : 1);
    skip_lf_ = LineLister::OpensSplitPair(entry, bytes_.data(), end_);
    ++taken_;
  }
  /// Passes the LF of a CR LF split by a read, once the text after the CR is read.
  void PassSplitLf();
  std::string name_;
  std::string path_;  // the file read; empty for standard input
  size_t piece_;
  bool keep_open_;
  std::unique_ptr<platform::FileReader> open_;  // kept open between pieces
  uint64_t read_ = 0;  // bytes of the file read so far
  uint64_t size_ = 0;
  bool ended_ = false;
  LargeVector<char> bytes_;  // the text read and not yet dropped: its first end_ bytes
  size_t end_ = 0;
  uint64_t base_ = 0;  // bytes dropped before bytes_[0]
  size_t pos_ = 0;
  bool skip_lf_ = false;  // the last line ended with CR: an LF right after it belongs to it
  long long taken_ = 0;
  // Line ends found ahead, from pos_ on: entries [next_, listed_) of the lister. A thousand
  // at a time, so that the lists of the files read side by side stay in the nearest cache.
  LineLister lister_{1024};
  size_t listed_ = 0;
  size_t next_ = 0;
  bool rest_taken_ = false;
  bool unused_text_ = false;
};

/// Counts the values whose line in a text file would not read back as the value itself (the
/// text holds something that unescaping decodes, such as "\t" as two characters), and reports
/// them once on standard error: how many, and the first one in reading order.
class UnreadableValues {
 public:
  /// `join_token`: the text that stands where a record's lines were joined, when values keep
  /// tokens as text ("-qopt"); empty otherwise. It reads back as the line break it was.
  UnreadableValues(uint8_t style, std::string join_token)
      : style_(style), join_token_(std::move(join_token)) {}
  /// Checks the value written for row r, column c (counted from 0). `first_line`: the value
  /// is the first line of its text file, where a leading EF BB BF reads back as an editor's
  /// byte-order mark and is dropped.
  void Check(std::string_view value, long long r, long long c, bool first_line = false) {
    if (first_line && value.substr(0, 3) == "\xEF\xBB\xBF") {
      sure_.Add(r, c);
      return;
    }
    if (HasEscapeTokens(value, style_, true)) Count(value, r, c);
  }
  /// The one line, when any value was counted. Values that fail only for their join tokens
  /// count when `join_token_in_text()` says the table's own text holds that token as well (then
  /// no join can be told from text); it is asked only then.
  void Report(const std::function<bool()>& join_token_in_text) const;

 private:
  struct Tally {
    long long count = 0, row = 0, column = 0;
    void Add(long long r, long long c);
    void Add(const Tally& other);
  };
  void Count(std::string_view value, long long r, long long c);
  uint8_t style_;
  std::string join_token_;
  Tally sure_;    // values that do not read back whatever their join tokens stand for
  Tally joined_;  // values that read back when their join tokens are the joined line breaks
};

/// The widest row of the table: the largest field count of any row.
long long WidestRow(const TStringListCSVEX& table);

/// Looks the column name up in row 0 (exact bytes). Throws "Not find colom: " + name (on
/// standard output, exit code 1) when no field matches.
int32_t FindColumnByName(const TStringListCSVEX& table, const std::string& name);
