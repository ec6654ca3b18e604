// What the launcher writes to standard error: the trace of a launch's decisions, and the line that
// says why a launch stopped.
#pragma once

#include <string>
#include <string_view>

#include "launch_settings.h"

/// Writes the trace gathered so far to standard error, each line after the design's name, and
/// empties it.
void flushTrace(LaunchSettings& settings);

/// Writes "<design>: `line`" to standard error.
void writeErrorLine(const LaunchSettings& settings, std::string_view line);
