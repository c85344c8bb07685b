#include "LineStore.h"

#include <algorithm>

namespace {
constexpr size_t kBlockSize = size_t{1} << 20;
}

void LineStore::Clear() {
  lines_.clear();
  lines_.shrink_to_fit();
  blocks_.clear();
  live_bytes_ = 0;
  dead_bytes_ = 0;
}

std::string_view LineStore::Adopt(std::string&& buffer) {
  // The view is taken after the move: a short string keeps its bytes inside the object, and
  // deque elements never move once placed.
  blocks_.push_back(std::move(buffer));
  const std::string& block = blocks_.back();
  return std::string_view(block.data(), block.size());
}

std::string_view LineStore::Copy(std::string_view bytes) {
  if (bytes.empty()) return std::string_view();
  if (blocks_.empty() || blocks_.back().capacity() - blocks_.back().size() < bytes.size()) {
    blocks_.emplace_back();
    blocks_.back().reserve(std::max(kBlockSize, bytes.size()));
  }
  std::string& block = blocks_.back();
  size_t at = block.size();
  block.append(bytes.data(), bytes.size());  // within capacity: the block does not move
  return std::string_view(block.data() + at, bytes.size());
}

void LineStore::Append(std::string_view bytes) {
  std::string_view stored = Copy(bytes);
  lines_.push_back({stored.data(), stored.size()});
  live_bytes_ += bytes.size();
}

void LineStore::Insert(size_t index, std::string_view bytes) {
  std::string_view stored = Copy(bytes);
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index),
                Entry{stored.data(), stored.size()});
  live_bytes_ += bytes.size();
}

void LineStore::Set(size_t index, std::string_view bytes) {
  std::string_view stored = Copy(bytes);
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
  std::deque<std::string> blocks(1);
  std::string& block = blocks.back();
  block.reserve(live_bytes_);
  for (const Entry& e : lines_) block.append(e.data, e.size);
  std::vector<Entry> lines;
  lines.reserve(lines_.size());
  size_t at = 0;
  for (const Entry& e : lines_) {
    lines.push_back({block.data() + at, e.size});
    at += e.size;
  }
  blocks_.swap(blocks);  // swapping deques moves no element
  lines_.swap(lines);
  dead_bytes_ = 0;
}
