// Field writer against the splits: the values a row is written from (JoinFields, AppendCell)
// read back by the quote-aware split, and by the plain split where a plain row can hold them,
// except for the losses the writing rules name: escape-token text decoded when line breaks are
// escaped, line breaks turned into tokens where a field cannot be quoted, a delimiter inside a
// value when there is no quote character, and everything from a NUL byte on in the
// quote-aware split. Replacing one field keeps every other one. The fast readers (FieldView,
// ReadFields, CountFields) agree with GetField.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "MyLib.h"
#include "StringListEX.h"

namespace {

using Values = std::vector<std::string>;

struct Writer {
  bool quoted, always, escape;
  char delimiter, quote;
  uint8_t style;

  bool CanQuote() const { return quoted && quote != 0; }
  // The value's bytes in the row, before quoting.
  std::string Written(const std::string& v) const {
    if (escape) return EscapeText(v, style, false);
    if (CanQuote()) return v;
    std::string out;
    for (char c : v) out += (c == '\r' || c == '\n') ? EscapeText(std::string(1, c), style, false)
                                                      : std::string(1, c);
    return out;
  }
  // What reading the field gives back.
  std::string ReadBack(const std::string& v) const {
    return escape ? UnescapeText(Written(v), style, false) : Written(v);
  }
  // Whether the quote-aware split can give the value back at all.
  bool Keepable(const std::string& v) const {
    const std::string w = Written(v);
    if (w.find('\0') != std::string::npos) return false;
    return quote != 0 || w.find(delimiter) == std::string::npos;
  }
  // Whether a plain row holds the value bare, so that the plain split reads it too.
  bool Bare(const std::string& v) const {
    const std::string w = Written(v);
    return w.find(delimiter) == std::string::npos && (w.empty() || quote == 0 || w[0] != quote);
  }
  void ApplyTo(TStringListCSVEX* t) const {
    t->QuotedFields = quoted;
    t->AlwaysQuote = always;
    t->EscapeLineBreaks = escape;
    t->Delimiter = delimiter;
    t->QuoteMark = quote;
    t->LineBreakStyle = style;
  }
};

std::string Describe(const Writer& w, const Values& values, const std::string& row) {
  std::string text = "quoted " + std::to_string(w.quoted) + " always " +
                     std::to_string(w.always) + " escape " + std::to_string(w.escape) +
                     " style " + std::to_string(w.style) + " delimiter " +
                     fuzz::Shown(std::string(1, w.delimiter)) + " quote " +
                     fuzz::Shown(std::string(1, w.quote)) + "\nvalues:";
  for (const std::string& v : values) text += " " + fuzz::Shown(v);
  return text + "\nrow: " + fuzz::Shown(row);
}

// Reads every field with the table's current settings through each reader.
Values ReadAll(const TStringListCSVEX& t, const std::string& row, size_t count,
               const std::string& details) {
  Values got;
  TStringListCSVEX::FieldBuffer buffer;
  t.ReadFields(row, &buffer);
  for (size_t n = 0; n < count; ++n) {
    got.push_back(t.GetField(row, static_cast<long long>(n)));
    std::string_view view;
    if (t.FieldView(row, static_cast<long long>(n), &view)) {
      fuzz::Check(view == got.back(), "FieldView agrees with GetField", details);
    }
    if (n < buffer.values.size()) {
      fuzz::Check(buffer.values[n] == got.back(), "ReadFields agrees with GetField", details);
    }
  }
  fuzz::Check(static_cast<long long>(buffer.values.size()) == t.CountFields(row),
              "ReadFields and CountFields count the same fields", details);
  return got;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const uint8_t flags = input.ConsumeIntegral<uint8_t>();
  Writer w{(flags & 1) != 0, (flags & 2) != 0, (flags & 4) != 0, ',', '"',
           static_cast<uint8_t>((flags >> 3) % 6)};
  const uint8_t d = input.ConsumeIntegral<uint8_t>();
  w.delimiter = d < 200 ? ",;\t|"[d % 4] : static_cast<char>(d);
  const uint8_t q = input.ConsumeIntegral<uint8_t>();
  w.quote = q < 100 ? '"' : q < 180 ? '\'' : q < 200 ? '\0' : static_cast<char>(q);
  // One byte cannot be both delimiter and quote mark, and a row is one line of text.
  if (w.delimiter == w.quote || w.delimiter == '\0' || w.delimiter == '\r' ||
      w.delimiter == '\n' || w.quote == '\r' || w.quote == '\n') {
    return 0;
  }
  const size_t field_to_replace = input.ConsumeIntegralInRange<size_t>(0, 7);
  const std::string replacement = input.ConsumeRandomLengthString(64);
  Values values;
  while (input.remaining_bytes() > 0 && values.size() < 8) {
    values.push_back(input.ConsumeRandomLengthString(64));
  }

  TStringListCSVEX t;
  w.ApplyTo(&t);
  const std::string row = t.JoinFields(values);
  const std::string details = Describe(w, values, row);
  t.AddLine("");
  for (const std::string& v : values) t.AppendCell(0, v);
  fuzz::Check(t.GetLine(0) == row, "AppendCell builds the row JoinFields writes", details);
  fuzz::Check(row.find_first_of("\r\n") == std::string::npos || w.CanQuote(),
              "a row that cannot quote holds no line break", details);

  bool keepable = true;
  bool bare = !w.quoted;
  Values expected;
  for (const std::string& v : values) {
    keepable = keepable && w.Keepable(v);
    bare = bare && w.Bare(v);
    expected.push_back(w.ReadBack(v));
  }
  // A lone empty value is written as two quote marks where there is a quote character.
  if (values.size() == 1 && values[0].empty() && !w.always && w.quote != 0) bare = false;

  if (keepable) {
    t.QuotedFields = true;
    fuzz::Check(ReadAll(t, row, values.size(), details) == expected,
                "the quote-aware split reads back every value", details);
    const long long count = t.CountFields(row);
    fuzz::Check(count == static_cast<long long>(values.size()) || (row.empty() && count == 0),
                "the row has one field per value", details);
  }
  if (bare) {
    t.QuotedFields = false;
    fuzz::Check(ReadAll(t, row, values.size(), details) == expected,
                "the plain split reads back every value of a plain row", details);
  }

  // Replacing one field: that field reads the new value, every other one stays. Unless fields
  // are always quoted, every field of the rebuilt row, the new value included, is unescaped
  // first (its tokens become bytes again), as the row is then written from the values.
  if (!keepable || row.empty() || field_to_replace >= values.size()) return 0;
  w.ApplyTo(&t);
  Values after = expected;
  if (!w.always && !w.escape) {
    for (std::string& v : after) v = UnescapeText(v, w.style, false);
  }
  after[field_to_replace] =
      w.always ? replacement : UnescapeText(replacement, w.style, false);
  for (const std::string& v : after) {
    if (!w.Keepable(v)) return 0;
  }
  Values want;
  for (size_t i = 0; i < after.size(); ++i) {
    want.push_back(i == field_to_replace || (!w.always && !w.escape) ? w.ReadBack(after[i])
                                                                      : after[i]);
  }
  std::string replaced = row;
  t.ReplaceField(&replaced, replacement, static_cast<long long>(field_to_replace));
  t.QuotedFields = true;
  const std::string replaced_details = details + "\nreplaced field " +
                                       std::to_string(field_to_replace) + " by " +
                                       fuzz::Shown(replacement) + ": " + fuzz::Shown(replaced);
  fuzz::Check(ReadAll(t, replaced, values.size(), replaced_details) == want,
              "replacing a field keeps every other field", replaced_details);
  return 0;
}
