// The run log: a small file in the working directory recording the command line the launcher was
// started with, written just before the hand-over.
#pragma once

#include <string>
#include <string_view>

#include "launch_settings.h"
#include "system_io.h"

/// Finds "-log <file>" and "-nolog" in the merged vector (entry 1 on) and records them in
/// `settings`. The entry after a "-log" is its file name and is never taken as an option; the last
/// "-log" names the file; a "-nolog" suppresses the log whatever else is given.
void scanLogOptions(LaunchSettings& settings);

/// The log's bytes: a title line, then "Running: " and every argument of the invocation's own
/// command line (command files as typed, not expanded), each followed by a space.
std::string formatRunLog(int argc, const char* const* argv);

/// Writes the run log to settings.logFileName unless "-nolog" was given, under the file's lock, so
/// that launches overlapping in one directory leave one run's whole log. A launch that cannot get
/// the lock within about a second leaves the log to the launch holding it, and one whose FIFO
/// reader stops reading for about a second leaves the rest unwritten; both go on to start the
/// simulator. Returns false, with `error` holding the message, if the file cannot be opened for
/// writing (a FIFO without a reader included: the launcher does not wait for one).
bool writeRunLog(LaunchSettings& settings, int argc, const char* const* argv, LaunchError* error);

/// For a launch that is only checked: says, without opening, creating or touching anything, whether
/// writeRunLog() would fail. An existing file must be writable, or, when it is absent, its folder;
/// a FIFO or a device is named in the trace and not opened. Returns false, with `error` holding
/// writeRunLog's message and the system's reason, when the log could not be written.
bool checkRunLog(LaunchSettings& settings, LaunchError* error);
