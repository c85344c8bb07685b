#include "RecordGather.h"

#include <algorithm>
#include <memory>

#include "Error.h"
#include "MyLib.h"
#include "TableReader.h"

namespace {

// Stretches of text at least this long are dropped or skipped rather than kept.
constexpr uint64_t kSkipAtLeast = uint64_t{4} << 20;

}  // namespace

size_t RecordGather::SortBuffer() const {
  // Per record: its start, its length, its place and its index in the order; and what the
  // reading and writing take besides the buffer.
  const uint64_t held = 32 * uint64_t{starts_.size()} + (uint64_t{24} << 20);
  const uint64_t half = text_length_ / 2;
  return static_cast<size_t>(std::max(uint64_t{8} << 20, half > held ? half - held : 0));
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

void RecordGather::Write(const std::string& path, const std::vector<size_t>& order, size_t budget,
                         const std::function<void(std::string_view)>& write_row) const {
  const size_t records = starts_.size();
  constexpr size_t kNone = static_cast<size_t>(-1);
  std::vector<size_t> place(records, kNone);
  for (size_t k = 0; k < order.size(); ++k) place[order[k]] = k;
  auto changed = [&path]() {
    return TessarinError("Cannot load file \"" + path + "\". It changed while it was read");
  };
  // Sized once for the largest share: growing it share by share could hold it twice.
  std::string buffer;
  {
    size_t largest = 0;
    size_t bytes = 0;
    for (size_t k = 0; k < order.size(); ++k) {
      const auto length = static_cast<size_t>(lengths_[order[k]]);
      if (bytes > 0 && bytes + length > budget) bytes = 0;
      bytes += length;
      largest = std::max(largest, bytes);
    }
    buffer.resize(largest);
  }
  std::vector<size_t> offsets;  // where each output record of the share starts in `buffer`
  std::string window;           // text read for the share, from `window_start` on
  std::string joined;
  for (size_t k0 = 0; k0 < order.size();) {
    // The share: as many output records as fit the budget, one at least.
    size_t k1 = k0;
    size_t bytes = 0;
    size_t lowest = order[k0];
    size_t highest = order[k0];
    offsets.clear();
    while (k1 < order.size() && (k1 == k0 || bytes + lengths_[order[k1]] <= budget)) {
      offsets.push_back(bytes);
      bytes += static_cast<size_t>(lengths_[order[k1]]);
      lowest = std::min(lowest, order[k1]);
      highest = std::max(highest, order[k1]);
      ++k1;
    }
    offsets.push_back(bytes);
    // Only the stretch of text from the share's first record to its last is read, and a long
    // stretch of records that belong to other shares is skipped where the text allows it.
    auto text = std::make_unique<TableText>(path);
    text->Seek(starts_[lowest]);
    uint64_t window_start = starts_[lowest];
    window.clear();
    bool ended = false;
    for (size_t r = lowest; r <= highest; ++r) {
      const size_t k = place[r];
      if (k == kNone || k < k0 || k >= k1) continue;
      const uint64_t start = starts_[r];
      const uint64_t end = r + 1 < records ? starts_[r + 1] : text_length_;
      const uint64_t window_end = window_start + window.size();
      if (start > window_end + kSkipAtLeast && text->Encoding() == 0) {
        text = std::make_unique<TableText>(path);
        text->Seek(start);
        window.clear();
        window_start = start;
        ended = false;
      }
      while (window_start + window.size() < end) {
        // Text before the record is not needed again; it goes once it outweighs the rest.
        const size_t before =
            static_cast<size_t>(std::min<uint64_t>(start - window_start, window.size()));
        if (before == window.size() || (before > kSkipAtLeast && before > window.size() / 2)) {
          window.erase(0, before);
          window_start += before;
        }
        if (ended || !text->Next(&window)) {
          ended = true;
          break;
        }
      }
      if (window_start + window.size() < end) throw changed();
      joined.clear();
      AppendJoinedLines(std::string_view(window).substr(static_cast<size_t>(start - window_start),
                                                        static_cast<size_t>(end - start)),
                        &joined);
      if (joined.size() != offsets[k - k0 + 1] - offsets[k - k0]) throw changed();
      std::copy(joined.begin(), joined.end(), buffer.begin() + static_cast<long>(offsets[k - k0]));
    }
    for (size_t k = k0; k < k1; ++k) {
      write_row(
          std::string_view(buffer).substr(offsets[k - k0], offsets[k - k0 + 1] - offsets[k - k0]));
    }
    k0 = k1;
  }
}
