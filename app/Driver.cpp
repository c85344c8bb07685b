// The run from start to end: settings, paths, existence check, table list, one mode.
#include "Driver.h"

#include <cstdio>
#include <exception>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "Error.h"
#include "Modes.h"
#include "MyLib.h"
#include "Output.h"
#include "Platform.h"
#include "Settings.h"
#include "TableSetup.h"
#include "Usage.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBadCommandLine = 2;

using ModeRunner = void (*)(const RunSettings&, TStringListCSVEX*);

// Indexed by the mode number. Mode 0 has no runner: such a run only checks that the table exists.
constexpr ModeRunner kModeRunners[] = {
    nullptr, RunUnpack, RunPack, RunSort, RunDedupe, RunUnpackColumn, RunPackColumn,
};

#ifdef TESSARIN_DEVELOPER_SWITCH
// A fixed pack-column job for trying the program under a debugger: the lines of FILES/rus.txt
// go into the first column of FILES/eng.txt, both relative to the current folder.
void UseDeveloperSettings(RunSettings* s) {
  PrintLine("DEBUG");
  s->Mode = kModePackColumn;
  s->FormatEnter = kStyleNone;
  s->TablePath = "FILES/eng.txt";
  s->Folder = "FILES/rus.txt";
  s->Column = 0;
}
#else
void PrintUsage() { std::fputs(kUsageText, stdout); }

// Blocks until the user presses Enter, or standard input ends.
void WaitForEnter() {
  std::fflush(stdout);
  int c;
  do {
    c = std::getchar();
  } while (c != '\n' && c != EOF);
}

// Everything the command line can ask for besides a run on a table; returns the exit code.
int FinishWithoutTable(const ParseResult& parsed) {
  switch (parsed.outcome) {
    case ParseOutcome::kUsageAndWait:
      PrintUsage();
      WaitForEnter();
      return kExitOk;
    case ParseOutcome::kHelp:
      PrintUsage();
      return kExitOk;
    case ParseOutcome::kVersion:
      PrintLine(kVersionLine);
      return kExitOk;
    case ParseOutcome::kFault:
      PrintLine(parsed.message);
      return kExitBadCommandLine;
    case ParseOutcome::kNoTablePath:
      PrintUsage();
      return kExitBadCommandLine;
    case ParseOutcome::kRun:
      break;
  }
  return kExitOk;
}
#endif

// Pack may create a new table, unless it takes the column names from the old table's header.
// Standard input is always there.
bool TableMustExist(const RunSettings& s) {
  return (s.Mode != kModePack || s.NamesFromFirstLine) && !IsStandardStream(s.TablePath);
}

// A table read from standard input goes to standard output: there is no file to claim.
bool RewritesTableFile(const RunSettings& s) {
  if (IsStandardStream(s.TablePath)) return false;
  return s.Mode == kModePack || s.Mode == kModePackColumn || s.Mode == kModeSort ||
         s.Mode == kModeDedupe;
}

// The steps from path derivation to the end of the mode. Throws TessarinError when one fails.
void RunOnTable(RunSettings* s) {
  DerivePaths(s);
  if (DataGoesToStandardOutput(*s)) SendMessagesToStandardError();
  if (TableMustExist(*s) && !EntryExistsNoCase(s->TablePath)) throw NotFoundError(s->TablePath);
  // Claimed before it is read, held until the new table is in place: two runs on one table
  // take turns, and neither overwrites the other's work.
  std::unique_ptr<platform::TableLock> claim;
  if (RewritesTableFile(*s)) claim = std::make_unique<platform::TableLock>(ActualPath(s->TablePath));
  SettleDelimiterAndQuote(s);
  const std::unique_ptr<TStringListCSVEX> table = CreateTableList(*s);
  SettleNameFiles(s);
  if (s->Mode < std::size(kModeRunners) && kModeRunners[s->Mode] != nullptr) {
    kModeRunners[s->Mode](*s, table.get());
  }
}

void ReportFailure(const std::string& message, bool on_stdout) {
  if (on_stdout) {
    PrintLine(message);
  } else {
    // Progress lines already buffered belong before the message.
    std::fflush(stdout);
    platform::WriteErrorLine(message);
  }
}

// RunOnTable with every failure turned into its message and exit code 1.
int RunOnTableGuarded(RunSettings* s) {
  try {
    RunOnTable(s);
    return kExitOk;
  } catch (const TessarinError& e) {
    ReportFailure(e.what(), e.OnStdout());
  } catch (const std::bad_alloc&) {
    ReportFailure("Out of memory", false);
  } catch (const std::exception& e) {
    ReportFailure(e.what(), false);
  }
  return kExitFailed;
}

int Run(int argc, char** argv) {
  RunSettings settings;
#ifdef TESSARIN_DEVELOPER_SWITCH
  static_cast<void>(argc);
  static_cast<void>(argv);
  UseDeveloperSettings(&settings);
#else
  std::vector<std::string> args;
  if (argc > 1) args.assign(argv + 1, argv + argc);
  const ParseResult parsed = ParseCommandLine(args, &settings);
  for (const std::string& option : parsed.unknown_options) {
    PrintNote("unknown option \"" + option + "\" ignored");
  }
  if (parsed.outcome != ParseOutcome::kRun) return FinishWithoutTable(parsed);
  const std::string fault = StandardStreamFault(settings);
  if (!fault.empty()) {
    PrintNote(fault);
    return kExitBadCommandLine;
  }
#endif
  return RunOnTableGuarded(&settings);
}

}  // namespace

int RunTessarin(int argc, char** argv) {
  const int exit_code = Run(argc, argv);
  std::fflush(stdout);
  return exit_code;
}
