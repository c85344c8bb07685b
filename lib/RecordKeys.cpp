#include "RecordKeys.h"

#include <algorithm>
#include <cstring>

#include "Error.h"
#include "MyLib.h"

RecordKeyReader::RecordKeyReader(const TStringListCSVEX& table, long long column)
    : table_(table), dialect_(table.Dialect()), column_(column) {
  if (column < 0) throw IndexError(column);
}

bool RecordKeyReader::Read(size_t first, size_t end, std::string_view* key,
                           std::string* scratch) const {
  if (end - first == 1) {
    const std::string_view row = table_.LineView(static_cast<long long>(first));
    *key = FieldAt(row, column_, dialect_, scratch);
    if (key->empty()) *key = std::string_view();
    return key->empty() || key->data() != scratch->data();
  } else {
    std::string joined;
    for (size_t line = first; line < end; ++line) {
      if (line > first) joined.append("\r\n", 2);
      joined.append(table_.LineView(static_cast<long long>(line)));
    }
    const std::string_view value = FieldAt(joined, column_, dialect_, scratch);
    if (value.data() != scratch->data()) scratch->assign(value.data(), value.size());
  }
  *key = *scratch;
  return false;
}
