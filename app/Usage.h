// The usage text and the version line.
#pragma once

#include <string>

/// The 27 lines of the usage text, each followed by a line break.
extern const char kUsageText[];
/// "Tessarin " and the version number.
extern const char kVersionLine[];
