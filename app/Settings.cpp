// Reading the command line into the run settings, and the settings that follow from them.
#include "Settings.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "MyLib.h"
#include "Platform.h"

namespace {

// What an option expects after its name.
enum class ValueKind {
  kNone,     // a switch
  kInteger,  // a 32-bit signed number
  kText,     // any text, kept as typed
  kChar,     // the first character counts; an empty value leaves the setting alone
};

// The value of an option as typed, and its number when the option takes an integer.
struct Value {
  const std::string& text;
  int32_t number;
};

// One command-line option: its lower-case spelling, its value, what it sets, and the messages
// for a missing value and for a value that is no integer (null: "Error value " + the option).
// An option whose `ends_parse` is not kRun stops reading the command line with that outcome.
struct Option {
  const char* spelling;
  ValueKind kind;
  void (*apply)(RunSettings* s, const Value& value);
  const char* missing_message = nullptr;
  const char* not_integer_message = nullptr;
  ParseOutcome ends_parse = ParseOutcome::kRun;
};

void SetQuote(RunSettings* s, const Value& v) {
  // A double quote is awkward to type in most shells, so "q" stands for it.
  s->QuoteSymbol = v.text[0] == 'q' ? '"' : v.text[0];
}

void SetDelimiter(RunSettings* s, const Value& v) {
  // A TAB is hard to type on a command line, so it has a name and the usual escape.
  const bool tab = FoldAsciiCase(v.text) == "tab" || v.text == "\\t";
  s->DelimiterChar = tab ? '\t' : v.text[0];
}

// Options that set a line-break style differ only in the style number.
template <uint8_t kStyle>
void SetStyle(RunSettings* s, const Value&) {
  s->FormatEnter = kStyle;
}

const Option kOptions[] = {
    {"-u", ValueKind::kNone, [](RunSettings* s, const Value&) { s->Mode = kModeUnpack; }},
    {"-p", ValueKind::kNone, [](RunSettings* s, const Value&) { s->Mode = kModePack; }},
    {"-s", ValueKind::kInteger,
     [](RunSettings* s, const Value& v) {
       s->Mode = kModeSort;
       s->KeyColumn = v.number;
     }},
    {"-nd", ValueKind::kInteger,
     [](RunSettings* s, const Value& v) {
       s->Mode = kModeDedupe;
       s->KeyColumn = v.number;
     }},
    {"-ndl", ValueKind::kInteger,
     [](RunSettings* s, const Value& v) {
       s->Mode = kModeDedupe;
       s->KeepLast = true;
       s->KeyColumn = v.number;
     }},
    {"-uc", ValueKind::kInteger,
     [](RunSettings* s, const Value& v) {
       s->Mode = kModeUnpackColumn;
       s->Column = v.number;
     }},
    {"-pc", ValueKind::kInteger,
     [](RunSettings* s, const Value& v) {
       s->Mode = kModePackColumn;
       s->Column = v.number;
     }},
    {"-ucn", ValueKind::kText,
     [](RunSettings* s, const Value& v) {
       s->Mode = kModeUnpackColumn;
       s->ColumnName = v.text;
       s->ColumnByName = true;
     }},
    {"-pcn", ValueKind::kText,
     [](RunSettings* s, const Value& v) {
       s->Mode = kModePackColumn;
       s->ColumnName = v.text;
       s->ColumnByName = true;
     }},
    {"-namefiles", ValueKind::kText, [](RunSettings* s, const Value& v) { s->NameFiles = v.text; }},
    {"-d", ValueKind::kChar, SetDelimiter, "Error delimited input..."},
    {"-q", ValueKind::kChar, SetQuote, "Error quote input..."},
    {"-qopt", ValueKind::kNone, [](RunSettings* s, const Value&) { s->QuoteOptimize = true; }},
    {"-c", ValueKind::kInteger, [](RunSettings* s, const Value& v) { s->ColumnCount = v.number; },
     "Error colom input...", "Error CountColomn not value..."},
    {"-fenone", ValueKind::kNone, SetStyle<kStyleNone>},
    {"-feda", ValueKind::kNone, SetStyle<kStyleDa>},
    {"-fern", ValueKind::kNone, SetStyle<kStyleRn>},
    {"-fehex", ValueKind::kNone, SetStyle<kStyleHex>},
    {"-fehlm", ValueKind::kNone, SetStyle<kStyleHlm>},
    {"-ncfl", ValueKind::kNone, [](RunSettings* s, const Value&) { s->NamesFromFirstLine = true; }},
    {"-ncfld0", ValueKind::kNone,
     [](RunSettings* s, const Value&) {
       s->NamesFromFirstLine = true;
       s->SkipFirstLine = true;
     }},
    {"-ce", ValueKind::kNone, [](RunSettings* s, const Value&) { s->ClearEmpty = true; }},
    {"--help", ValueKind::kNone, nullptr, nullptr, nullptr, ParseOutcome::kHelp},
    {"-h", ValueKind::kNone, nullptr, nullptr, nullptr, ParseOutcome::kHelp},
    {"-?", ValueKind::kNone, nullptr, nullptr, nullptr, ParseOutcome::kHelp},
    {"--version", ValueKind::kNone, nullptr, nullptr, nullptr, ParseOutcome::kVersion},
};

const Option* FindOption(const std::string& name) {
  for (const Option& option : kOptions) {
    if (name == option.spelling) return &option;
  }
  return nullptr;
}

// The argument at ArgIndex, which then moves on; null when the arguments are used up. ArgIndex
// counts like argv, where the program itself is argument 0 and `args` starts at argument 1.
const std::string* TakeArgument(const std::vector<std::string>& args, RunSettings* s) {
  const size_t index = static_cast<size_t>(s->ArgIndex) - 1;
  if (index >= args.size()) return nullptr;
  ++s->ArgIndex;
  return &args[index];
}

ParseResult Fault(const char* message, const RunSettings& s) {
  return {ParseOutcome::kFault, message ? message : "Error value " + s.CurrentOption, {}};
}

// Takes the option's value, if it has one, and applies it.
ParseResult ApplyOption(const Option& option, const std::vector<std::string>& args,
                        RunSettings* s) {
  if (option.ends_parse != ParseOutcome::kRun) return {option.ends_parse, "", {}};
  static const std::string kNoValue;
  if (option.kind == ValueKind::kNone) {
    option.apply(s, Value{kNoValue, 0});
    return {};
  }
  const std::string* value = TakeArgument(args, s);
  if (value == nullptr) return Fault(option.missing_message, *s);
  int32_t number = 0;
  if (option.kind == ValueKind::kInteger && !ParseInt32(*value, &number)) {
    return Fault(option.not_integer_message, *s);
  }
  if (option.kind == ValueKind::kChar && value->empty()) return {};
  option.apply(s, Value{*value, number});
  return {};
}

int DigitValue(char c, int base) {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& args, RunSettings* settings) {
  if (args.empty()) return {ParseOutcome::kUsageAndWait, "", {}};
  ParseResult result;
  int paths_seen = 0;
  while (const std::string* arg = TakeArgument(args, settings)) {
    if (arg->empty() || (*arg)[0] != '-' || IsStandardStream(*arg)) {
      if (paths_seen == 0) settings->TablePath = *arg;
      if (paths_seen == 1) settings->Folder = *arg;
      ++paths_seen;
      continue;
    }
    settings->CurrentOption = FoldAsciiCase(*arg);
    const Option* option = FindOption(settings->CurrentOption);
    if (option == nullptr) {
      result.unknown_options.push_back(*arg);
      continue;
    }
    ParseResult applied = ApplyOption(*option, args, settings);
    if (applied.outcome != ParseOutcome::kRun) {
      applied.unknown_options = std::move(result.unknown_options);
      return applied;
    }
  }
  if (settings->TablePath.empty()) result.outcome = ParseOutcome::kNoTablePath;
  return result;
}

bool ParseInt32(const std::string& text, int32_t* value) {
  size_t i = text.find_first_not_of(' ');
  if (i == std::string::npos) return false;
  const bool negative = text[i] == '-';
  if (text[i] == '-' || text[i] == '+') ++i;
  int base = 10;
  if (text.compare(i, 1, "$") == 0) {
    base = 16;
    i += 1;
  } else if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return false;
  const uint64_t limit = negative ? uint64_t{1} << 31 : (uint64_t{1} << 31) - 1;
  uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i], base);
    if (digit < 0) return false;
    magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    // Checked digit by digit, so that a long run of digits can never wrap around.
    if (magnitude > limit) return false;
  }
  const int64_t signed_value =
      negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  *value = static_cast<int32_t>(signed_value);
  return true;
}

void DerivePaths(RunSettings* settings) {
  RunSettings& s = *settings;
  s.TextPath = s.Folder;
  // The existence check ignores letter case, so work on the entry it finds: loading and saving
  // then hit the same file, and the derived names follow its spelling.
  if (!IsStandardStream(s.TablePath)) s.TablePath = ActualPath(platform::ExpandPath(s.TablePath));
  if (s.Folder.empty()) s.Folder = WithoutExtension(s.TablePath);
  s.Folder = platform::ExpandPath(s.Folder);
  // Folder has no trailing separator yet, so the default text file lies beside the table and is
  // named after it.
  if (s.TextPath.empty()) {
    // A column read from standard input goes on to standard output, as in any filter.
    const bool to_stdout = s.Mode == kModeUnpackColumn && IsStandardStream(s.TablePath);
    s.TextPath = to_stdout ? "-" : s.Folder + "_" + std::to_string(s.Column) + ".txt";
  }
  if (!IsStandardStream(s.TextPath)) s.TextPath = platform::ExpandPath(s.TextPath);
  if (!s.Folder.empty() && platform::NameStart(s.Folder) != s.Folder.size()) {
    s.Folder += platform::kPreferredSeparator;
  }
}

bool IsStandardStream(const std::string& path) { return path == "-"; }

std::string StandardStreamFault(const RunSettings& s) {
  if (!IsStandardStream(s.TablePath)) return std::string();
  if (s.Mode == kModeUnpack || s.Mode == kModePack) {
    return "unpack and pack work on a table file, not on standard input (\"-\")";
  }
  if (s.Mode == kModePackColumn && (s.Folder.empty() || IsStandardStream(s.Folder))) {
    return "pack column with the table on standard input (\"-\") needs the text file named";
  }
  return std::string();
}

bool DataGoesToStandardOutput(const RunSettings& s) {
  const bool rewrites_table =
      s.Mode == kModeSort || s.Mode == kModeDedupe || s.Mode == kModePackColumn;
  return (rewrites_table && IsStandardStream(s.TablePath)) ||
         (s.Mode == kModeUnpackColumn && IsStandardStream(s.TextPath));
}

void SettleDelimiterAndQuote(RunSettings* settings) {
  RunSettings& s = *settings;
  if (s.DelimiterChar == 0) {
    s.AutoDelimiter = true;
    s.DelimiterChar = ',';
  }
  if (s.QuoteSymbol == 0) {
    s.AutoQuote = true;
    s.QuoteSymbol = '"';
  }
  s.UseQuotes = true;
  if (s.QuoteSymbol == 'n') {
    s.UseQuotes = false;
    s.QuoteSymbol = 0;
  }
}

void SettleNameFiles(RunSettings* settings) {
  if (settings->NameFiles.empty()) {
    settings->NameFiles = WithoutExtension(NamePart(settings->TablePath));
  }
}
