#include "TableSetup.h"

std::unique_ptr<TStringListCSVEX> CreateTableList(const RunSettings& settings) {
  auto table = std::make_unique<TStringListCSVEX>();
  // The two flags always travel together: "-qopt" turns both off.
  table->AlwaysQuote = !settings.QuoteOptimize;
  table->EscapeLineBreaks = !settings.QuoteOptimize;
  return table;
}

void LoadTable(const RunSettings& settings, TStringListCSVEX* table) {
  table->LoadFromFileEX(settings.TablePath, 0);
  table->Delimiter = settings.DelimiterChar;
  table->QuoteMark = settings.QuoteSymbol;
  table->QuotedFields = settings.UseQuotes;
  if (settings.AutoDelimiter) table->DetectDelimiter();
}

void PrepareTable(const RunSettings& settings, TStringListCSVEX* table) {
  LoadTable(settings, table);
  if (settings.AutoQuote) table->DetectQuotedFields();
  table->LineBreakStyle = settings.FormatEnter;
  table->AssembleRecords();
}
