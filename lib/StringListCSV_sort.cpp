// Comparing, searching and sorting rows by the value of a column.
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "CompareString.h"
#include "Error.h"
#include "LargeVector.h"
#include "Platform.h"
#include "RecordKeys.h"
#include "StringListEX.h"

namespace {

// A key and the row or record it belongs to. A short key is held in the entry itself, so the
// partition scans read nothing but the entries, in order, instead of reaching into the lines
// for every comparison; a longer one is a view of bytes that outlive the sort.
class SortEntry {
 public:
  SortEntry() : ptr_(nullptr) {}
  SortEntry(std::string_view key, size_t unit) : unit_(unit), size_(key.size()) {
    if (size_ > sizeof bytes_) {
      ptr_ = key.data();
    } else if (size_ > 0) {
      std::memcpy(bytes_, key.data(), size_);
    }
  }
  bool Inline() const { return size_ <= sizeof bytes_; }
  std::string_view Key() const { return {Inline() ? bytes_ : ptr_, size_}; }
  size_t Unit() const { return unit_; }

 private:
  size_t unit_ = 0;
  size_t size_ = 0;
  union {
    const char* ptr_;
    char bytes_[16];
  };
};

// The deepest nesting level at which a segment of n entries is still partitioned: 2*floor(log2
// n)+4. Tables that are not close to the partition's worst case never get that deep.
int DeepestPartitionLevel(size_t n) {
  int log2 = 0;
  while (n > 1) {
    n >>= 1;
    ++log2;
  }
  return 2 * log2 + 4;
}

// Sorts n entries stably by key: of two equal keys the one that stood first stays first. Reads
// only inside the range, whatever the comparison answers.
template <typename Compare>
void MergeSort(SortEntry* first, size_t n, Compare compare, LargeVector<SortEntry>* buffer) {
  buffer->resize(n);
  SortEntry* from = first;
  SortEntry* to = buffer->data();
  for (size_t width = 1; width < n; width *= 2) {
    for (size_t low = 0; low < n; low += 2 * width) {
      const size_t middle = std::min(low + width, n);
      const size_t high = std::min(low + 2 * width, n);
      size_t a = low;
      size_t b = middle;
      size_t k = low;
      while (a < middle && b < high) {
        to[k++] = compare(from[b].Key(), from[a].Key()) < 0 ? from[b++] : from[a++];
      }
      while (a < middle) to[k++] = from[a++];
      while (b < high) to[k++] = from[b++];
    }
    std::swap(from, to);
  }
  if (from != first) std::copy(from, from + n, first);
}

// One partition step over [left, right]: the entries up to *j are at most the pivot, those
// from *i on at least.
template <typename Compare>
void Partition(LargeVector<SortEntry>* entries, long long left, long long right, Compare compare,
               long long* i_out, long long* j_out) {
  LargeVector<SortEntry>& e = *entries;
  long long i = left;
  long long j = right;
  // The pivot entry moves with the exchanges, but its key is the same wherever it stands.
  const SortEntry pivot_entry = e[static_cast<size_t>((left + right) / 2)];
  const std::string_view pivot = pivot_entry.Key();
  do {
    while (compare(e[static_cast<size_t>(i)].Key(), pivot) < 0) ++i;
    while (compare(e[static_cast<size_t>(j)].Key(), pivot) > 0) --j;
    if (i <= j) {
      std::swap(e[static_cast<size_t>(i)], e[static_cast<size_t>(j)]);
      ++i;
      --j;
    }
  } while (i <= j);
  *i_out = i;
  *j_out = j;
}

// Sorts the segment [left, right], which stands at nesting level `level`, and all it splits into.
template <typename Compare>
void SortSegment(LargeVector<SortEntry>* entries, long long left, long long right, int level,
                 int deepest, Compare compare) {
  struct Segment {
    long long left;
    long long right;
    int level;
  };
  LargeVector<SortEntry> buffer;
  std::vector<Segment> parts;
  parts.push_back({left, right, level});
  while (!parts.empty()) {
    const Segment part = parts.back();
    parts.pop_back();
    if (part.left >= part.right) continue;
    if (part.level > deepest) {
      MergeSort(entries->data() + part.left, static_cast<size_t>(part.right - part.left + 1),
                compare, &buffer);
      continue;
    }
    long long i = 0;
    long long j = 0;
    Partition(entries, part.left, part.right, compare, &i, &j);
    if (j - part.left > part.right - i) {
      parts.push_back({part.left, j, part.level + 1});
      parts.push_back({i, part.right, part.level + 1});
    } else {
      parts.push_back({i, part.right, part.level + 1});
      parts.push_back({part.left, j, part.level + 1});
    }
  }
}

// Entries from which the two parts of the first partition are sorted at the same time.
constexpr size_t kSortTogetherFrom = size_t{1} << 16;

// Sorts the entries by key with the partition steps the table's sort has always taken: the
// middle entry's key is the pivot, both scans stop at keys equal to it, and such entries are
// exchanged too. The sort is therefore not stable, and the order it leaves equal keys in is
// part of what users' files rely on; it must not change.
//
// On keys that rise and then fall the middle key splits off only a few entries per step, which
// makes those steps quadratic. A segment nested deeper than DeepestPartitionLevel is therefore
// merge-sorted instead, stably, so equal keys keep the order they have in it at that moment.
// Tables whose partitions stay shallower get exactly the partition order.
//
// The two parts a partition leaves never overlap, so the order in which they are sorted does
// not change the result. The larger part waits on a stack while the smaller is sorted, which
// keeps the stack logarithmic whatever the keys are.
template <typename Compare>
void PartitionSort(LargeVector<SortEntry>* entries, Compare compare) {
  const long long last = static_cast<long long>(entries->size()) - 1;
  const int deepest = DeepestPartitionLevel(entries->size());
  if (entries->size() < kSortTogetherFrom) {
    SortSegment(entries, 0, last, 0, deepest, compare);
    return;
  }
  // The two parts share no entry, so sorting them side by side changes nothing in the result.
  long long i = 0;
  long long j = 0;
  Partition(entries, 0, last, compare, &i, &j);
  platform::RunTogether([&] { SortSegment(entries, 0, j, 1, deepest, compare); },
                        [&] { SortSegment(entries, i, last, 1, deepest, compare); });
}

// The entry of the row or record made of lines [first, end). A rebuilt key too long to be held
// in the entry is kept in `arena`. With `prepared`, the key is held in the form whose byte
// order is the case-sensitive natural order (compared with CompareKeyBytes).
SortEntry ReadEntry(const RecordKeyReader& reader, size_t first, size_t end, size_t unit,
                    KeyArena* arena, std::string* scratch, std::string* prepared) {
  std::string_view key;
  bool in_line = reader.Read(first, end, &key, scratch);
  if (prepared != nullptr) {
    prepared->clear();
    AppendNaturalKey(key, prepared);
    key = *prepared;
    in_line = false;
  }
  const SortEntry entry(key, unit);
  return in_line || entry.Inline() ? entry : SortEntry(arena->Keep(key), unit);
}

// Sorts entries read with `prepared` (match case) or without, each with its comparison.
void SortEntries(LargeVector<SortEntry>* entries, bool match_case) {
  if (match_case) {
    // Prepared keys: the comparison is inline, so the partition loops make no calls.
    PartitionSort(entries,
                  [](std::string_view a, std::string_view b) { return CompareKeyBytes(a, b); });
  } else {
    PartitionSort(entries, NaturalCompareText);
  }
}

}  // namespace

int TStringListCSVEX::CompareValues(std::string_view a, std::string_view b) const {
  return MatchCase ? NaturalCompareStr(a, b) : NaturalCompareText(a, b);
}

bool TStringListCSVEX::FindInColumn(std::string_view value, long long column,
                                    long long* index) const {
  if (column < 0) throw IndexError(column);
  return SearchSorted(
      [&](long long i) {
        return CompareValues(GetField(lines_[static_cast<size_t>(i)], column), value);
      },
      index);
}

long long TStringListCSVEX::ScanColumn(std::string_view value, long long column,
                                       long long first) const {
  if (column < 0) throw IndexError(column);
  const long long count = LineCount();
  if (first >= count) return -1;
  CheckIndex(first);
  for (long long i = first; i < count; ++i) {
    if (CompareValues(GetField(lines_[static_cast<size_t>(i)], column), value) == 0) return i;
  }
  return -1;
}

long long TStringListCSVEX::IndexOfValue(std::string_view value, long long column) const {
  if (!SortedByColumn) return ScanColumn(value, column, 0);
  long long index = 0;
  return FindInColumn(value, column, &index) ? index : -1;
}

long long TStringListCSVEX::AddLine(std::string_view text) {
  if (!SortedByColumn) return TStringListEX::AddLine(text);
  // A sorted table takes new rows at their place by the first column, whichever column it was
  // sorted by.
  long long index = 0;
  if (FindInColumn(GetField(text, 0), 0, &index) && DuplicateRule != DuplicatesAccept) return -1;
  lines_.Insert(static_cast<size_t>(index), text);
  for (size_t& row : empty_first_field_rows_) row += (row >= static_cast<size_t>(index));
  return index;
}

void TStringListCSVEX::SortByColumn(long long column, bool keep_header) {
  if (column < 0) throw IndexError(column);
  if (SortedByColumn || LineCount() < 2) {
    SortedByColumn = true;
    return;
  }
  // A quoted field may span lines; such a record moves as one unit, keyed by its whole text.
  const std::vector<size_t> starts = RecordStarts();
  const size_t records = starts.size();
  auto end_of = [&](size_t r) { return r + 1 < records ? starts[r + 1] : lines_.size(); };
  const RecordKeyReader reader(*this, column);
  KeyArena arena;
  std::string scratch;
  std::string prepared;
  LargeVector<SortEntry> entries;
  entries.reserve(records);
  const size_t first = keep_header ? 1 : 0;
  for (size_t r = first; r < records; ++r) {
    entries.push_back(ReadEntry(reader, starts[r], end_of(r), r, &arena, &scratch,
                                MatchCase ? &prepared : nullptr));
  }
  SortEntries(&entries, MatchCase);
  std::vector<size_t> order;
  order.reserve(lines_.size());
  for (size_t line = 0; first > 0 && line < end_of(0); ++line) order.push_back(line);
  for (const SortEntry& entry : entries) {
    for (size_t line = starts[entry.Unit()]; line < end_of(entry.Unit()); ++line) {
      order.push_back(line);
    }
  }
  ApplyRowOrder(order);
  SortedByColumn = true;
}

void TStringListCSVEX::QuickSortRows(long long left, long long right, long long column) {
  if (column < 0) throw IndexError(column);
  if (left >= right) return;
  CheckIndex(left);
  CheckIndex(right);
  const RecordKeyReader reader(*this, column);
  KeyArena arena;
  std::string scratch;
  std::string prepared;
  LargeVector<SortEntry> entries;
  entries.reserve(static_cast<size_t>(right - left + 1));
  for (auto line = static_cast<size_t>(left); line <= static_cast<size_t>(right); ++line) {
    entries.push_back(
        ReadEntry(reader, line, line + 1, line, &arena, &scratch, MatchCase ? &prepared : nullptr));
  }
  SortEntries(&entries, MatchCase);
  std::vector<size_t> order(lines_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  for (size_t k = 0; k < entries.size(); ++k) {
    order[static_cast<size_t>(left) + k] = entries[k].Unit();
  }
  ApplyRowOrder(order);
}

void TStringListCSVEX::ApplyRowOrder(const std::vector<size_t>& order) {
  if (!empty_first_field_rows_.empty()) {
    // Rows still waiting for the delimiter of their unwritten first field keep waiting at their
    // new places; rows dropped take their wait with them.
    std::vector<bool> waiting(lines_.size(), false);
    for (size_t row : empty_first_field_rows_) waiting[row] = true;
    empty_first_field_rows_.clear();
    for (size_t i = 0; i < order.size(); ++i) {
      if (waiting[order[i]]) empty_first_field_rows_.push_back(i);
    }
  }
  lines_.Reorder(order);
}

struct RecordKeySorter::Impl {
  bool match_case;
  LargeVector<SortEntry> entries;
  KeyArena arena;
  std::string scratch;
};

RecordKeySorter::RecordKeySorter(bool match_case) : impl_(std::make_unique<Impl>()) {
  impl_->match_case = match_case;
}

RecordKeySorter::~RecordKeySorter() = default;

void RecordKeySorter::Add(std::string_view key) {
  Impl& impl = *impl_;
  // Case-sensitive keys are prepared once, so that every comparison is a plain byte one with
  // the same outcome as the natural comparison.
  if (impl.match_case) {
    impl.scratch.clear();
    AppendNaturalKey(key, &impl.scratch);
    key = impl.scratch;
  }
  const size_t unit = impl.entries.size();
  const SortEntry entry(key, unit);
  impl.entries.push_back(entry.Inline() ? entry : SortEntry(impl.arena.Keep(key), unit));
}

void RecordKeySorter::Reserve(size_t keys) { impl_->entries.reserve(keys); }

LargeVector<size_t> RecordKeySorter::Order() {
  SortEntries(&impl_->entries, impl_->match_case);
  LargeVector<size_t> order;
  order.reserve(impl_->entries.size());
  for (const SortEntry& entry : impl_->entries) order.push_back(entry.Unit());
  impl_->entries = LargeVector<SortEntry>();
  impl_->arena.Clear();
  return order;
}
