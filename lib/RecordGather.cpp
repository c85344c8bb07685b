#include "RecordGather.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "Error.h"
#include "MyLib.h"
#include "Platform.h"
#include "TableReader.h"

namespace {

// Stretches of text at least this long are skipped rather than read.
constexpr uint64_t kSkipAtLeast = uint64_t{4} << 20;

constexpr uint32_t kNoPlace = UINT32_MAX;

// Text already copied goes from the window once it is this long and outweighs the rest.
constexpr uint64_t kDropAtLeast = uint64_t{1} << 20;
// The window reads the text in pieces of at least this many bytes.
constexpr size_t kWindowPiece = size_t{1} << 20;

}  // namespace

void RecordGather::Add(uint64_t start, uint64_t joined_length) {
  starts_.push_back(start);
  if (joined_length < kLongRecord) {
    lengths_.push_back(static_cast<uint32_t>(joined_length));
  } else {
    lengths_.push_back(kLongRecord);
    long_lengths_.emplace_back(starts_.size() - 1, joined_length);
  }
}

uint64_t RecordGather::Length(size_t record) const {
  if (lengths_[record] != kLongRecord) return lengths_[record];
  return std::lower_bound(long_lengths_.begin(), long_lengths_.end(),
                          std::make_pair(record, uint64_t{0}))
      ->second;
}

size_t RecordGather::SortBuffer() const {
  // Per record: its start, its length, its index in the order and its place in the output;
  // per record of a share, where it goes in the buffer; and what the reading and writing take
  // besides the buffer. The buffer gets what is left of half the text.
  const auto records = static_cast<double>(starts_.size());
  const double held = 24 * records + static_cast<double>(uint64_t{24} << 20);
  const double half = static_cast<double>(text_length_) / 2;
  const double per_buffer_byte = 1 + 8 * records / std::max(1.0, static_cast<double>(text_length_));
  const double buffer = half > held ? (half - held) / per_buffer_byte : 0;
  return std::max(size_t{8} << 20, static_cast<size_t>(buffer));
}

void AppendJoinedLines(std::string_view raw, std::string* out) {
  const size_t n = raw.size();
  size_t p = 0;
  bool first = true;
  while (p < n) {
    const size_t end = FindLineEnd(raw, p);
    if (!first) out->append("\r\n", 2);
    out->append(raw.data() + p, end - p);
    first = false;
    if (end == n) break;
    p = end + 1;
    if (raw[end] == '\r' && p < n && raw[p] == '\n') ++p;
  }
}

void RecordGather::Write(const std::string& path, const LargeVector<size_t>& order, size_t budget,
                         const std::function<void(std::string_view)>& write_row,
                         bool drop_behind) const {
  const size_t records = starts_.size();
  // Each record's place in the output, in 32 bits: more records than that would not fit in
  // memory here anyway (the order alone would take 32 GiB).
  if (order.size() >= kNoPlace)
    throw TessarinError("Cannot sort \"" + path + "\": too many records");
  LargeVector<uint32_t> place(records, kNoPlace);
  for (size_t k = 0; k < order.size(); ++k) place[order[k]] = static_cast<uint32_t>(k);
  auto changed = [&path]() {
    return TessarinError("Cannot load file \"" + path + "\". It changed while it was read");
  };
  // Sized once for the largest share: growing it share by share could hold it twice. Every
  // byte is copied in before it is written out, so it is not cleared first.
  size_t buffer_size = 0;
  {
    size_t largest = 0;
    size_t bytes = 0;
    for (size_t k = 0; k < order.size(); ++k) {
      const auto length = static_cast<size_t>(Length(order[k]));
      if (bytes > 0 && bytes + length > budget) bytes = 0;
      bytes += length;
      largest = std::max(largest, bytes);
    }
    buffer_size = largest;
  }
  const size_t buffer_bytes = std::max<size_t>(buffer_size, 1);
  const auto release = [buffer_bytes](char* memory) { platform::FreeLarge(memory, buffer_bytes); };
  const std::unique_ptr<char, decltype(release)> buffer(
      static_cast<char*>(platform::AllocateLarge(buffer_bytes)), release);
  std::vector<size_t> offsets;  // where each output record of the share starts in `buffer`
  // Text read for the share, from `window_start` on: the first `window_length` bytes of
  // `window`, whose size is the room read into (grown, never cleared again).
  LargeVector<char> window;
  size_t window_length = 0;
  std::string joined;
  for (size_t k0 = 0; k0 < order.size();) {
    // The share: as many output records as fit the budget, one at least.
    size_t k1 = k0;
    size_t bytes = 0;
    size_t lowest = order[k0];
    size_t highest = order[k0];
    offsets.clear();
    while (k1 < order.size() && (k1 == k0 || bytes + Length(order[k1]) <= budget)) {
      offsets.push_back(bytes);
      bytes += static_cast<size_t>(Length(order[k1]));
      lowest = std::min(lowest, order[k1]);
      highest = std::max(highest, order[k1]);
      ++k1;
    }
    offsets.push_back(bytes);
    // The share's records are copied in the order they stand in the text, which is read once
    // from the first of them to the last; a long stretch of records that belong to other
    // shares is skipped where the text allows it.
    // The last share's reading is the file's last: its pages can go once read.
    const bool last_reading = drop_behind && k1 == order.size();
    auto open_at = [&path, last_reading](uint64_t offset) {
      auto text = std::make_unique<TableText>(path);
      if (last_reading) text->DropBehind();
      text->Seek(offset);
      return text;
    };
    auto text = open_at(starts_[lowest]);
    uint64_t window_start = starts_[lowest];
    window_length = 0;
    bool ended = false;
    for (size_t r = lowest; r <= highest; ++r) {
      if (place[r] == kNoPlace || place[r] < k0 || place[r] >= k1) continue;
      const size_t offset = offsets[place[r] - k0];
      const uint64_t start = starts_[r];
      const uint64_t end = r < ends_.size() && ends_[r] != kToNext ? ends_[r]
                           : r + 1 < records                       ? starts_[r + 1]
                                                                   : text_length_;
      const uint64_t window_end = window_start + window_length;
      if (start > window_end + kSkipAtLeast && text->Encoding() == 0) {
        text = open_at(start);
        window_length = 0;
        window_start = start;
        ended = false;
      }
      while (window_start + window_length < end) {
        // Text before the record is not needed again; it goes once it outweighs the rest.
        const size_t before =
            static_cast<size_t>(std::min<uint64_t>(start - window_start, window_length));
        if (before == window_length || (before > kDropAtLeast && before > window_length / 2)) {
          if (window_length > before) {
            std::memmove(window.data(), window.data() + before, window_length - before);
          }
          window_length -= before;
          window_start += before;
        }
        if (window.size() - window_length < kWindowPiece) {
          window.resize(std::max(2 * window.size(), window_length + kWindowPiece));
        }
        const size_t got = ended ? 0
                                 : text->Read(window.data() + window_length, window.size() - window_length);
        if (got == 0) {
          ended = true;
          break;
        }
        window_length += got;
      }
      if (window_start + window_length < end) throw changed();
      const std::string_view raw = std::string_view(window.data(), window_length).substr(
          static_cast<size_t>(start - window_start), static_cast<size_t>(end - start));
      const auto length = static_cast<size_t>(Length(r));
      if (raw.size() == length + 2 && raw[length] == '\r' && raw[length + 1] == '\n') {
        // Every line of the record ends with CR LF (no other line ends are that long), so its
        // lines joined are its bytes without the last break.
        std::memcpy(buffer.get() + offset, raw.data(), length);
        continue;
      }
      joined.clear();
      AppendJoinedLines(raw, &joined);
      if (joined.size() != length) throw changed();
      std::memcpy(buffer.get() + offset, joined.data(), joined.size());
    }
    for (size_t k = k0; k < k1; ++k) {
      write_row(
          std::string_view(buffer.get() + offsets[k - k0], offsets[k - k0 + 1] - offsets[k - k0]));
    }
    k0 = k1;
  }
}
