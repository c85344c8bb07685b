// The usage text and the version line.
#pragma once

#include <string>

/// The 27 lines of the usage text, each followed by a line break.
extern const char kUsageText[];
/// "Tessarin 1.9.5".
extern const char kVersionLine[];
