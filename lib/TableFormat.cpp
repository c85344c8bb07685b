#include "TableFormat.h"

#include "Platform.h"
#include "StringListEX.h"

namespace {

bool IsDelimiterCandidate(char c) { return c == '\t' || c == ',' || c == ';' || c == '|'; }

// The table's encoding as it was read: UTF-16 with its mark, or a UTF-8 mark that goes back
// with the table so the file still opens as UTF-8.
void TakeEncoding(const TableProbe& probe, TableFormat* format) {
  format->encoding = probe.encoding;
  format->write_bom = probe.write_bom;
  if (probe.utf8_mark) {
    format->encoding = TStringListEX::kEncodingUtf8;
    format->write_bom = true;
    format->keeps_utf8_mark = true;
  }
}

}  // namespace

char DetectDelimiterIn(std::string_view s, char fallback) {
  const size_t length = s.size();
  // Positions count from 1 here; the last byte is looked at only after an unclosed quote.
  auto at = [&s](size_t i) { return s[i - 1]; };
  const platform::LeadBytes& lead = platform::SystemLeadBytes();
  for (size_t i = 1; i < length; ++i) {
    if (at(i) == '"') {
      ++i;
      while (at(i) != '"' && i < length) ++i;
    }
    if (IsDelimiterCandidate(at(i))) return at(i);
    // A "|" may be the second byte of a double-byte character; it is not a delimiter then.
    if (lead.IsLead(at(i))) ++i;
  }
  return fallback;
}

char ChosenDelimiter(const FormatChoice& choice, std::string_view first_line) {
  return choice.auto_delimiter ? DetectDelimiterIn(first_line, choice.delimiter) : choice.delimiter;
}

TableFormat FormatForFields(const FormatChoice& choice, const TableProbe& probe) {
  TableFormat format;
  format.delimiter = probe.has_lines ? ChosenDelimiter(choice, probe.first_line) : choice.delimiter;
  format.quote = choice.quote;
  format.quoted_fields = choice.use_quotes;
  // Quoted fields stay on only where the text shows one: a line starting with the quote mark
  // or the delimiter right before it. A table without lines has nothing to show either way.
  if (choice.auto_quote && probe.has_lines && !probe.quote_after_delimiter) {
    format.quoted_fields = false;
  }
  format.always_quote = !choice.quote_optimize;
  format.escape_line_breaks = !choice.quote_optimize;
  format.style = choice.style;
  TakeEncoding(probe, &format);
  return format;
}

TableFormat FormatForRewrite(const FormatChoice& choice, const TableProbe& probe) {
  FormatChoice rewrite = choice;
  rewrite.auto_quote = true;
  rewrite.style = 2;
  return FormatForFields(rewrite, probe);
}

TableFormat FormatForPack(const FormatChoice& choice, const TableProbe* old) {
  TableFormat format;
  format.delimiter = choice.delimiter;
  format.quote = choice.quote;
  format.quoted_fields = choice.use_quotes;
  format.always_quote = !choice.quote_optimize;
  format.escape_line_breaks = !choice.quote_optimize;
  format.style = choice.style;
  if (!choice.auto_delimiter || old == nullptr) return format;
  TakeEncoding(*old, &format);
  if (!old->has_lines) return format;
  format.delimiter = ChosenDelimiter(choice, old->first_line);
  // Without a quote character nothing may ever be written quoted.
  format.quoted_fields = choice.quote != 0 && old->quote_after_delimiter;
  return format;
}

void ApplyFormat(const TableFormat& format, TStringListCSVEX* table) {
  table->Delimiter = format.delimiter;
  table->QuoteMark = format.quote;
  table->QuotedFields = format.quoted_fields;
  table->AlwaysQuote = format.always_quote;
  table->EscapeLineBreaks = format.escape_line_breaks;
  table->LineBreakStyle = format.style;
  table->RecordJoinKind = format.join_kind;
  table->TextEncoding = format.encoding;
  table->WriteBom = format.write_bom;
  table->KeepsUtf8Mark = format.keeps_utf8_mark;
}

TableFormat FormatOf(const TStringListCSVEX& table) {
  TableFormat format;
  format.delimiter = table.Delimiter;
  format.quote = table.QuoteMark;
  format.quoted_fields = table.QuotedFields;
  format.always_quote = table.AlwaysQuote;
  format.escape_line_breaks = table.EscapeLineBreaks;
  format.style = table.LineBreakStyle;
  format.join_kind = table.RecordJoinKind;
  format.encoding = table.TextEncoding;
  format.write_bom = table.WriteBom;
  format.keeps_utf8_mark = table.KeepsUtf8Mark;
  return format;
}
