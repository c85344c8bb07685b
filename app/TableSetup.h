// Creation of the run's table list and the preparation of a loaded table for the modes that
// read fields from it.
#pragma once

#include <memory>

#include "Settings.h"
#include "StringListEX.h"
#include "TableFormat.h"

/// The table list of the run, with the "-qopt" setting applied.
std::unique_ptr<TStringListCSVEX> CreateTableList(const RunSettings& settings);

/// Loads the table and puts the command line's delimiter, quote character and quoting over
/// what loading detected; the delimiter is detected again when the command line names none.
void LoadTable(const RunSettings& settings, TStringListCSVEX* table);

/// Loads the table, applies the command line's delimiter, quote and style over what loading
/// detected, re-detects what the command line left open, and joins multi-line records.
void PrepareTable(const RunSettings& settings, TStringListCSVEX* table);

/// What the command line says about the table's format.
FormatChoice ChoiceOf(const RunSettings& settings);

/// The first pass over the table file at `path` (the entry found): what detection needs, the
/// NUL check. Throws as ProbeTableFile does.
TableProbe ProbeTable(const RunSettings& settings, const std::string& path);

/// The records of a table file, read as a stream in the given format (multi-line records
/// joined with the format's token), one at a time.
class TableRecords {
 public:
  /// `path`: the entry found. Throws "Cannot open file "%s". %s".
  TableRecords(const std::string& path, const TableFormat& format);
  /// The next record, valid until the next call; false after the last one.
  bool Next(std::string_view* record) { return records_.Next(record); }

 private:
  TableText text_;
  LineSplitter lines_;
  RecordAssembler records_;
};
