// Finding the lines of a text ahead, many in one pass: where each ends, whether it is a CR LF,
// and whether the line holds a byte that needs a second look or a NUL byte. A pass over 64
// bytes at a time costs less than a search per line, whose start-up cost is larger than a
// short line itself. The table's lines and the lines of the column files are both found here.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ByteSearch.h"

/// Lists the line ends of a text that is read on piece by piece: CR, LF, and CR LF as one end.
/// The list is bounded, so that a text of empty lines needs no list as long as itself; the
/// caller takes the entries, then lists again from where the listing stopped.
class LineLister {
 public:
  /// Entries listed at most by one call.
  static constexpr size_t kMost = size_t{1} << 14;

  /// An entry: a line end's place times 8, plus 4 when it is a CR LF, 2 when a mark stands in
  /// the line before it (or every line counts as marked) and 1 when a NUL byte does.
  static size_t EndOf(uint64_t entry) { return static_cast<size_t>(entry >> 3); }
  static bool IsPair(uint64_t entry) { return (entry & 4) != 0; }
  static bool Marked(uint64_t entry) { return (entry & 2) != 0; }
  static bool HoldsNul(uint64_t entry) { return (entry & 1) != 0; }
  /// Whether the entry is a CR alone that ends the text listed, `text_end`: an LF that the next
  /// piece begins with belongs to it (everywhere else the listing tells a CR LF itself).
  static bool OpensSplitPair(uint64_t entry, const char* text, size_t text_end) {
    const size_t end = EndOf(entry);
    return !IsPair(entry) && end + 1 == text_end && text[end] == '\r';
  }

  /// `most`: entries one call lists at most (fewer keep the list in the processor's nearest
  /// cache, for a caller that reads several texts side by side).
  explicit LineLister(size_t most = kMost) : most_(most) {}

  /// Lists the line ends of text[Scanned(), end), as many as one call takes, and returns how
  /// many Entries() now holds (the earlier ones are gone). `room`: the bytes at `text` that may
  /// be read (at least `end`; bytes past `end` are read, never listed). `test` (a OneByte or
  /// a StopBytes) says which bytes mark their line; with `mark_all` every line is marked. A CR
  /// that is the text's last byte is listed as a CR alone: its LF may come with the next piece.
  template <typename Test>
  size_t List(const char* text, size_t end, size_t room, const Test& test, bool mark_all = false);
  const uint64_t* Entries() const { return ends_.data(); }

  /// No line end stands in the text before this place but the ones listed.
  size_t Scanned() const { return scanned_; }
  /// Whether the text after the last end listed, up to Scanned(), holds a mark or a NUL byte.
  bool MarkAhead() const { return mark_ahead_; }
  bool NulAhead() const { return nul_ahead_; }
  /// True once a NUL byte stood in any text listed.
  bool NulSeen() const { return nul_seen_; }
  /// The listing goes on at `at` (the bytes before it are left alone), with nothing ahead.
  void StartAt(size_t at) {
    scanned_ = at;
    mark_ahead_ = nul_ahead_ = false;
  }
  /// The text moved `by` bytes toward its start (every entry listed has been taken).
  void Shift(size_t by) { scanned_ -= by; }

 private:
  size_t most_;
  std::vector<uint64_t> ends_;
  size_t scanned_ = 0;
  bool mark_ahead_ = false;
  bool nul_ahead_ = false;
  bool nul_seen_ = false;
};

template <typename Test>
size_t LineLister::List(const char* text, size_t end, size_t room, const Test& test, bool mark_all) {
  // No more entries than bytes: a short text takes a short list. The list only grows.
  const size_t most = std::min(most_, end - scanned_);
  if (ends_.size() < most) ends_.resize(most);
  uint64_t* const first = ends_.data();
  uint64_t* out = first;
  uint64_t* const last = first + most;
  size_t at = scanned_ & ~size_t{63};
  uint64_t from = ~uint64_t{0} << (scanned_ - at);
  uint64_t marks_before = mark_ahead_, nuls_before = nul_ahead_;
  const uint64_t all = mark_all ? 2 : 0;
  uint64_t cr_before = 0;  // the block before ends with a CR
  while (at < end) {
    byte_search::LineBlock bits;
    if (at + 64 <= room) {
      bits = byte_search::ScanLineBlock(text + at, test);
    } else {  // the room ends within the block
      char tail[64] = {};
      std::memcpy(tail, text + at, room - at);
      bits = byte_search::ScanLineBlock(tail, test);
    }
    uint64_t in_text = ~uint64_t{0};  // bytes past the text are no part of it
    bool lf_next = false;             // the block after this one begins with an LF
    if (at + 64 > end) {
      in_text = (uint64_t{1} << (end - at)) - 1;
    } else if (at + 64 < end) {
      lf_next = text[at + 64] == '\n';
    }
    // The line ends and the CR LF pairs come from the masks, without a look at any byte: an LF
    // right after a CR ends no line of its own, and that CR ends a CR LF.
    const uint64_t crs = bits.crs & in_text & from;
    const uint64_t lfs = bits.ends & ~bits.crs & in_text;
    const uint64_t pairs = crs & ((lfs >> 1) | (uint64_t{lf_next} << 63));
    uint64_t ends = (crs | (lfs & ~((crs << 1) | cr_before))) & from;
    cr_before = crs >> 63;
    uint64_t marks = bits.marks & in_text & from;
    uint64_t nuls = bits.nuls & in_text & from;
    nul_seen_ = nul_seen_ || nuls != 0;
    from = ~uint64_t{0};
    while (ends != 0) {
      const unsigned k = byte_search::LowestBit64(ends);
      ends &= ends - 1;
      // The marks and NUL bytes of the line: those before its end not taken by earlier lines.
      const uint64_t before = (uint64_t{1} << k) - 1;
      const uint64_t line_marks = marks & before, line_nuls = nuls & before;
      marks ^= line_marks;
      nuls ^= line_nuls;
      const uint64_t pair = (pairs >> k) & 1;
      *out++ = (uint64_t{at + k} << 3) | pair << 2 | uint64_t{(marks_before | line_marks) != 0} << 1 |
               all | uint64_t{(nuls_before | line_nuls) != 0};
      marks_before = nuls_before = 0;
      if (out == last) {  // the list is full: the next call starts right after this end
        scanned_ = at + k + 1 + pair;
        mark_ahead_ = mark_all;
        nul_ahead_ = false;
        return most;
      }
    }
    marks_before |= marks;
    nuls_before |= nuls;
    at += 64;
  }
  scanned_ = end;
  mark_ahead_ = marks_before != 0 || mark_all;
  nul_ahead_ = nuls_before != 0;
  return static_cast<size_t>(out - first);
}
