// Unpack column (-uc, -ucn): one column's values to a text file, one value per line.
// Pack column (-pc, -pcn): the lines of that file back into the column, row by row.
#include <memory>

#include "ColumnFiles.h"
#include "Error.h"
#include "FieldScanner.h"
#include "Modes.h"
#include "MyLib.h"
#include "Output.h"
#include "Platform.h"
#include "TableSetup.h"

namespace {

// Bytes of the text file gathered before they go to the file in one write.
constexpr size_t kTextChunk = size_t{1} << 20;

// Pack column hands its rows to the table's file in pieces of about this many bytes.
constexpr size_t kRowsPiece = size_t{256} << 10;

// A column named on the command line is always looked up in the first row: silently taking
// column 0 instead would read or overwrite the wrong values.
int32_t ChosenColumn(const RunSettings& settings, const TStringListCSVEX& table) {
  return settings.ColumnByName ? FindColumnByName(table, settings.ColumnName) : settings.Column;
}

// Where the lines of unpack column go: the text file, created only once there is a line to
// write (so that an existing file stays when there is none), or standard output ("-").
class TextOutput {
 public:
  explicit TextOutput(const std::string& path) : path_(path) {}
  void Write(const std::string& text) {
    if (text.empty()) return;
    if (IsStandardStream(path_)) {
      WriteData(text);
      return;
    }
    if (!file_) {
      folder_ = std::make_unique<NewFolders>(FolderPart(path_));
      file_ = std::make_unique<platform::AtomicFileWriter>(ActualPath(path_));
    }
    file_->Write(text);
  }
  void Commit() {
    if (file_) {
      file_->Commit();
      folder_->Keep();
    } else if (!IsStandardStream(path_)) {
      CreateFolderIfMissing(FolderPart(path_));
    }
  }

 private:
  std::string path_;
  std::unique_ptr<NewFolders> folder_;  // a failed run removes the folders it made
  std::unique_ptr<platform::AtomicFileWriter> file_;
};

}  // namespace

void RunUnpackColumn(const RunSettings& settings, TStringListCSVEX* table) {
  ProgressMeter progress("reading the table", 0);
  // Little is done with each record here: the reading thread hands over lines, and their
  // records are joined on this thread, which would otherwise wait for it.
  FieldRecords records(settings, table, false, Joining::kHere);
  PrintLine("UNPACK COLOM: " + settings.TablePath);
  const int32_t column = ChosenColumn(settings, *table);  // no name is found in an empty table
  if (column < 0 || !records.HasLines()) return;
  const TableFormat& format = records.Format();
  FieldDialect dialect = format.Dialect();
  dialect.nul_free = true;  // every record the reader gives was looked at for one
  UnreadableValues unreadable(
      settings.FormatEnter,
      format.escape_line_breaks ? std::string() : LineBreakToken(format.style, format.join_kind));
  progress.Count("unpack column", 0);
  TextOutput output(settings.TextPath);
  std::string text;
  std::string scratch;
  std::string_view record;
  bool first_line = true;
  const byte_search::StopBytes marked = BareFieldStops(dialect.delimiter);
  for (long long r = 0; records.Next(&record); ++r) {
    progress.Advance(record.size() + 2);
    if (r < (settings.SkipFirstLine ? 1 : 0)) continue;
    // The column's field; a bare one is its own value, with nothing to escape in it.
    FieldScanner scanner(record, dialect);
    bool bare = false;
    // The fields before it split as Next() splits them; most are found without a call.
    for (int32_t k = 0; k < column && !scanner.Done(); ++k) scanner.NextBare(marked, &bare);
    bare = false;
    std::string_view value;
    if (!scanner.Done()) {
      const RawField raw = scanner.NextBare(marked, &bare);
      value = bare ? raw.bytes : FieldValue(raw, dialect, &scratch);
    }
    if (settings.ClearEmpty && value.empty()) continue;
    const bool edge_space = !value.empty() && (value.front() == ' ' || value.back() == ' ');
    if (bare && !edge_space && !first_line) {
      text.append(value);
    } else {
      unreadable.Check(value, r, column, first_line);
      AppendEscaped(&text, value, settings.FormatEnter, true);
    }
    first_line = false;
    text.append("\r\n");
    if (text.size() >= kTextChunk) {
      output.Write(text);
      text.clear();
    }
  }
  output.Write(text);
  output.Commit();
  unreadable.Report([&records] { return records.JoinTokenInText(); });
}

void RunPackColumn(const RunSettings& settings, TStringListCSVEX* table) {
  ProgressMeter progress("reading the table", 0);
  // The table streams through, each record written as soon as its value is in; only its row
  // 0 stays in `table` (where a column name is looked up).
  FieldRecords records(settings, table, true);  // read once, and replaced
  PrintLine("PACK COLOM: " + settings.TablePath);
  if (!IsStandardStream(settings.TextPath) && !EntryExistsNoCase(settings.TextPath)) {
    throw NotFoundError(settings.TextPath);
  }
  TextFileLines lines(settings.TextPath);
  lines.RefuseNulAhead();  // a text file that is no text is refused before anything else
  const int32_t column = ChosenColumn(settings, *table);  // no name is found in an empty table
  if (!records.HasLines()) {                              // an empty table is left as it is
    if (IsStandardStream(settings.TablePath)) table->SaveToStreamEX(WriteData);
    return;
  }
  TableOutput output(*table, settings.TablePath);
  progress.Count("pack column", records.TextLength());
  const long long first_row = settings.SkipFirstLine ? 1 : 0;
  FieldDialect dialect = records.Format().Dialect();
  dialect.nul_free = true;  // every record the reader gives was looked at for one
  // Rows after the first are built one after the other, each followed by CR LF, and handed
  // over a piece at a time; the first goes alone, for the checks of a table's first row.
  std::string rows;
  rows.reserve(kRowsPiece + kRowsPiece / 4);
  std::string scratch;
  std::string value;
  std::string_view record;
  std::string_view line;
  // A line without a token in it is its own value; most are found so many lines at a time.
  const PlainLineTest plain_test = PlainTestForRows(*table, settings.FormatEnter);
  bool plain = false;
  auto hand_over = [&] {
    output.WriteRows(rows);
    rows.clear();
  };
  for (long long r = 0; records.Next(&record); ++r) {
    progress.Advance(record.size() + 2);
    if (column < 0 || r < first_row) {
      rows.append(record);
    } else if (lines.AtEnd()) {
      hand_over();  // the rows before the warning go first
      PrintLine("Warning count lines csv moree txt: csv=" + std::to_string(r) +
                " txt=" + std::to_string(lines.Taken()));
      rows.append(record);
    } else if (settings.ClearEmpty && FieldAt(record, column, dialect, &scratch).empty()) {
      table->AppendReplaced(record, std::string_view(), column, true, &rows);
    } else {
      lines.Next(&line, plain_test, &plain);
      table->AppendReplaced(
          record, plain ? line : UnescapedView(line, settings.FormatEnter, true, &value), column,
          true, &rows, plain);
    }
    if (r == 0) {
      output.WriteRow(rows);
      rows.clear();
      continue;
    }
    rows.append("\r\n", 2);
    if (rows.size() >= kRowsPiece) hand_over();
  }
  hand_over();
  // A NUL byte in the lines not used is refused as one in the lines used is.
  const long long used = lines.Taken();
  if (column >= 0) lines.TakeRest();
  output.Commit();
  if (column >= 0) lines.ReportUnusedLines(used);
}
