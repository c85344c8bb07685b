// Creation of the run's table list and the preparation of a loaded table for the modes that
// read fields from it.
#pragma once

#include <memory>

#include "Settings.h"
#include "StringListEX.h"

/// The table list of the run, with the "-qopt" setting applied.
std::unique_ptr<TStringListCSVEX> CreateTableList(const RunSettings& settings);

/// Loads the table and puts the command line's delimiter, quote character and quoting over
/// what loading detected; the delimiter is detected again when the command line names none.
void LoadTable(const RunSettings& settings, TStringListCSVEX* table);

/// Loads the table, applies the command line's delimiter, quote and style over what loading
/// detected, re-detects what the command line left open, and joins multi-line records.
void PrepareTable(const RunSettings& settings, TStringListCSVEX* table);
