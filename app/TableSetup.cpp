#include "TableSetup.h"

#include "MyLib.h"

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

FormatChoice ChoiceOf(const RunSettings& settings) {
  FormatChoice choice;
  choice.delimiter = settings.DelimiterChar;
  choice.quote = settings.QuoteSymbol;
  choice.use_quotes = settings.UseQuotes;
  choice.auto_delimiter = settings.AutoDelimiter;
  choice.auto_quote = settings.AutoQuote;
  choice.quote_optimize = settings.QuoteOptimize;
  choice.style = settings.FormatEnter;
  return choice;
}

TableProbe ProbeTable(const RunSettings& settings, const std::string& path) {
  const FormatChoice choice = ChoiceOf(settings);
  return ProbeTableFile(path, choice.quote, [&choice](std::string_view first_line) {
    return ChosenDelimiter(choice, first_line);
  });
}

TableRecords::TableRecords(const std::string& path, const TableFormat& format)
    : text_(path),
      lines_(&text_),
      records_(&lines_, format.delimiter, format.quote,
               LineBreakToken(format.style, format.join_kind)) {}
