#include "RecordKeys.h"

#include <algorithm>
#include <cstring>

#include "Error.h"
#include "MyLib.h"

RecordKeyReader::RecordKeyReader(const TStringListCSVEX& table, long long column)
    : table_(table), column_(column) {
  if (column < 0) throw IndexError(column);
}

bool RecordKeyReader::Read(size_t first, size_t end, std::string_view* key,
                           std::string* scratch) const {
  if (end - first == 1) {
    const std::string_view row = table_.LineView(static_cast<long long>(first));
    if (table_.FieldView(row, column_, key)) return true;
    *scratch = table_.GetField(row, column_);
  } else {
    std::string joined;
    for (size_t line = first; line < end; ++line) {
      if (line > first) joined.append("\r\n", 2);
      joined.append(table_.LineView(static_cast<long long>(line)));
    }
    *scratch = table_.GetField(joined, column_);
  }
  *key = *scratch;
  return false;
}
