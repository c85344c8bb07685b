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

// A table without lines has nothing to rewrite, and its file stays exactly as it is.
void SaveUnlessEmpty(const RunSettings& s, TStringListCSVEX* table) {
  if (table->LineCount() > 0) table->SaveToFileEX(s.TablePath);
}

}  // namespace

void RunSort(const RunSettings& s, TStringListCSVEX* table) {
  PrintLine("Sorted: " + s.TablePath);
  LoadForRewrite(s, table);
  table->SortByColumn(s.KeyColumn);  // a negative column fails here, before anything is written
  SaveUnlessEmpty(s, table);
}

void RunDedupe(const RunSettings& s, TStringListCSVEX* table) {
  PrintLine("Dublicated delete: " + s.TablePath);
  LoadForRewrite(s, table);
  table->RemoveDuplicates(s.KeyColumn, s.KeepLast);  // likewise for a negative column
  SaveUnlessEmpty(s, table);
}
