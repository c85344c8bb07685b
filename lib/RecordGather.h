// Writing the records of a table text in another order than they stand, without holding the
// table: the text is read again once per share of the output, and each share's records are
// copied into a buffer of a fixed size at the places the new order gives them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "LargeVector.h"

class RecordGather {
 public:
  /// Notes the next record of the text, in the order they stand: where it starts in the
  /// decoded text and the length of its lines joined with CR LF.
  void Add(uint64_t start, uint64_t joined_length);
  /// Notes a record that does not reach to the next one noted: its text is [start, end). Such
  /// records too are noted in the order they stand in the text.
  void AddRange(uint64_t start, uint64_t end, uint64_t joined_length) {
    if (ends_.size() < starts_.size()) ends_.resize(starts_.size(), kToNext);
    Add(start, joined_length);
    ends_.push_back(end);
  }
  /// Room for this many records, so that noting them moves nothing.
  void Reserve(size_t records) {
    starts_.reserve(records);
    lengths_.reserve(records);
  }
  /// The length of the decoded text, so the last record knows where it ends.
  void SetTextLength(uint64_t length) { text_length_ = length; }
  size_t Count() const { return starts_.size(); }
  /// A buffer size for Write() with all the records in a new order that keeps the whole
  /// write, what this object and the order hold included, within half the text's length
  /// where the text is long enough for that.
  size_t SortBuffer() const;

  /// Hands each record named by `order` (indices of Add() calls, each at most once) to
  /// `write_row` in that order, as its lines joined with CR LF. Reads the table file at `path`
  /// again, as often as the output needs buffers of `budget` bytes (at least once).
  /// Throws "Cannot load file "<path>". It changed while it was read" when the text no longer
  /// holds the records noted. `drop_behind`: the file is about to be replaced by the rows
  /// written, so its last reading lets the system's cache of it go (TableText::DropBehind).
  void Write(const std::string& path, const LargeVector<size_t>& order, size_t budget,
             const std::function<void(std::string_view)>& write_row, bool drop_behind = false) const;

 private:
  uint64_t Length(size_t record) const;

  LargeVector<uint64_t> starts_;
  // Where records noted by AddRange() end; none (or kToNext) for a record that ends where the
  // next one starts.
  static constexpr uint64_t kToNext = UINT64_MAX;
  LargeVector<uint64_t> ends_;
  // Lengths in 32 bits; the rare longer record has kLongRecord here and its length aside.
  static constexpr uint32_t kLongRecord = UINT32_MAX;
  LargeVector<uint32_t> lengths_;
  std::vector<std::pair<size_t, uint64_t>> long_lengths_;  // (record, length), by record
  uint64_t text_length_ = 0;
};

/// Appends the lines of `raw` (ended by CR, LF or CR LF; the last one may have no break)
/// joined with CR LF, without a break after the last one.
void AppendJoinedLines(std::string_view raw, std::string* out);
