// Unpack column (-uc, -ucn): one column's values to a text file, one value per line.
// Pack column (-pc, -pcn): the lines of that file back into the column, row by row.
#include <memory>
#include <optional>

#include "ColumnFiles.h"
#include "Error.h"
#include "Modes.h"
#include "MyLib.h"
#include "Output.h"
#include "Platform.h"
#include "TableFileWriter.h"
#include "TableSetup.h"

namespace {

// Bytes of the text file gathered before they go to the file in one write.
constexpr size_t kTextChunk = size_t{1} << 20;

// A column named on the command line is always looked up in the first row: silently taking
// column 0 instead would read or overwrite the wrong values.
int32_t ChosenColumn(const RunSettings& settings, const TStringListCSVEX& table) {
  return settings.ColumnByName ? FindColumnByName(table, settings.ColumnName) : settings.Column;
}

}  // namespace

void RunUnpackColumn(const RunSettings& settings, TStringListCSVEX* table) {
  // A first quick pass settles the format and refuses a table holding a NUL byte before
  // anything is written; the second streams the records, so the table is never held whole.
  const std::optional<std::string> found = FindEntryNoCase(settings.TablePath);
  const TableProbe probe = found ? ProbeTable(settings, *found) : TableProbe();
  const TableFormat format = FormatForFields(ChoiceOf(settings), probe);
  ApplyFormat(format, table);
  PrintLine("UNPACK COLOM: " + settings.TablePath);
  if (!probe.has_lines) return;
  TableRecords records(*found, format);
  std::string_view record;
  records.Next(&record);
  table->AddLine(record);  // row 0, where a column name is looked up
  const int32_t column = ChosenColumn(settings, *table);
  if (column < 0) return;
  const FieldDialect dialect = format.Dialect();
  std::unique_ptr<platform::AtomicFileWriter> writer;  // made once there is a line to write
  std::string text;
  std::string scratch;
  auto flush = [&]() {
    if (text.empty()) return;
    if (!writer) {
      CreateFolderIfMissing(FolderPart(settings.TextPath));
      writer = std::make_unique<platform::AtomicFileWriter>(ActualPath(settings.TextPath));
    }
    writer->Write(text);
    text.clear();
  };
  long long r = 0;
  do {
    if (r++ < (settings.SkipFirstLine ? 1 : 0)) continue;
    const size_t before = text.size();
    AppendEscaped(&text, FieldAt(record, column, dialect, &scratch), settings.FormatEnter, true);
    if (settings.ClearEmpty && text.size() == before) continue;
    text.append("\r\n");
    if (text.size() >= kTextChunk) flush();
  } while (records.Next(&record));
  flush();
  if (!writer) {  // nothing to write: an existing text file stays as it was
    CreateFolderIfMissing(FolderPart(settings.TextPath));
    return;
  }
  writer->Commit();
}

void RunPackColumn(const RunSettings& settings, TStringListCSVEX* table) {
  PrepareTable(settings, table);
  PrintLine("PACK COLOM: " + settings.TablePath);
  if (!EntryExistsNoCase(settings.TextPath)) throw NotFoundError(settings.TextPath);
  TextFileLines lines(settings.TextPath);
  if (table->LineCount() == 0) return;  // an empty table is left as it is
  const int32_t column = ChosenColumn(settings, *table);
  // Rows go straight to the file, so the table is never held twice.
  TableFileWriter writer(*table, settings.TablePath);
  const long long first_row = settings.SkipFirstLine ? 1 : 0;
  std::string row;
  std::string_view line;
  for (long long r = 0; r < table->LineCount(); ++r) {
    row.assign(table->LineView(r));
    if (column >= 0 && r >= first_row) {
      if (lines.AtEnd()) {
        PrintLine("Warning count lines csv moree txt: csv=" + std::to_string(r) +
                  " txt=" + std::to_string(lines.Taken()));
      } else if (settings.ClearEmpty && table->GetField(row, column).empty()) {
        table->ReplaceField(&row, std::string(), column, true);
      } else {
        lines.Next(&line);
        table->ReplaceField(&row, UnescapeText(line, settings.FormatEnter, true), column, true);
      }
    }
    writer.WriteRow(row);
  }
  writer.Commit();
}
