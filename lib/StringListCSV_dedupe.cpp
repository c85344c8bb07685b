// Removing rows whose value in a column has already occurred.
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Error.h"
#include "RecordKeys.h"
#include "StringListEX.h"

namespace {

// For each distinct key, in the order the keys first occur: the record whose content stands at
// that place (the first record of the key, or the last one with `keep_last`). Keys are equal
// when their bytes are: "01" and "1" are different keys, and a later row only ever replaces
// the kept row of its own key.
std::vector<size_t> SurvivingRecords(const TStringListCSVEX& table,
                                     const std::vector<size_t>& starts, long long column,
                                     bool keep_last, bool keep_header) {
  const RecordKeyReader reader(table, column);
  const size_t records = starts.size();
  const auto lines = static_cast<size_t>(table.LineCount());
  KeyArena arena;  // only keys that are not views into the lines, and only their first copy
  std::string scratch;
  std::unordered_map<std::string_view, size_t> place_of_key;
  place_of_key.reserve(records);
  std::vector<size_t> survivors;
  if (keep_header) survivors.push_back(0);  // its key is no key: a data row may repeat it
  for (size_t r = survivors.size(); r < records; ++r) {
    std::string_view key;
    const bool in_line =
        reader.Read(starts[r], r + 1 < records ? starts[r + 1] : lines, &key, &scratch);
    auto found = place_of_key.find(key);
    if (found == place_of_key.end()) {
      place_of_key.emplace(in_line ? key : arena.Keep(key), survivors.size());
      survivors.push_back(r);
    } else if (keep_last) {
      survivors[found->second] = r;
    }
  }
  return survivors;
}

}  // namespace

void TStringListCSVEX::RemoveDuplicates(long long column, bool keep_last, bool keep_header) {
  if (column < 0) throw IndexError(column);
  if (lines_.empty()) return;
  // A quoted field may span lines; such a record is kept or dropped as one unit.
  const std::vector<size_t> starts = RecordStarts();
  const std::vector<size_t> survivors =
      SurvivingRecords(*this, starts, column, keep_last, keep_header);
  if (survivors.size() == starts.size()) return;  // every key occurs once: nothing moves
  std::vector<size_t> order;
  order.reserve(lines_.size());
  for (size_t r : survivors) {
    const size_t end = r + 1 < starts.size() ? starts[r + 1] : lines_.size();
    for (size_t line = starts[r]; line < end; ++line) order.push_back(line);
  }
  ApplyRowOrder(order);
}
