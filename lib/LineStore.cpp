#include "LineStore.h"

#include <algorithm>

namespace {
// Blocks grow from kFirstBlockSize to kBlockSize, so a small list does not cost a whole block.
// A full block fills one large page, its string's terminator included.
constexpr size_t kFirstBlockSize = size_t{1} << 12;
constexpr size_t kBlockSize = (size_t{2} << 20) - 1;
}  // namespace

std::string_view ByteArena::Adopt(std::string&& buffer) {
  // The view is taken after the move: a short string keeps its bytes inside the object, and
  // deque elements never move once placed.
  adopted_.push_back(std::move(buffer));
  const std::string& block = adopted_.back();
  return std::string_view(block.data(), block.size());
}

std::string_view ByteArena::Keep(std::string_view bytes) {
  // A view of nothing still points somewhere: callers may hand it to the C library.
  if (bytes.empty()) return std::string_view("", 0);
  if (blocks_.empty() || blocks_.back().capacity() - blocks_.back().size() < bytes.size()) {
    const size_t grown =
        blocks_.empty() ? kFirstBlockSize : std::min(kBlockSize, 2 * blocks_.back().capacity());
    blocks_.emplace_back();
    blocks_.back().reserve(std::max(grown, bytes.size()));
  }
  LargeString& block = blocks_.back();
  const size_t at = block.size();
  block.append(bytes.data(), bytes.size());  // within capacity: the block does not move
  return std::string_view(block.data() + at, bytes.size());
}

void LineStore::Clear() {
  lines_.clear();
  lines_.shrink_to_fit();
  bytes_.Clear();
  live_bytes_ = 0;
  dead_bytes_ = 0;
}

std::string_view LineStore::Adopt(std::string&& buffer) { return bytes_.Adopt(std::move(buffer)); }

void LineStore::Append(std::string_view bytes) {
  std::string_view stored = bytes_.Keep(bytes);
  lines_.push_back({stored.data(), stored.size()});
  live_bytes_ += bytes.size();
}

void LineStore::Insert(size_t index, std::string_view bytes) {
  std::string_view stored = bytes_.Keep(bytes);
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index),
                Entry{stored.data(), stored.size()});
  live_bytes_ += bytes.size();
}

void LineStore::Set(size_t index, std::string_view bytes) {
  std::string_view stored = bytes_.Keep(bytes);
  dead_bytes_ += lines_[index].size;
  live_bytes_ -= lines_[index].size;
  lines_[index] = {stored.data(), stored.size()};
  live_bytes_ += bytes.size();
  CompactIfWasteful();
}

void LineStore::Reorder(const std::vector<size_t>& order) {
  std::vector<Entry> reordered;
  reordered.reserve(order.size());
  size_t kept = 0;
  for (size_t i : order) {
    reordered.push_back(lines_[i]);
    kept += lines_[i].size;
  }
  dead_bytes_ += live_bytes_ - kept;
  live_bytes_ = kept;
  lines_.swap(reordered);
  CompactIfWasteful();
}

void LineStore::CompactIfWasteful() {
  if (dead_bytes_ < kBlockSize * 16 || dead_bytes_ < live_bytes_) return;
  std::string block;
  block.reserve(live_bytes_);
  for (const Entry& e : lines_) block.append(e.data, e.size);
  ByteArena bytes;
  const char* data = bytes.Adopt(std::move(block)).data();
  for (Entry& e : lines_) {
    e.data = data;
    data += e.size;
  }
  bytes_ = std::move(bytes);  // moving the arena moves no block
  dead_bytes_ = 0;
}
