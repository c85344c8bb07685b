// Reading fields out of a row: the table's settings as a field dialect, over the field layer.
#include <vector>

#include "Error.h"
#include "FieldScanner.h"
#include "MyLib.h"
#include "StringListEX.h"

FieldDialect TStringListCSVEX::Dialect() const {
  return FieldDialect{Delimiter, QuoteMark, QuotedFields, EscapeLineBreaks, LineBreakStyle};
}

std::string TStringListCSVEX::GetFieldPlain(std::string_view row, long long n) const {
  // A negative field number is an index error in both splits, so no mode can tell them apart.
  if (n < 0) throw IndexError(n);
  const FieldDialect plain{Delimiter, QuoteMark, false, false, LineBreakStyle};
  std::string scratch;
  return std::string(FieldAt(row, n, plain, &scratch));
}

void TStringListCSVEX::SplitRow(std::string_view row) {
  ClearLines();
  FieldScanner scanner(row, Delimiter, QuoteMark, true);
  std::string scratch;
  while (!scanner.Done()) AddLine(TokenValue(scanner.Next(), QuoteMark, &scratch));
}

std::string TStringListCSVEX::GetFieldQuoted(std::string_view row, long long n) const {
  if (n < 0) throw IndexError(n);
  const FieldDialect quoted{Delimiter, QuoteMark, true, false, LineBreakStyle};
  std::string scratch;
  return std::string(FieldAt(row, n, quoted, &scratch));
}

bool TStringListCSVEX::FieldView(std::string_view row, long long n, std::string_view* field) const {
  if (n < 0) throw IndexError(n);
  std::string scratch;
  *field = FieldAt(row, n, Dialect(), &scratch);
  if (field->empty()) *field = std::string_view();
  return field->empty() || field->data() != scratch.data();
}

std::string TStringListCSVEX::GetField(std::string_view row, long long n) const {
  if (n < 0) throw IndexError(n);
  std::string scratch;
  return std::string(FieldAt(row, n, Dialect(), &scratch));
}

std::string TStringListCSVEX::GetCell(long long r, long long n) const {
  return GetField(LineView(r), n);
}

void TStringListCSVEX::SplitRowFields(std::string_view row,
                                      std::vector<std::string>* fields) const {
  size_t count = 0;
  FieldScanner scanner(row, Delimiter, QuoteMark, true);
  std::string scratch;
  while (!scanner.Done()) {
    if (count == fields->size()) fields->emplace_back();
    const std::string_view value = TokenValue(scanner.Next(), QuoteMark, &scratch);
    (*fields)[count++].assign(value.data(), value.size());
  }
  fields->resize(count);
}

void TStringListCSVEX::ReadFields(std::string_view row, FieldBuffer* buffer) const {
  FieldCursor cursor;
  ReadSomeFields(row, -1, &cursor, buffer);
}

void TStringListCSVEX::ReadSomeFields(std::string_view row, long long count, FieldCursor* cursor,
                                      FieldBuffer* buffer) const {
  std::vector<std::string_view>& values = buffer->values;
  values.clear();
  buffer->exact.clear();
  const FieldDialect dialect = Dialect();
  thread_local std::vector<RawField> raws;  // reused: one row after the other
  raws.clear();
  FieldScanner scanner(row, dialect, *cursor);
  while (!scanner.Done() && (count < 0 || static_cast<long long>(raws.size()) < count)) {
    raws.push_back(scanner.Next());
  }
  *cursor = scanner.Where();
  // Only the values that differ from their bytes in the row are built, each in a string of its
  // own that is reused from row to row (sized first: the values view them).
  if (buffer->owned.size() < raws.size()) buffer->owned.resize(raws.size());
  for (size_t k = 0; k < raws.size(); ++k) {
    values.push_back(FieldValue(raws[k], dialect, &buffer->owned[k]));
    buffer->exact.push_back(raws[k].exact);
  }
}

long long TStringListCSVEX::CountFields(std::string_view row) const {
  return CountRowFields(row, Dialect());
}
