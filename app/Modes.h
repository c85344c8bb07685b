// The six modes. Each runs on the settled run settings and the run's table list, prints its
// progress line on standard output and throws TessarinError on failure.
#pragma once

#include "Settings.h"
#include "StringListEX.h"

void RunUnpack(const RunSettings& settings, TStringListCSVEX* table);        // -u
void RunPack(const RunSettings& settings, TStringListCSVEX* table);          // -p
void RunSort(const RunSettings& settings, TStringListCSVEX* table);          // -s
void RunDedupe(const RunSettings& settings, TStringListCSVEX* table);        // -nd, -ndl
void RunUnpackColumn(const RunSettings& settings, TStringListCSVEX* table);  // -uc, -ucn
void RunPackColumn(const RunSettings& settings, TStringListCSVEX* table);    // -pc, -pcn
