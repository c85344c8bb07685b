// Comparing, searching and sorting rows by the value of a column.
#include <algorithm>
#include <utility>
#include <vector>

#include "CompareString.h"
#include "Error.h"
#include "RecordKeys.h"
#include "StringListEX.h"

namespace {

using CompareFn = int (*)(std::string_view, std::string_view);

struct SortEntry {
  std::string_view key;
  size_t unit;  // the row or record the key belongs to
};

// Sorts the entries by key with the partition steps the table's sort has always taken: the
// middle entry's key is the pivot, both scans stop at keys equal to it, and such entries are
// exchanged too. The sort is therefore not stable, and the order it leaves equal keys in is
// part of what users' files rely on; it must not change.
//
// The two parts a partition leaves never overlap, so the order in which they are sorted does
// not change the result. The larger part waits on a stack while the smaller is sorted, which
// keeps the stack logarithmic whatever the keys are.
void PartitionSort(std::vector<SortEntry>* entries, CompareFn compare) {
  std::vector<SortEntry>& e = *entries;
  std::vector<std::pair<long long, long long>> parts;
  parts.emplace_back(0, static_cast<long long>(e.size()) - 1);
  while (!parts.empty()) {
    const auto [left, right] = parts.back();
    parts.pop_back();
    if (left >= right) continue;
    long long i = left;
    long long j = right;
    // The pivot entry moves with the exchanges, but its key is the same wherever it stands.
    const std::string_view pivot = e[static_cast<size_t>((left + right) / 2)].key;
    do {
      while (compare(e[static_cast<size_t>(i)].key, pivot) < 0) ++i;
      while (compare(e[static_cast<size_t>(j)].key, pivot) > 0) --j;
      if (i <= j) {
        std::swap(e[static_cast<size_t>(i)], e[static_cast<size_t>(j)]);
        ++i;
        --j;
      }
    } while (i <= j);
    if (j - left > right - i) {
      parts.emplace_back(left, j);
      parts.emplace_back(i, right);
    } else {
      parts.emplace_back(i, right);
      parts.emplace_back(left, j);
    }
  }
}

}  // namespace

int TStringListCSVEX::CompareValues(std::string_view a, std::string_view b) const {
  return MatchCase ? NaturalCompareStr(a, b) : NaturalCompareText(a, b);
}

bool TStringListCSVEX::FindInColumn(std::string_view value, long long column,
                                    long long* index) const {
  if (column < 0) throw IndexError(column);
  long long low = 0;
  long long high = LineCount() - 1;
  bool found = false;
  while (low <= high) {
    const long long middle = low + (high - low) / 2;
    const int d = CompareValues(GetField(lines_[static_cast<size_t>(middle)], column), value);
    if (d < 0) {
      low = middle + 1;
    } else {
      high = middle - 1;
      if (d == 0) {
        found = true;
        if (DuplicateRule != DuplicatesAccept) low = middle;
      }
    }
  }
  *index = low;
  return found;
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

void TStringListCSVEX::SortByColumn(long long column) {
  if (column < 0) throw IndexError(column);
  if (!SortedByColumn && LineCount() >= 2) {
    // A quoted field may span lines; such a record moves as one unit, keyed by its whole text.
    const std::vector<size_t> starts = RecordStarts();
    const size_t records = starts.size();
    auto end_of = [&](size_t r) { return r + 1 < records ? starts[r + 1] : lines_.size(); };
    if (records >= 2) {
      const RecordKeyReader reader(*this, column);
      KeyArena arena;
      std::string scratch;
      std::vector<SortEntry> entries(records);
      for (size_t r = 0; r < records; ++r) {
        std::string_view key;
        if (!reader.Read(starts[r], end_of(r), &key, &scratch)) key = arena.Keep(key);
        entries[r] = {key, r};
      }
      PartitionSort(&entries, MatchCase ? NaturalCompareStr : NaturalCompareText);
      std::vector<size_t> order;
      order.reserve(lines_.size());
      for (const SortEntry& entry : entries) {
        for (size_t line = starts[entry.unit]; line < end_of(entry.unit); ++line) {
          order.push_back(line);
        }
      }
      ApplyRowOrder(order);
    }
  }
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
  std::vector<SortEntry> entries;
  entries.reserve(static_cast<size_t>(right - left + 1));
  for (size_t line = static_cast<size_t>(left); line <= static_cast<size_t>(right); ++line) {
    std::string_view key;
    if (!reader.Read(line, line + 1, &key, &scratch)) key = arena.Keep(key);
    entries.push_back({key, line});
  }
  PartitionSort(&entries, MatchCase ? NaturalCompareStr : NaturalCompareText);
  std::vector<size_t> order(lines_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  for (size_t k = 0; k < entries.size(); ++k) order[static_cast<size_t>(left) + k] = entries[k].unit;
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
