// The launch core: the design image check, and the driver that runs every step of a launch in
// order.
#pragma once

#include <string>
#include <string_view>

#include "launch_settings.h"

/// The design's name: the text after the last "/" of the invocation name, else after its last
/// backslash, else the whole name.
std::string_view designBaseName(std::string_view invocationName);

/// "orsa/<name>.sim/<name>", relative to the working directory, for the design's base name.
std::string deriveDesignImagePath(std::string_view invocationName);

/// The whole launch, in order: tool environment, design image check, merged arguments, options,
/// run log, hand-over. Returns 1 when the simulator cannot be started; every other failure prints
/// its message and exits with status 1.
int runLauncher(int argc, char** argv);
