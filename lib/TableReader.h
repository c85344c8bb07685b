// Reading a table file as a stream: its text decoded piece by piece into reused buffers, split
// into physical lines, and the lines of multi-line quoted records joined, so that a mode holds
// one record at a time however large the table is. Also the quick first pass that finds what
// detection needs (the first line, the quote test) and refuses a text holding a NUL byte.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ByteSearch.h"
#include "LargeVector.h"
#include "LineIndex.h"

namespace platform {
class FileReader;
}

/// The text of a table file, decoded piece by piece: a UTF-16 mark (FF FE, FE FF) makes the
/// file's units UTF-8; a U+FEFF unit right after it, and a UTF-8 mark at the start of the text,
/// are dropped. Other bytes come as they are.
class TableText {
 public:
  /// Opens the file and reads its mark. Throws "Cannot open file "%s". %s".
  explicit TableText(const std::string& path);
  ~TableText();
  TableText(const TableText&) = delete;
  TableText& operator=(const TableText&) = delete;

  /// 0, or the UTF-16 encoding the mark names (the list's TextEncoding codes).
  uint32_t Encoding() const { return encoding_; }
  /// True when the file had a UTF-16 mark (saving writes it back).
  bool WriteBom() const { return encoding_ != 0; }
  /// The file's size in bytes (0 for what is not a regular file).
  uint64_t FileSize() const;
  /// The file is about to be replaced: what is read of it from now on leaves the system's
  /// cache behind the reading (FileReader::DropBehind).
  void DropBehind();
  /// True when an 8-bit text began with a UTF-8 mark (known after the first Next()).
  bool HadUtf8Mark() const { return utf8_mark_; }
  /// Appends the next piece of text to `out`; false (nothing appended) after the last one.
  /// Throws as FileReader::Read does.
  bool Next(std::string* out);
  /// Copies up to `size` bytes of the text that follows into `data`; 0 after the last byte.
  /// An 8-bit text past its start is read from the file straight into `data`. Use either this
  /// or Next() on one text, not both. Throws as Next() does.
  size_t Read(char* data, size_t size);
  /// Makes the text start at byte `offset` of the decoded text: the next piece begins there.
  /// Call before the first Next(). An 8-bit file is read on from there; a UTF-16 file is
  /// decoded up to there (its text offsets do not map to file offsets).
  void Seek(uint64_t offset);

 private:
  size_t ReadPiece();  // into buffer_
  size_t Fill();       // a piece appended to raw_

  std::unique_ptr<platform::FileReader> file_;
  uint32_t encoding_ = 0;
  bool big_endian_ = false;
  bool at_start_ = true;
  bool ended_ = false;
  bool utf8_mark_ = false;
  size_t piece_;       // bytes the next read asks for
  std::string raw_;    // file bytes not yet decoded (UTF-16: a unit or a lead surrogate carried)
  std::string carry_;  // decoded text that Seek() read past its offset, given out first
  LargeVector<char> buffer_;  // what the last read brought
  std::string pending_;  // text Read() took from Next() and has not handed out yet
  size_t pending_at_ = 0;
};

/// Where a LineSplitter's buffers come from, and go once read from, when the lines it hands out
/// must stay valid after it reads on (LineSplitter::KeepLines).
class LineBuffers {
 public:
  virtual ~LineBuffers() = default;
  /// A buffer of `size` bytes or more, to read into (what it holds does not matter).
  virtual LargeVector<char> Fresh(size_t size) = 0;
  /// The buffer the lines handed out so far stand in: the splitter reads on in a fresh one.
  virtual void Retire(LargeVector<char> buffer) = 0;
};

/// The physical lines of a text read piece by piece; CR, LF and CR LF end a line, a last line
/// without a break counts, and the empty text has no line.
class LineSplitter {
 public:
  explicit LineSplitter(TableText* text) : text_(text) {}
  /// From now on the text that follows is read into a buffer from `buffers`, instead of over
  /// the lines already handed out, which are left valid in the buffer retired to `buffers`.
  void KeepLines(LineBuffers* buffers) { buffers_ = buffers; }
  /// True when `p` points into the buffer the lines are given from now.
  bool InBuffer(const char* p) const {
    return p >= buffer_.data() && p < buffer_.data() + buffer_.size();
  }
  /// The buffer the last lines stand in, once Next() has returned false.
  LargeVector<char> ReleaseBuffer() { return std::move(buffer_); }
  /// The next line, valid until the next call; false after the last one.
  bool Next(std::string_view* line) {
    // The line comes back in registers: a caller that copies it whole right after the call
    // would otherwise wait for the two halves stored here to reach memory.
    const Line got = NextLine();
    if (got.data == nullptr) return false;
    *line = std::string_view(got.data, got.size);
    return true;
  }
  /// A line as NextLines() gives it, with what MarkSeen(), NulSeen() and LineStart() tell of it.
  struct LineView {
    const char* data;
    size_t size;
    uint64_t start;
    bool mark;
    bool nul;
  };
  /// Up to `room` (at least 1) of the next lines into `out`, as Next() gives them one at a time;
  /// 0 after the last one. They are valid until the next call, or, with KeepLines(), until their
  /// buffer is let go: the lines given by one call all stand in one buffer.
  size_t NextLines(LineView* out, size_t room);
  /// Makes the search for each line's end also look for `mark` (not CR, LF), as MarkSeen()
  /// tells: a line without it needs no second look.
  void WatchFor(char mark);
  /// With WatchFor(): false when the last line is known to hold no `mark`.
  bool MarkSeen() const { return mark_seen_; }
  /// True when the last line holds a NUL byte.
  bool NulSeen() const { return nul_seen_; }
  /// Where the line Next() gave last starts in the text, counted in bytes from its start.
  uint64_t LineStart() const { return line_start_; }
  /// How far into the text the lines given so far reach: the text's length once Next() has
  /// returned false.
  uint64_t Offset() const { return base_ + pos_; }

 private:
  struct Line {
    const char* data;  // nullptr: there is no line left
    size_t size;
  };
  Line NextLine();
  void Refill();  // the unfinished line to the front of the buffer, and text read in behind it
  TableText* text_;
  LineBuffers* buffers_ = nullptr;
  uint64_t base_ = 0;  // offset in the text of buffer_[0]
  uint64_t line_start_ = 0;
  LargeVector<char> buffer_;  // its size is the room read into; text stands in [0, end_)
  size_t end_ = 0;
  uint64_t read_ = 0;  // bytes of text read so far
  size_t pos_ = 0;
  bool skip_lf_ = false;  // the last line ended with CR: an LF right after it belongs to it
  bool ended_ = false;
  // The line ends of the text read are found ahead, many at a time in one tight pass, and the
  // lines handed out from that list: a line costs a step through it, not a search.
  LineLister lister_;
  size_t listed_ = 0;    // entries of the lister in use
  size_t next_end_ = 0;  // the entry for the next line
  bool watching_ = false;
  byte_search::OneByte mark_test_{0};
  bool mark_seen_ = true;
  bool nul_seen_ = false;
};

/// The lines of a LineSplitter taken from it many at a time (NextLines), and given one at a
/// time as LineSplitter gives them: the same lines, at less cost each. A line is valid as long
/// as one the splitter gives.
class BulkLines {
 public:
  explicit BulkLines(LineSplitter* lines) : lines_(lines) {}
  bool Next(std::string_view* line) {
    if (next_ == count_) {
      count_ = lines_->NextLines(views_, kRoom);
      next_ = 0;
      if (count_ == 0) return false;
    }
    const LineSplitter::LineView& view = views_[next_++];
    *line = std::string_view(view.data, view.size);
    return true;
  }
  bool MarkSeen() const { return views_[next_ - 1].mark; }
  bool NulSeen() const { return views_[next_ - 1].nul; }
  uint64_t LineStart() const { return views_[next_ - 1].start; }
  void WatchFor(char mark) { lines_->WatchFor(mark); }

 private:
  static constexpr size_t kRoom = 64;
  LineSplitter* lines_;
  LineSplitter::LineView views_[kRoom];
  size_t next_ = 0;
  size_t count_ = 0;
};

/// The scan that tells whether a line leaves a quoted field open, as the table list's
/// AssembleRecords does.
struct RecordScan {
  /// Whether the line leaves a quoted field open (`open` carries the state from line to line).
  static bool ScanLine(std::string_view line, char delimiter, char quote, bool* open);
};

/// Joins the lines of a record whose quoted field is open at a line's end, with `token` where
/// the breaks were, as the table list's AssembleRecords does. A record still open after the
/// last line is the last record. A quote mark 0 joins nothing. `Lines` gives the lines as
/// LineSplitter does (Next, MarkSeen, NulSeen, LineStart, WatchFor).
template <typename Lines>
class BasicRecordAssembler : public RecordScan {
 public:
  BasicRecordAssembler(Lines* lines, char delimiter, char quote, std::string token)
      : lines_(lines), delimiter_(delimiter), quote_(quote), token_(std::move(token)) {
    if (quote != 0) lines->WatchFor(quote);
  }
  /// The next record, valid until the next call; false after the last one.
  bool Next(std::string_view* record);
  /// Where the record Next() gave last starts in the text (the start of its first line).
  uint64_t RecordStart() const { return record_start_; }
  /// True when the record Next() gave last holds a NUL byte.
  bool NulSeen() const { return nul_seen_; }

 private:
  Lines* lines_;
  char delimiter_;
  char quote_;
  std::string token_;
  std::string gathered_;
  bool open_ = false;
  uint64_t record_start_ = 0;
  bool nul_seen_ = false;
};

using RecordAssembler = BasicRecordAssembler<LineSplitter>;

template <typename Lines>
inline bool BasicRecordAssembler<Lines>::Next(std::string_view* record) {
  bool pending = false;
  std::string_view line;
  nul_seen_ = false;
  while (lines_->Next(&line)) {
    nul_seen_ = nul_seen_ || lines_->NulSeen();
    // A line without a quote mark leaves the state as it found it.
    const bool open =
        !open_ && !lines_->MarkSeen() ? false : ScanLine(line, delimiter_, quote_, &open_);
    if (!pending) record_start_ = lines_->LineStart();
    if (!pending && !open) {  // a record on its own line comes as it is
      *record = line;
      return true;
    }
    if (pending) {
      gathered_.append(token_);
    } else {
      gathered_.clear();
    }
    gathered_.append(line);
    pending = open;
    if (!pending) {
      *record = gathered_;
      return true;
    }
  }
  if (!pending) return false;
  *record = gathered_;  // a record still open after the last line keeps everything gathered
  return true;
}

/// What the first pass over a table finds.
struct TableProbe {
  bool has_lines = false;  ///< false: the text is empty (no line at all)
  std::string first_line;  ///< line 0 as loading splits it
  uint32_t encoding = 0;   ///< as TableText::Encoding()
  bool write_bom = false;
  bool utf8_mark = false;    ///< as TableText::HadUtf8Mark()
  uint64_t text_length = 0;  ///< bytes of the decoded text (about as many, when not complete)
  bool complete = true;      ///< the whole text was read (and so checked for a NUL byte)
  /// Whether a line begins with the quote mark asked for, or the chosen delimiter stands right
  /// before one (the delimiter is chosen from the first line by `delimiter_of`).
  bool quote_after_delimiter = false;
};

/// Reads the whole table once. `delimiter_for` gives the delimiter of the quote test from the
/// first line; `quote` is the quote mark it looks for (0: the test is false). Throws "Cannot
/// load file "<path>". It holds a NUL byte: it is not a text table" for a text with a NUL, and
/// as TableText does. Unless `whole`, the pass stops as soon as the first line and the quote
/// test are settled (the result is not `complete`): the caller must then refuse a NUL byte in
/// the rest itself.
TableProbe ProbeTableFile(const std::string& path, char quote,
                          const std::function<char(std::string_view)>& delimiter_for,
                          bool whole = true);
