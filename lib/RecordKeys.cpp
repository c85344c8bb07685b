#include "RecordKeys.h"

#include <algorithm>
#include <cstring>

#include "Error.h"
#include "MyLib.h"

namespace {

constexpr size_t kArenaBlockSize = size_t{1} << 20;

}  // namespace

RecordKeyReader::RecordKeyReader(const TStringListCSVEX& table, long long column)
    : table_(table), column_(column) {
  if (column < 0) throw IndexError(column);
}

bool RecordKeyReader::Read(size_t first, size_t end, std::string_view* key,
                           std::string* scratch) const {
  if (end - first == 1) {
    const std::string_view row = table_.LineView(static_cast<long long>(first));
    std::string_view raw;
    if (LocateField(row, &raw) &&
        !(table_.EscapeLineBreaks && HasEscapeTokens(raw, table_.LineBreakStyle, false))) {
      *key = raw;
      return true;
    }
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

// Where the field's value stands in the row as it is, found by the same split that GetField
// uses. False when the value differs from every stretch of the row (a quoted token with
// doubled marks); the caller then reads it with GetField.
bool RecordKeyReader::LocateField(std::string_view row, std::string_view* field) const {
  if (table_.QuotedFields) return LocateQuotedField(row, field);
  const char delimiter = table_.Delimiter;
  size_t start = 0;
  for (long long k = 0;; ++k) {
    const size_t end = row.find(delimiter, start);
    if (k == column_) {
      *field = row.substr(start, end == std::string_view::npos ? row.size() - start : end - start);
      return true;
    }
    if (end == std::string_view::npos) {
      *field = std::string_view();
      return true;
    }
    start = end + 1;
  }
}

// The quote-aware split: a field that begins with the mark runs to its closing mark (two marks
// stand for one), bytes after the closing mark start a further field, an unterminated token
// runs to the end and loses its last byte, and the row ends at its first NUL byte. The empty
// field after a final delimiter reads like a missing one, so it needs no case of its own.
bool RecordKeyReader::LocateQuotedField(std::string_view row, std::string_view* field) const {
  const void* nul = std::memchr(row.data(), 0, row.size());
  if (nul != nullptr) row = row.substr(0, static_cast<const char*>(nul) - row.data());
  const char delimiter = table_.Delimiter;
  const char quote = table_.QuoteMark;
  const size_t n = row.size();
  size_t cursor = 0;
  for (long long k = 0;; ++k) {
    if (cursor >= n) {
      *field = std::string_view();  // a missing field reads empty
      return true;
    }
    std::string_view value;
    bool exact = true;
    if (quote != 0 && row[cursor] == quote) {
      const size_t start = cursor + 1;
      size_t search = start;
      bool doubled = false;
      cursor = n;
      for (;;) {
        const size_t mark = row.find(quote, search);
        if (mark == std::string_view::npos) break;
        if (mark + 1 < n && row[mark + 1] == quote) {
          doubled = true;
          search = mark + 2;
          continue;
        }
        cursor = mark + 1;
        break;
      }
      const std::string_view token = row.substr(start, cursor - start);
      if (token.size() >= 2) value = token.substr(0, token.size() - 1);
      exact = !doubled || token.size() < 2;
      if (cursor < n && row[cursor] == delimiter) ++cursor;
    } else {
      size_t end = row.find(delimiter, cursor);
      if (end == std::string_view::npos) end = n;
      value = row.substr(cursor, end - cursor);
      cursor = end < n ? end + 1 : n;
    }
    if (k == column_) {
      *field = value;
      return exact;
    }
  }
}

std::string_view KeyArena::Keep(std::string_view key) {
  if (key.empty()) return std::string_view();
  if (blocks_.empty() || blocks_.back().capacity() - blocks_.back().size() < key.size()) {
    blocks_.emplace_back();
    blocks_.back().reserve(std::max(kArenaBlockSize, key.size()));
  }
  std::string& block = blocks_.back();
  const size_t at = block.size();
  block.append(key.data(), key.size());  // within capacity: the block does not move
  return std::string_view(block.data() + at, key.size());
}
