// The run log: a small file in the working directory recording the command line the launcher was
// started with, written just before the hand-over.
#pragma once

#include <string>

#include "launch_settings.h"

/// Finds "-log <file>" and "-nolog" in the merged vector (entry 1 on) and records them in
/// `settings`. The entry after a "-log" is its file name and is never taken as an option; the last
/// "-log" names the file; a "-nolog" suppresses the log whatever else is given.
void scanLogOptions(LaunchSettings& settings);

/// The log's bytes: a title line, then "Running: " and every argument of the invocation's own
/// command line (command files as typed, not expanded), each followed by a space.
std::string formatRunLog(int argc, const char* const* argv);

/// Writes the run log to settings.logFileName unless "-nolog" was given. Returns false, with
/// `error` holding the message, if the file cannot be opened for writing (a FIFO without a reader
/// included: the launcher does not wait for one).
bool writeRunLog(LaunchSettings& settings, int argc, const char* const* argv, std::string* error);
