// Writing fields into rows: escaping, quoting when needed or always, and rebuilding a row to
// replace one of its fields.
#include <algorithm>
#include <cstring>
#include <vector>

#include "ByteSearch.h"
#include "Error.h"
#include "FieldScanner.h"
#include "MyLib.h"
#include "Platform.h"
#include "StringListEX.h"

namespace {

// What a value holds that decides how it is written, found in one pass over it.
struct ValueBytes {
  bool control = false;     // a byte below 32
  bool line_break = false;  // CR or LF
  bool quote = false;
  bool delimiter = false;
};

ValueBytes ScanValue(std::string_view value, char quote, char delimiter) {
  using namespace byte_search;
  // Flags gathered with plain ORs and no early exit, eight bytes at a time.
  uint64_t control = 0;
  uint64_t quote_seen = 0;
  uint64_t delimiter_seen = 0;
  const char* p = value.data();
  const size_t n = value.size();
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const uint64_t word = Load(p + i);
    control |= AnyBelow(word, 32);
    quote_seen |= AnyEqual(word, quote);
    delimiter_seen |= AnyEqual(word, delimiter);
  }
  if (i < n && n >= 8) {  // the last eight bytes, some of them seen already
    const uint64_t word = Load(p + n - 8);
    control |= AnyBelow(word, 32);
    quote_seen |= AnyEqual(word, quote);
    delimiter_seen |= AnyEqual(word, delimiter);
  } else {
    for (; i < n; ++i) {
      const char c = p[i];
      control |= static_cast<uint64_t>(static_cast<unsigned char>(c) < 32);
      quote_seen |= static_cast<uint64_t>(c == quote);
      delimiter_seen |= static_cast<uint64_t>(c == delimiter);
    }
  }
  ValueBytes bytes;
  bytes.control = control != 0;
  // Line breaks are control bytes: only a value holding some is searched for them.
  bytes.line_break = bytes.control && value.find_first_of("\r\n") != std::string_view::npos;
  bytes.quote = quote_seen != 0;
  bytes.delimiter = delimiter_seen != 0;
  return bytes;
}

}  // namespace

void TStringListCSVEX::AppendFormatted(std::string* out, std::string_view value) const {
  ValueBytes bytes = ScanValue(value, QuoteMark, Delimiter);
  std::string escaped;
  if (EscapeLineBreaks && bytes.control) {
    AppendEscaped(&escaped, value, LineBreakStyle, false);
    value = escaped;
    bytes = ScanValue(value, QuoteMark, Delimiter);
  } else if (!EscapeLineBreaks && (!QuotedFields || QuoteMark == 0) && bytes.line_break) {
    // A field that cannot be quoted cannot hold a line break: it would split the row in two.
    // The breaks become the style's tokens even when escaping is off.
    for (char c : value) {
      if (c == '\r' || c == '\n') {
        AppendEscaped(&escaped, std::string_view(&c, 1), LineBreakStyle, false);
      } else {
        escaped.push_back(c);
      }
    }
    value = escaped;
    bytes = ScanValue(value, QuoteMark, Delimiter);
  }
  if (QuoteMark == 0) {
    out->append(value);
    return;
  }
  if (!QuotedFields && !bytes.delimiter && (value.empty() || value[0] != QuoteMark)) {
    // Plain rows stay plain. Only a value that would otherwise split into two fields, or read
    // as a quoted token, is enclosed: writing it bare would break the row.
    out->append(value);
    return;
  }
  const bool enclose = AlwaysQuote || bytes.quote || bytes.delimiter || bytes.line_break;
  if (enclose) out->push_back(QuoteMark);
  if (bytes.quote) {
    const char pair[2] = {QuoteMark, QuoteMark};
    out->append(ReplaceAll(value, std::string_view(pair, 1), std::string_view(pair, 2)));
  } else {
    out->append(value);
  }
  if (enclose) out->push_back(QuoteMark);
}

void TStringListCSVEX::AppendField(std::string* row, std::string_view value) const {
  std::string formatted;
  AppendFormatted(&formatted, value);
  // The placeholder (two quote marks) keeps an empty first field visible until the next field
  // arrives; without a quote character there is no placeholder.
  const bool placeholder = !AlwaysQuote && QuoteMark != 0;
  if (!row->empty()) {
    row->push_back(Delimiter);
    const char stub[3] = {QuoteMark, QuoteMark, Delimiter};
    if (placeholder && *row == std::string_view(stub, 3)) row->assign(1, Delimiter);
  } else if (placeholder && formatted.empty()) {
    row->assign(2, QuoteMark);
  }
  row->append(formatted);
}

void TStringListCSVEX::AppendCell(long long r, std::string_view value) {
  std::string row = GetLine(r);
  // Rows whose text cannot show an empty first field (no quote character, or plain rows that
  // are always written quoted): remember such rows, so the next field gets its delimiter.
  const bool remembered = QuoteMark == 0 || (!QuotedFields && AlwaysQuote);
  if (!remembered) {
    AppendField(&row, value);
    SetLine(r, row);
    return;
  }
  auto pending = std::find(empty_first_field_rows_.begin(), empty_first_field_rows_.end(),
                           static_cast<size_t>(r));
  const bool has_field = !row.empty() || pending != empty_first_field_rows_.end();
  if (pending != empty_first_field_rows_.end()) empty_first_field_rows_.erase(pending);
  std::string formatted;
  AppendFormatted(&formatted, value);
  if (!has_field && formatted.empty()) {
    empty_first_field_rows_.push_back(static_cast<size_t>(r));
    return;
  }
  if (has_field) row.push_back(Delimiter);
  row.append(formatted);
  SetLine(r, row);
}

std::string TStringListCSVEX::JoinFields(const std::vector<std::string>& values) const {
  std::string row;
  JoinFieldsTo(&row, values);
  return row;
}

namespace {

template <typename Values>
void JoinValues(const TStringListCSVEX& table, std::string* row, const Values& values) {
  row->clear();
  for (size_t k = 0; k < values.size(); ++k) {
    if (k > 0) row->push_back(table.Delimiter);
    table.AppendFormatted(row, values[k]);
  }
  // A row of one empty field is written as the placeholder where there is one.
  if (values.size() == 1 && row->empty() && !table.AlwaysQuote && table.QuoteMark != 0) {
    row->assign(2, table.QuoteMark);
  }
}

}  // namespace

void TStringListCSVEX::JoinFieldsTo(std::string* row,
                                    const std::vector<std::string>& values) const {
  JoinValues(*this, row, values);
}

void TStringListCSVEX::JoinFieldsTo(std::string* row,
                                    const std::vector<std::string_view>& values) const {
  JoinValues(*this, row, values);
}

bool TStringListCSVEX::WrittenAsItStands(RawField raw, std::string_view row) const {
  // `raw` is a quoted token. One whose value writing encloses again, closed right before the delimiter or
  // the row's end, comes out as the same bytes: its value's marks are doubled back the way
  // they stand, and the value needs no escaping.
  if (QuoteMark == 0 || raw.bytes.empty() || raw.bytes.back() != QuoteMark) return false;
  const char* const after = raw.bytes.data() + raw.bytes.size();
  if (after != row.data() + row.size() && *after != Delimiter) return false;
  const std::string_view inner = raw.bytes.substr(0, raw.bytes.size() - 1);
  // Only the bytes a search stops at are looked at: the marks, the delimiter, token starts and
  // bytes below 32.
  const byte_search::StopBytes stops = BareFieldStops(Delimiter, QuoteMark);
  const ByteSet& tokens = TokenOrControlBytes();
  bool delimiter = false;
  bool quote = false;
  bool control = false;
  bool token = false;
  size_t quote_run = 0;
  size_t run_end = 0;  // where the run of marks counted in quote_run ends
  for (size_t at = 0; (at = stops.Find(inner.data(), at, inner.size())) < inner.size(); ++at) {
    const char c = inner[at];
    const bool is_quote = c == QuoteMark;
    quote_run = is_quote ? (run_end == at ? quote_run : 0) + 1 : 0;
    run_end = at + 1;
    quote |= is_quote;
    delimiter |= c == Delimiter;
    control |= static_cast<unsigned char>(c) < 32;
    token |= tokens.Has(c);
  }
  if (run_end != inner.size()) quote_run = 0;  // the text ends with a byte that is no mark
  // An odd run of marks at the end: the last mark was doubled, and the token is not closed.
  if (quote_run % 2 != 0 || control) return false;
  if (AlwaysQuote) return true;
  if (token) return false;  // unescaping would change the value
  return QuotedFields ? quote || delimiter : delimiter || (!inner.empty() && inner[0] == QuoteMark);
}

namespace {

// Where each field of the row ends (at its delimiter, or the row's end), when every field is
// bare: the row holds neither the quote mark nor a byte below 32 nor a token start, other than
// as its delimiter. Each field is then its own value and is written as it stands (enclosed,
// where every field is quoted). False for any other row. One pass over the row finds both.
// `stops`: from BareFieldStops with the delimiter and the quote mark.
bool BareFieldEnds(std::string_view row, char delimiter, const byte_search::StopBytes& stops,
                   std::vector<size_t>* ends) {
  if (platform::SystemLeadBytes().any) return false;  // a delimiter may be a second byte
  ends->clear();
  const bool bare = stops.EachStop(row.data(), row.size(), [&](size_t at) {
    ends->push_back(at);
    return row[at] == delimiter;
  });
  ends->push_back(row.size());
  return bare;
}

}  // namespace

void TStringListCSVEX::ReplaceField(std::string* row, std::string_view value, long long n,
                                    bool pad) const {
  thread_local std::string out;
  out.clear();
  AppendReplaced(*row, value, n, pad, &out);
  row->swap(out);
}

void TStringListCSVEX::AppendReplaced(std::string_view row, std::string_view value, long long n,
                                      bool pad, std::string* out_row, bool plain) const {
  std::string& out = *out_row;
  const size_t base = out.size();  // the new row goes after what `out` holds
  if (row.empty() && !pad) return;
  if (n < 0) throw IndexError(n);
  // The row is split quote-aware whatever QuotedFields says, and every field written anew from
  // its value (unescaped first unless fields are always quoted). A bare field (not a quoted
  // token, no quote mark, control byte or token start in it) is its own value and needs no
  // quoting, so its bytes are copied instead.
  const byte_search::StopBytes bare_stops = BareFieldStops(Delimiter, QuoteMark);
  // Where every field is quoted, a bare one is enclosed as it stands.
  const bool enclose_bare = AlwaysQuote && QuotedFields && QuoteMark != 0;
  thread_local std::string scratch;
  thread_local std::string unescaped;
  auto append_value = [&](std::string_view field_value) {
    if (!AlwaysQuote) {
      unescaped.clear();
      AppendUnescaped(&unescaped, field_value, LineBreakStyle, false);
      field_value = unescaped;
    }
    AppendFormatted(&out, field_value);
  };
  // The new value, where it is plain and fields are always quoted (so it is not unescaped):
  // nothing in it needs doubling or a quote around it but the one every field gets.
  auto append_new_value = [&] {
    if (!plain || !AlwaysQuote) {
      append_value(value);
    } else if (QuoteMark == 0 || !QuotedFields) {
      out.append(value);
    } else {
      out.push_back(QuoteMark);
      out.append(value);
      out.push_back(QuoteMark);
    }
  };
  // The common row of bare fields only keeps its bytes: where nothing is enclosed, the new row
  // is the old one around field n, whose bounds one search finds (the rest of the row is only
  // looked at for a byte that is not bare); where every field is enclosed, it is copied field
  // by field, straight into room made for it. A row without field n, or that would come out
  // empty (it takes the placeholder), takes the general path.
  if (!row.empty() && !enclose_bare && !platform::SystemLeadBytes().any) {
    const std::string_view text = row;
    size_t start = 0;  // of field k
    size_t end = 0;
    bool bare = true;
    long long k = 0;
    for (;; ++k) {
      end = bare_stops.Find(text.data(), start, text.size());
      if (end < text.size() && text[end] != Delimiter) bare = false;
      if (!bare || k == n || end == text.size()) break;
      start = end + 1;
    }
    if (bare && end < text.size()) {  // the rest is bare whatever delimiters it holds
      bare = BareFieldStops(QuoteMark, QuoteMark).Find(text.data(), end, text.size()) == text.size();
    }
    if (bare && k == n) {  // not a row that ended before field n
      out.append(text.data(), start);
      append_new_value();
      out.append(text.data() + end, text.size() - end);
      if (out.size() > base) return;
    }
  }
  thread_local std::vector<size_t> ends;
  if (!row.empty() && enclose_bare && BareFieldEnds(row, Delimiter, bare_stops, &ends) &&
      n < static_cast<long long>(ends.size())) {
    const std::string_view text = row;
    append_new_value();  // into `out`, moved to its place below
    scratch.assign(out, base, std::string::npos);
    // Room for the row with every field enclosed, and the sixteen bytes a copy in words may
    // write past its end.
    const size_t room = text.size() + 2 * ends.size() + scratch.size();
    out.resize(base + room + 16);
    char* at = &out[base];
    size_t from = 0;
    for (size_t k = 0; k < ends.size(); ++k) {
      const size_t end = ends[k];
      if (k > 0) *at++ = Delimiter;
      if (static_cast<long long>(k) == n) {
        std::memcpy(at, scratch.data(), scratch.size());
        at += scratch.size();
      } else {
        *at++ = QuoteMark;
        if (end + 16 <= text.size()) {  // the words read stay inside the row
          byte_search::CopyInWords(at, text.data() + from, end - from);
        } else {
          std::memcpy(at, text.data() + from, end - from);
        }
        at += end - from;
        *at++ = QuoteMark;
      }
      from = end + 1;
    }
    out.resize(static_cast<size_t>(at - out.data()));
    if (out.size() > base) return;
  }
  long long count = 0;
  for (FieldScanner scanner(row, Delimiter, QuoteMark, true); !scanner.Done(); ++count) {
    const FieldScanner::Position at = scanner.Where();
    const bool token = !at.trailing_empty && row[at.offset] == QuoteMark && QuoteMark != 0;
    bool bare = false;
    const RawField raw = scanner.NextBare(bare_stops, &bare);
    if (count > 0) out.push_back(Delimiter);
    if (count == n) {
      append_new_value();
    } else if (bare) {
      if (enclose_bare) out.push_back(QuoteMark);
      out.append(raw.bytes);
      if (enclose_bare) out.push_back(QuoteMark);
    } else if (token && WrittenAsItStands(raw, row)) {
      out.push_back(QuoteMark);
      out.append(raw.bytes);
    } else {
      append_value(TokenValue(raw, QuoteMark, &scratch));
    }
  }
  if (n >= count) {
    if (!pad) throw IndexError(n);
    if (value.empty()) {  // the row stays as it is
      out.resize(base);
      out.append(row);
      return;
    }
    for (; count <= n; ++count) {
      if (count > 0) out.push_back(Delimiter);
      append_value(count == n ? value : std::string_view());
    }
  }
  // A row of one empty field is written as the placeholder where there is one.
  if (count == 1 && out.size() == base && !AlwaysQuote && QuoteMark != 0) out.append(2, QuoteMark);
}

void TStringListCSVEX::SetCell(long long r, std::string_view value, long long n, bool pad) {
  std::string row = GetLine(r);
  ReplaceField(&row, value, n, pad);
  SetLine(r, row);
}
