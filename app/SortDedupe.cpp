// Sort (-s) and duplicate removal (-nd, -ndl), both rewriting the table in place.
#include "Modes.h"
#include "MyLib.h"
#include "Output.h"
#include "TableSetup.h"

namespace {

// Loads the table one physical line per row: records are not joined, so every row is written
// back byte for byte. Quoting is settled as for unpack, so a key holding the delimiter inside
// quotes is one value here too.
void LoadForRewrite(const RunSettings& s, TStringListCSVEX* table) {
  LoadTable(s, table);
  table->DetectQuotedFields();  // also when the command line names the quote character
  // Keys decode stored tokens of the default style; the style options only shape text files.
  table->LineBreakStyle = kStyleRn;
}

// A table without lines has nothing to rewrite, and its file stays exactly as it is. A table
// read from standard input always goes on to standard output, in its own encoding.
void SaveUnlessEmpty(const RunSettings& s, TStringListCSVEX* table) {
  if (IsStandardStream(s.TablePath)) {
    table->SaveToStreamEX(WriteData);
  } else if (table->LineCount() > 0) {
    table->SaveToFileEX(s.TablePath);
  }
}

}  // namespace

void RunSort(const RunSettings& s, TStringListCSVEX* table) {
  PrintLine("Sorted: " + s.TablePath);
  ProgressMeter progress("reading the table", 0);
  LoadForRewrite(s, table);
  progress.Phase("sorting");
  // A header row (named by "-ncfl"/"-ncfld0") stays on top, out of the sort.
  table->SortByColumn(s.KeyColumn, s.NamesFromFirstLine);  // a negative column fails here
  progress.Phase("writing the table");
  SaveUnlessEmpty(s, table);
}

void RunDedupe(const RunSettings& s, TStringListCSVEX* table) {
  PrintLine("Dublicated delete: " + s.TablePath);
  ProgressMeter progress("reading the table", 0);
  LoadForRewrite(s, table);
  progress.Phase("removing duplicates");
  table->RemoveDuplicates(s.KeyColumn, s.KeepLast, s.NamesFromFirstLine);  // likewise
  progress.Phase("writing the table");
  SaveUnlessEmpty(s, table);
}
