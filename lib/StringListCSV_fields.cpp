// Reading fields out of a row: the plain split (delimiter only) and the quote-aware split.
#include <cstring>

#include "Error.h"
#include "MyLib.h"
#include "StringListEX.h"

namespace {

// The quote-aware split, one field at a time. A field that begins with the quote mark runs to
// its closing mark, and two marks inside it stand for one; bytes after the closing mark start
// a further field; an unterminated token runs to the end and loses its last byte. The row ends
// at its first NUL byte.
class QuotedFieldScanner {
 public:
  QuotedFieldScanner(std::string_view row, char delimiter, char quote)
      : row_(row.substr(0, NulCut(row))), delimiter_(delimiter), quote_(quote) {}

  /// True when the row has no more fields.
  bool Done() const { return !trailing_empty_ && cursor_ >= row_.size(); }

  /// Steps over the next field. Returns true when the field's value is a stretch of the row,
  /// which `raw` then views; false when its doubled quote marks must be undone first, and `raw`
  /// views the token from after the opening mark to the cursor (see Value()). Call only when
  /// !Done().
  bool NextRaw(std::string_view* raw) {
    if (trailing_empty_) {
      trailing_empty_ = false;
      *raw = std::string_view();
      return true;
    }
    const size_t n = row_.size();
    bool exact = true;
    if (quote_ != 0 && row_[cursor_] == quote_) {
      exact = ReadQuotedToken(raw);
    } else {
      size_t end = row_.find(delimiter_, cursor_);
      if (end == std::string_view::npos) end = n;
      *raw = row_.substr(cursor_, end - cursor_);
      cursor_ = end;
    }
    if (cursor_ < n && row_[cursor_] == delimiter_) {
      if (cursor_ + 1 == n) trailing_empty_ = true;
      ++cursor_;
    }
    return exact;
  }

  /// Reads the next field's value into `value`; false when the row has no more fields.
  bool Next(std::string* value) {
    if (Done()) return false;
    std::string_view raw;
    if (NextRaw(&raw)) {
      value->assign(raw.data(), raw.size());
    } else {
      // The token's doubled marks become single ones, and its last byte (the closing mark, or
      // the row's last byte when there is none) goes.
      const char pair[2] = {quote_, quote_};
      *value = ReplaceAll(raw, std::string_view(pair, 2), std::string_view(pair, 1));
      value->pop_back();
    }
    return true;
  }

 private:
  static size_t NulCut(std::string_view row) {
    const void* nul = std::memchr(row.data(), 0, row.size());
    return nul == nullptr ? row.size() : static_cast<const char*>(nul) - row.data();
  }

  bool ReadQuotedToken(std::string_view* raw) {
    const size_t n = row_.size();
    const size_t start = cursor_ + 1;
    size_t search = start;
    bool doubled = false;
    cursor_ = n;  // no closing mark: the token runs to the end of the row
    for (;;) {
      size_t mark = row_.find(quote_, search);
      if (mark == std::string_view::npos) break;
      if (mark + 1 < n && row_[mark + 1] == quote_) {
        doubled = true;
        search = mark + 2;
        continue;
      }
      cursor_ = mark + 1;
      break;
    }
    const std::string_view token = row_.substr(start, cursor_ - start);
    if (token.size() < 2) {
      *raw = std::string_view();
      return true;
    }
    if (!doubled) {
      *raw = token.substr(0, token.size() - 1);
      return true;
    }
    *raw = token;
    return false;
  }

  std::string_view row_;
  char delimiter_;
  char quote_;
  size_t cursor_ = 0;
  bool trailing_empty_ = false;
};

}  // namespace

std::string TStringListCSVEX::GetFieldPlain(std::string_view row, long long n) const {
  // A negative field number is an index error in both splits, so no mode can tell them apart.
  if (n < 0) throw IndexError(n);
  size_t start = 0;
  for (long long k = 0;; ++k) {
    size_t end = row.find(Delimiter, start);
    if (k == n) {
      return std::string(
          row.substr(start, end == std::string_view::npos ? row.size() - start : end - start));
    }
    if (end == std::string_view::npos) return std::string();
    start = end + 1;
  }
}

void TStringListCSVEX::SplitRow(std::string_view row) {
  ClearLines();
  QuotedFieldScanner scanner(row, Delimiter, QuoteMark);
  std::string value;
  while (scanner.Next(&value)) AddLine(value);
}

std::string TStringListCSVEX::GetFieldQuoted(std::string_view row, long long n) const {
  if (n < 0) throw IndexError(n);
  QuotedFieldScanner scanner(row, Delimiter, QuoteMark);
  std::string value;
  for (long long k = 0; scanner.Next(&value); ++k) {
    if (k == n) return value;
  }
  return std::string();
}

bool TStringListCSVEX::FieldView(std::string_view row, long long n, std::string_view* field) const {
  if (n < 0) throw IndexError(n);
  *field = std::string_view();
  if (QuotedFields) {
    QuotedFieldScanner scanner(row, Delimiter, QuoteMark);
    std::string_view raw;
    for (long long k = 0; !scanner.Done(); ++k) {
      const bool exact = scanner.NextRaw(&raw);
      if (k == n) {
        if (!exact) return false;
        *field = raw;
        break;
      }
    }
  } else {
    size_t start = 0;
    for (long long k = 0;; ++k) {
      const size_t end = row.find(Delimiter, start);
      if (k == n) {
        *field = row.substr(start, end == std::string_view::npos ? end : end - start);
        break;
      }
      if (end == std::string_view::npos) break;
      start = end + 1;
    }
  }
  return !(EscapeLineBreaks && HasEscapeTokens(*field, LineBreakStyle, false));
}

std::string TStringListCSVEX::GetField(std::string_view row, long long n) const {
  std::string value = QuotedFields ? GetFieldQuoted(row, n) : GetFieldPlain(row, n);
  if (EscapeLineBreaks && HasEscapeTokens(value, LineBreakStyle, false)) {
    return UnescapeText(value, LineBreakStyle, false);
  }
  return value;
}

std::string TStringListCSVEX::GetCell(long long r, long long n) const {
  return GetField(LineView(r), n);
}

void TStringListCSVEX::SplitRowFields(std::string_view row,
                                      std::vector<std::string>* fields) const {
  size_t count = 0;
  QuotedFieldScanner scanner(row, Delimiter, QuoteMark);
  while (!scanner.Done()) {
    if (count == fields->size()) fields->emplace_back();
    scanner.Next(&(*fields)[count++]);
  }
  fields->resize(count);
}

void TStringListCSVEX::ReadFields(std::string_view row, FieldBuffer* buffer) const {
  std::vector<std::string_view>& values = buffer->values;
  std::vector<bool>& exact = buffer->exact;
  values.clear();
  exact.clear();
  if (QuotedFields) {
    QuotedFieldScanner scanner(row, Delimiter, QuoteMark);
    std::string_view raw;
    while (!scanner.Done()) {
      exact.push_back(scanner.NextRaw(&raw));
      values.push_back(raw);
    }
  } else if (!row.empty()) {
    for (size_t start = 0;;) {
      const size_t end = row.find(Delimiter, start);
      values.push_back(row.substr(start, end == std::string_view::npos ? end : end - start));
      exact.push_back(true);
      if (end == std::string_view::npos) break;
      start = end + 1;
    }
  }
  // Only the values that differ from their bytes in the row are built, each in a string of its
  // own that is reused from row to row.
  if (buffer->owned.size() < values.size()) buffer->owned.resize(values.size());
  const char pair[2] = {QuoteMark, QuoteMark};
  for (size_t k = 0; k < values.size(); ++k) {
    const bool unescape = EscapeLineBreaks && HasEscapeTokens(values[k], LineBreakStyle, false);
    if (exact[k] && !unescape) continue;
    std::string& value = buffer->owned[k];
    if (exact[k]) {
      value.assign(values[k].data(), values[k].size());
    } else {
      value = ReplaceAll(values[k], std::string_view(pair, 2), std::string_view(pair, 1));
      value.pop_back();
    }
    if (EscapeLineBreaks && HasEscapeTokens(value, LineBreakStyle, false)) {
      value = UnescapeText(value, LineBreakStyle, false);
    }
    values[k] = value;
  }
}

long long TStringListCSVEX::CountFields(std::string_view row) const {
  if (row.empty()) return 0;
  if (!QuotedFields) {
    long long count = 1;
    for (char c : row) count += (c == Delimiter);
    return count;
  }
  QuotedFieldScanner scanner(row, Delimiter, QuoteMark);
  std::string_view raw;
  long long count = 0;
  for (; !scanner.Done(); ++count) scanner.NextRaw(&raw);
  return count;
}
