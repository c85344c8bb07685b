// The run settings of one process and the command line that fills them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr uint8_t kModeNone = 0;
constexpr uint8_t kModeUnpack = 1;
constexpr uint8_t kModePack = 2;
constexpr uint8_t kModeSort = 3;
constexpr uint8_t kModeDedupe = 4;
constexpr uint8_t kModeUnpackColumn = 5;
constexpr uint8_t kModePackColumn = 6;

/// One record for the whole run, filled by ParseCommandLine() and the steps after it, then read
/// (const) by the modes.
struct RunSettings {
  uint8_t Mode = kModeNone;
  std::string TablePath;      ///< the table file; absolute after DerivePaths()
  std::string TextPath;       ///< the one text file of the column modes
  std::string Folder;         ///< folder of the column files; absolute, ends with a separator
  std::string CurrentOption;  ///< the option being parsed, lower-cased
  char DelimiterChar = 0;     ///< 0: detect
  bool AutoDelimiter = false;
  bool AutoQuote = false;
  int32_t ColumnCount = 0;  ///< columns unpack writes; 0 or less: counted from the table
  char QuoteSymbol = 0;     ///< 0: not given; 'n' on the command line: no quote character
  bool UseQuotes = false;
  bool QuoteOptimize = false;
  bool ClearEmpty = false;
  uint8_t FormatEnter = 2;
  bool NamesFromFirstLine = false;
  bool SkipFirstLine = false;
  int32_t Column = 0;
  bool ColumnByName = false;
  std::string ColumnName;
  int32_t ArgIndex = 1;
  int32_t KeyColumn = 0;
  std::string NameFiles;
  bool KeepLast = false;
};

enum class ParseOutcome {
  kRun,           ///< settings filled; go on with DerivePaths()
  kUsageAndWait,  ///< no argument at all: usage text, wait for Enter, exit 0
  kHelp,          ///< --help, -h, -?: usage text, exit 0
  kVersion,       ///< --version: one line, exit 0
  kFault,         ///< a faulty option: `message` on stdout, exit 2
  kNoTablePath,   ///< arguments but no table path: usage text, exit 2
};

struct ParseResult {
  ParseOutcome outcome = ParseOutcome::kRun;
  std::string message;
  std::vector<std::string> unknown_options;  ///< as typed, in order; they change nothing
};

/// Reads the arguments (argv[1..]) into the settings; stops at the first faulty option.
ParseResult ParseCommandLine(const std::vector<std::string>& args, RunSettings* settings);

/// The standard integer conversion of the command line: optional leading spaces, optional sign,
/// decimal digits, or hexadecimal digits after "$", "0x" or "0X"; nothing after the digits; the
/// value must fit in 32 signed bits. False when the text is no integer.
bool ParseInt32(const std::string& text, int32_t* value);

/// Derives TextPath, TablePath (absolute; the existing entry that matches ignoring A-Z case),
/// Folder (absolute, with a trailing separator). "-" stays "-" as the table and as the text file;
/// unpack column over "-" with no text file named writes to "-".
void DerivePaths(RunSettings* settings);

/// True for "-", which stands for standard input or standard output.
bool IsStandardStream(const std::string& path);

/// Checked before DerivePaths(): why the paths ask for a standard stream where the mode cannot
/// take one ("-u"/"-p" over "-"; "-pc"/"-pcn" over "-" without a text file, or with "-" as
/// that file too: both would be standard input). Empty when they are fine.
std::string StandardStreamFault(const RunSettings& settings);

/// True when the run writes data to standard output (a rewritten table or a column), so its
/// messages must go to standard error. Valid after DerivePaths().
bool DataGoesToStandardOutput(const RunSettings& settings);

/// Settles delimiter and quote: not given means detected, with "," and the double quote
/// meanwhile; "-q n" means no quote character at all.
void SettleDelimiterAndQuote(RunSettings* settings);

/// NameFiles defaults to the table's file name without extension.
void SettleNameFiles(RunSettings* settings);
