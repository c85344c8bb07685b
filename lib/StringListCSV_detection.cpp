// Detection of the delimiter and of quoting, the column count, and taking the format over from
// an existing table file. A list without lines has nothing to detect: settings stay as they are.
#include "MyLib.h"
#include "StringListEX.h"
#include "TableFormat.h"

void TStringListCSVEX::DetectDelimiter() {
  if (lines_.empty()) return;
  Delimiter = DetectDelimiterIn(lines_[0], Delimiter);
}

void TStringListCSVEX::DetectQuotedFields() {
  if (lines_.empty()) return;
  if (QuoteMark == 0) {
    QuotedFields = false;
    return;
  }
  for (size_t i = 0; i < lines_.size(); ++i) {
    std::string_view line = lines_[i];
    // A field quoted at the start of a line is a quoted field as much as one after a delimiter.
    if (!line.empty() && line[0] == QuoteMark) return;
    if (FindPair(line, Delimiter, QuoteMark) != std::string_view::npos) return;
  }
  QuotedFields = false;
}

void TStringListCSVEX::DetectFormat() {
  if (lines_.empty()) return;
  DetectDelimiter();
  if (Delimiter == '\t') {
    QuoteMark = 0;
    QuotedFields = false;
  } else {
    DetectQuotedFields();
  }
}

long long TStringListCSVEX::CountColumns() const {
  if (lines_.empty()) return 0;
  return CountFields(lines_[0]);
}

void TStringListCSVEX::CopyFormatFromFile(const std::string& path) {
  if (!EntryExistsNoCase(path)) return;
  TStringListCSVEX old;
  old.LoadFromFileEX(path, 0);
  TextEncoding = old.TextEncoding;
  WriteBom = old.WriteBom;
  KeepsUtf8Mark = old.KeepsUtf8Mark;
  if (old.LineCount() == 0) return;
  // Without a candidate in the first row the delimiter stays the one the table was read with.
  old.Delimiter = 0;
  old.DetectDelimiter();
  if (old.Delimiter != 0) Delimiter = old.Delimiter;
  if (QuoteMark == 0) {  // no quote character: nothing may ever be written quoted
    QuotedFields = false;
    return;
  }
  // The test looks for the double quote whatever character this table quotes with: it asks how
  // the old file was written, and "-q" only says how the new one is to be.
  old.Delimiter = Delimiter;
  old.QuoteMark = '"';
  old.QuotedFields = true;
  old.DetectQuotedFields();
  QuotedFields = old.QuotedFields;
}
