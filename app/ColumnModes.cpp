// Unpack column (-uc, -ucn): one column's values to a text file, one value per line.
// Pack column (-pc, -pcn): the lines of that file back into the column, row by row.
#include "ColumnFiles.h"
#include "Error.h"
#include "Modes.h"
#include "MyLib.h"
#include "Output.h"
#include "Platform.h"
#include "TableFileWriter.h"
#include "TableSetup.h"

namespace {

// A column named on the command line is always looked up in the first row: silently taking
// column 0 instead would read or overwrite the wrong values.
int32_t ChosenColumn(const RunSettings& settings, const TStringListCSVEX& table) {
  return settings.ColumnByName ? FindColumnByName(table, settings.ColumnName) : settings.Column;
}

}  // namespace

void RunUnpackColumn(const RunSettings& settings, TStringListCSVEX* table) {
  PrepareTable(settings, table);
  PrintLine("UNPACK COLOM: " + settings.TablePath);
  if (table->LineCount() == 0) return;
  const int32_t column = ChosenColumn(settings, *table);
  if (column < 0) return;
  std::string text;
  const long long first_row = settings.SkipFirstLine ? 1 : 0;
  for (long long r = first_row; r < table->LineCount(); ++r) {
    const size_t before = text.size();
    AppendEscaped(&text, table->GetCell(r, column), settings.FormatEnter, true);
    if (settings.ClearEmpty && text.size() == before) continue;
    text.append("\r\n");
  }
  CreateFolderIfMissing(FolderPart(settings.TextPath));
  if (text.empty()) return;  // nothing to write: an existing text file stays as it was
  platform::AtomicFileWriter writer(ActualPath(settings.TextPath));
  writer.Write(text);
  writer.Commit();
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
