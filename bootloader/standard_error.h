// What the launcher writes to standard error, and how: values shown so that none can forge a line
// or reach the terminal as an escape sequence, the trace of a launch's decisions, and the line that
// says why a launch stopped. Messages for standard output go through the same writer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "launch_settings.h"

/// Writes all of `text` to `descriptor` (a message, the trace). Whoever reads it may have gone: the
/// launcher still ends with its own status, and the simulator gets no signal this write raised.
void writeDiagnostic(int descriptor, std::string_view text);

/// `argument` as a shell reads it back: in single quotes, or in $'...' when it holds a byte that
/// appendVisibly() would escape.
std::string quoted(std::string_view argument);

/// The entries of a null-terminated command line from `first` on, each quoted, each after a space.
std::string quotedArguments(const std::vector<const char*>& command, std::size_t first);

/// One bash command that reproduces a hand-over, for the trace: in a subshell, the variables the
/// launcher set for the simulator exported, then `exec -a ARGV0 PROGRAM ARGUMENTS`, every word
/// quoted, whatever bytes it holds.
std::string pastableHandOver(std::string_view program, const std::vector<const char*>& command);

/// Writes the trace gathered so far to standard error, each line after the design's name, and
/// empties it.
void flushTrace(LaunchSettings& settings);

/// Writes "<design>: `line`" to standard error.
void writeErrorLine(const LaunchSettings& settings, std::string_view line);
