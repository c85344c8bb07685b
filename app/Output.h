// Standard output of the program: every message and progress line is one whole line.
#pragma once

#include <cstdio>
#include <string_view>

/// Writes the text and a line break to standard output.
inline void PrintLine(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}
