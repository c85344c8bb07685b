#include "FieldScanner.h"

#include <cstring>

#include "MyLib.h"
#include "Platform.h"

namespace {

// The next delimiter or quote mark at `pos` or later that stands as a character of its own: in
// a double-byte code page the second byte of a character may have the delimiter's value.
size_t FindMark(std::string_view row, const char& mark, size_t pos) {
  const size_t at = FindCharacterAligned(row, std::string_view(&mark, 1), pos);
  return at == std::string_view::npos ? row.size() : at;
}

}  // namespace

const ByteSet& TokenOrControlBytes() {
  static const ByteSet set = [] {
    ByteSet bytes;
    for (int b = 0; b < 32; ++b) bytes.has[b] = true;
    bytes.has[static_cast<unsigned char>('\\')] = true;
    bytes.has[static_cast<unsigned char>('<')] = true;
    return bytes;
  }();
  return set;
}

byte_search::StopBytes BareFieldStops(char delimiter, char extra) {
  const char marks[4] = {delimiter, '\\', '<', extra};
  return byte_search::StopBytes(marks);
}

FieldScanner::FieldScanner(std::string_view row, char delimiter, char quote, bool quote_aware,
                           bool nul_free)
    : row_(row),
      double_byte_(platform::SystemLeadBytes().any),
      delimiter_(delimiter), quote_(quote_aware ? quote : '\0') {
  // An empty view may carry a null pointer, which memchr must never see, even for 0 bytes.
  if (quote_aware && !nul_free && !row.empty()) {
    // The quote-aware split ends at a NUL byte, as the text it was made for did.
    const void* nul = std::memchr(row.data(), 0, row.size());
    if (nul != nullptr) row_ = row.substr(0, static_cast<const char*>(nul) - row.data());
  }
}

size_t FieldScanner::Find(char mark, size_t pos) const {
  if (double_byte_) return FindMark(row_, mark, pos);
  if (pos >= row_.size()) return row_.size();
  const void* hit = std::memchr(row_.data() + pos, mark, row_.size() - pos);
  return hit == nullptr ? row_.size() : static_cast<size_t>(static_cast<const char*>(hit) - row_.data());
}

RawField FieldScanner::Next() {
  if (trailing_empty_) {
    trailing_empty_ = false;
    return RawField{};
  }
  const size_t n = row_.size();
  RawField field;
  if (quote_ != 0 && row_[cursor_] == quote_) {
    field = QuotedToken();
  } else {
    const size_t end = Find(delimiter_, cursor_);
    field.bytes = std::string_view(row_.data() + cursor_, end - cursor_);
    cursor_ = end;
  }
  if (cursor_ < n && row_[cursor_] == delimiter_) {
    if (cursor_ + 1 == n) trailing_empty_ = true;
    ++cursor_;
  }
  return field;
}

RawField FieldScanner::NextBareAtLength(const byte_search::StopBytes& stops, bool* bare) {
  *bare = false;
  if (trailing_empty_ || double_byte_ || (quote_ != 0 && row_[cursor_] == quote_)) return Next();
  const size_t n = row_.size();
  size_t end = stops.Find(row_.data(), cursor_, n);
  *bare = end == n || row_[end] == delimiter_;
  if (!*bare) end = Find(delimiter_, end);
  const size_t start = cursor_;
  cursor_ = end;
  if (end < n) {  // at the delimiter
    if (end + 1 == n) trailing_empty_ = true;
    ++cursor_;
  }
  // Made where the caller wants it: a copy of a field stored in parts, read back whole at
  // once, would wait for the parts to reach memory.
  return RawField{row_.substr(start, end - start), true};
}

RawField FieldScanner::QuotedToken() {
  const size_t n = row_.size();
  const size_t start = cursor_ + 1;
  size_t search = start;
  bool doubled = false;
  cursor_ = n;  // no closing mark: the token runs to the end of the row
  for (;;) {
    const size_t mark = Find(quote_, search);
    if (mark == n) break;
    if (mark + 1 < n && row_[mark + 1] == quote_) {
      doubled = true;
      search = mark + 2;
      continue;
    }
    cursor_ = mark + 1;
    break;
  }
  const std::string_view token = row_.substr(start, cursor_ - start);
  if (token.size() < 2) return RawField{};
  if (!doubled) return RawField{token.substr(0, token.size() - 1), true};
  return RawField{token, false};
}

std::string_view TokenValue(RawField raw, char quote, std::string* scratch) {
  if (raw.exact) return raw.bytes;
  // The doubled marks become single ones, and the token's last byte (the closing mark, or the
  // row's last byte when there is none) goes.
  const char pair[2] = {quote, quote};
  *scratch = ReplaceAll(raw.bytes, std::string_view(pair, 2), std::string_view(pair, 1));
  scratch->pop_back();
  return *scratch;
}

std::string_view FieldValue(RawField raw, const FieldDialect& dialect, std::string* scratch) {
  std::string_view value = TokenValue(raw, dialect.quote, scratch);
  if (dialect.unescape && HasEscapeTokens(value, dialect.style, false)) {
    *scratch = UnescapeText(value, dialect.style, false);
    value = *scratch;
  }
  return value;
}

std::string_view FieldAt(std::string_view row, long long n, const FieldDialect& dialect,
                         std::string* scratch) {
  FieldScanner scanner(row, dialect);
  for (long long k = 0; !scanner.Done(); ++k) {
    const RawField raw = scanner.Next();
    if (k == n) return FieldValue(raw, dialect, scratch);
  }
  return std::string_view();
}

long long CountRowFields(std::string_view row, const FieldDialect& dialect) {
  if (!dialect.quote_aware) {
    if (row.empty()) return 0;
    long long count = 1;
    for (size_t at = 0; (at = FindMark(row, dialect.delimiter, at)) < row.size(); ++at) ++count;
    return count;
  }
  FieldScanner scanner(row, dialect);
  long long count = 0;
  for (; !scanner.Done(); ++count) scanner.Next();
  return count;
}
