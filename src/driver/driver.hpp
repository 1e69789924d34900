// The command-line driver: picks one command by position, runs it, and gives the exit status.
#pragma once

#include <cstdio>

namespace bxa {

inline constexpr int ExitMalformedCommandLine = -1;
inline constexpr int ExitCommandRan = 1;

// Runs the command that argv names and returns the exit status: -1 for a malformed command line (after
// the usage text on standard error), 1 after any command, successful or not. After a failed command the
// closing prompt goes to standard output and one character is read from `input`.
int runCommandLine(int argc, const char* const* argv, std::FILE* input);

}  // namespace bxa
