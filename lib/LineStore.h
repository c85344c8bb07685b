// Compact storage for many lines: the bytes live in a few large blocks and each line costs
// one pointer and one length. A loaded file's buffer is adopted as a block as it is, so
// splitting a table into lines copies nothing. Replacing a line appends its new bytes; the old
// bytes are reclaimed by compaction once they outweigh the live ones.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "LargeVector.h"

/// Bytes copied into a few large blocks; the views it returns stay valid for its lifetime.
class ByteArena {
 public:
  /// A view of a copy of the bytes.
  std::string_view Keep(std::string_view bytes);
  /// Keeps a whole buffer as a block of its own; returns a view of its bytes.
  std::string_view Adopt(std::string&& buffer);
  void Clear() {
    blocks_.clear();
    adopted_.clear();
  }

 private:
  // Deques: blocks never move, so views stay valid. Blocks of copies are large strings (large
  // pages for a large arena); adopted buffers stay as they were handed over.
  std::deque<LargeString> blocks_;
  std::deque<std::string> adopted_;
};

class LineStore {
 public:
  LineStore() = default;
  LineStore(const LineStore&) = delete;
  LineStore& operator=(const LineStore&) = delete;
  LineStore(LineStore&&) = default;
  LineStore& operator=(LineStore&&) = default;

  size_t size() const { return lines_.size(); }
  bool empty() const { return lines_.empty(); }
  /// The line's bytes; valid until the store is next changed.
  std::string_view operator[](size_t i) const { return {lines_[i].data, lines_[i].size}; }

  void Clear();
  /// Keeps `buffer` as a block; views into it may then be added with AppendView().
  std::string_view Adopt(std::string&& buffer);
  /// Appends a line whose bytes already live in this store (a view from Adopt()).
  void AppendView(std::string_view bytes) {
    lines_.push_back({bytes.data(), bytes.size()});
    live_bytes_ += bytes.size();
  }
  /// Appends a copy of the bytes as a new line.
  void Append(std::string_view bytes);
  void Insert(size_t index, std::string_view bytes);
  void Set(size_t index, std::string_view bytes);
  void Swap(size_t a, size_t b) { std::swap(lines_[a], lines_[b]); }
  void Reserve(size_t lines) { lines_.reserve(lines); }
  /// Rearranges the lines: new line i is old line order[i]. `order` is a permutation or a
  /// selection (lines not named are dropped).
  void Reorder(const std::vector<size_t>& order);
  /// Sum of the line lengths.
  size_t ByteCount() const { return live_bytes_; }

 private:
  struct Entry {
    const char* data;
    size_t size;
  };
  void CompactIfWasteful();

  std::vector<Entry> lines_;
  ByteArena bytes_;
  size_t live_bytes_ = 0;
  size_t dead_bytes_ = 0;
};
