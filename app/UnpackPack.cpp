// Unpack (-u): every column of the table to a text file of its own, one line per row.
// Pack (-p): the table built back from those files, line r of each file a field of row r.
#include <algorithm>
#include <memory>

#include "ColumnFiles.h"
#include "Error.h"
#include "Modes.h"
#include "MyLib.h"
#include "Output.h"
#include "Platform.h"
#include "TableFileWriter.h"
#include "TableSetup.h"

namespace {

// Each pass over the rows feeds this many column files at once; wider tables take more passes
// (the open files and their buffers are what limits it).
constexpr long long kColumnsPerPass = 64;

// Bytes a column gathers before they go to its file in one write.
constexpr size_t kColumnChunk = size_t{1} << 20;

// Writes columns [first, last) of the table's rows from `first_row` on, splitting each row once.
void WriteColumnFiles(const RunSettings& settings, const TStringListCSVEX& table,
                      const std::vector<std::string>& names, long long first, long long last) {
  std::vector<std::unique_ptr<platform::AtomicFileWriter>> writers;
  for (long long c = first; c < last; ++c) {
    writers.push_back(std::make_unique<platform::AtomicFileWriter>(ActualPath(names[c])));
  }
  std::vector<std::string> chunks(writers.size());
  TStringListCSVEX::FieldBuffer fields;
  const long long first_row = settings.SkipFirstLine ? 1 : 0;
  for (long long r = first_row; r < table.LineCount(); ++r) {
    table.ReadFields(table.LineView(r), &fields);
    for (long long c = first; c < last; ++c) {
      std::string& chunk = chunks[c - first];
      if (c < static_cast<long long>(fields.values.size())) {
        AppendEscaped(&chunk, fields.values[c], settings.FormatEnter, true);
      }
      chunk.append("\r\n");
      if (chunk.size() >= kColumnChunk) {
        writers[c - first]->Write(chunk);
        chunk.clear();
      }
    }
  }
  for (size_t i = 0; i < writers.size(); ++i) {
    writers[i]->Write(chunks[i]);
    writers[i]->Commit();
  }
}

// The column files pack reads: the named files of the old table's header (every one of them
// must exist), or the numbered files up to the first one missing.
std::vector<std::string> PackColumnFiles(const RunSettings& settings, TStringListCSVEX* old) {
  std::vector<std::string> names;
  if (settings.NamesFromFirstLine) {
    PrepareTable(settings, old);
    names = ColumnFileNames(settings, *old, WidestRow(*old));
    for (const std::string& name : names) {
      if (!EntryExistsNoCase(name)) throw NotFoundError(name);
    }
    return names;
  }
  for (long long c = 0;; ++c) {
    std::string name = NumberedFileName(settings, c);
    if (!EntryExistsNoCase(name)) {
      if (c == 0) throw NotFoundError(name);  // no column at all: keep the old table
      return names;
    }
    names.push_back(name);
  }
}

}  // namespace

void RunUnpack(const RunSettings& settings, TStringListCSVEX* table) {
  PrepareTable(settings, table);
  // Without "-c" the widest row decides, so no value of a longer row is ever dropped.
  const long long columns = settings.ColumnCount > 0 ? settings.ColumnCount : WidestRow(*table);
  PrintLine("UNPACK: " + settings.TablePath);
  if (table->LineCount() == 0) return;
  const std::vector<std::string> names = ColumnFileNames(settings, *table, columns);
  CreateFolderIfMissing(settings.Folder);
  for (long long first = 0; first < columns; first += kColumnsPerPass) {
    WriteColumnFiles(settings, *table, names, first, std::min(columns, first + kColumnsPerPass));
  }
}

void RunPack(const RunSettings& settings, TStringListCSVEX* table) {
  table->Delimiter = settings.DelimiterChar;
  table->QuoteMark = settings.QuoteSymbol;
  table->QuotedFields = settings.UseQuotes;
  if (settings.AutoDelimiter) table->CopyFormatFromFile(settings.TablePath);
  table->LineBreakStyle = settings.FormatEnter;
  PrintLine("PACK: " + settings.TablePath);

  TStringListCSVEX old;
  old.AlwaysQuote = table->AlwaysQuote;
  old.EscapeLineBreaks = table->EscapeLineBreaks;
  const std::vector<std::string> names = PackColumnFiles(settings, &old);
  // "-ncfld0" keeps the old header row as it is; the files hold the rows after it.
  const bool keep_header = settings.SkipFirstLine && settings.NamesFromFirstLine;
  const long long header_rows = keep_header && old.LineCount() > 0 ? 1 : 0;
  const std::string header = header_rows > 0 ? old.GetLine(0) : std::string();
  old.ClearLines();  // before the column files come in

  std::vector<std::unique_ptr<TextFileLines>> files;
  for (const std::string& name : names) files.push_back(std::make_unique<TextFileLines>(name));
  // Rows go straight to the file: the table is never held whole, only its column files.
  TableFileWriter writer(*table, settings.TablePath);
  if (header_rows > 0) writer.WriteRow(header);
  std::vector<std::string> values(files.size());
  std::string_view line;
  long long rows = 0;
  // The first file decides the rows; a shorter later file gives empty cells.
  while (!files.empty() && files[0]->Next(&line)) {
    values[0].clear();
    AppendUnescaped(&values[0], line, settings.FormatEnter, true);
    for (size_t c = 1; c < files.size(); ++c) {
      values[c].clear();
      if (files[c]->Taken() == rows && files[c]->Next(&line)) {
        AppendUnescaped(&values[c], line, settings.FormatEnter, true);
      }
    }
    writer.WriteRow(table->JoinFields(values));
    ++rows;
  }
  for (size_t c = 1; c < files.size(); ++c) {
    if (files[c]->Taken() < rows) {
      PrintLine("Warning count lines csv moree txt: csv=" + std::to_string(rows + header_rows) +
                " txt=" + std::to_string(files[c]->Taken()));
    }
  }
  writer.Commit();
}
