// The run from start to end: command line, paths, existence check, table list, one mode.
#pragma once

/// Runs the program and returns its exit code: 0 after a finished mode or the usage text,
/// 1 after a failed step or a missing file, 2 after a faulty command line.
int RunTessarin(int argc, char** argv);
