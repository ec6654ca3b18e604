// The launch core: the design image check, the hand-over to the simulator programs, and the
// driver that runs every step of a launch in order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "launch_settings.h"

/// The design's name: the text after the last "/" of the invocation name, else after its last
/// backslash, else the whole name.
std::string_view designBaseName(std::string_view invocationName);

/// "orsa/<name>.sim/<name>", relative to the working directory, for the design's base name.
std::string deriveDesignImagePath(std::string_view invocationName);

/// The front end's argument vector, null-terminated: the options the launcher recognised in a
/// fixed order, then the unknown ones as one quoted string. The strings belong to `settings`.
std::vector<const char*> graphicalFrontEndCommandLine(const LaunchSettings& settings,
                                                      const std::string& designImagePath);

/// The kernel's argument vector, null-terminated: "orsatcl -exe <image>" and then the merged
/// arguments after the invocation name, as option recognition left them.
std::vector<const char*> tclKernelCommandLine(const LaunchSettings& settings,
                                              const std::string& designImagePath);

/// Replaces the process with "orsagui", found through PATH. Returns only if that fails, with
/// errno telling why.
void launchGraphicalFrontEnd(LaunchSettings& settings, const std::string& designImagePath);

/// Replaces the process with the kernel at settings.finalPathForOrsaTcl. Returns only if that
/// fails (also when no installation root held a kernel and the path is empty).
void launchTclKernel(LaunchSettings& settings, const std::string& designImagePath);

/// The whole launch, in order: tool environment, design image check, merged arguments, options,
/// run log, hand-over. Returns 1 when the simulator cannot be started; every other failure prints
/// its message and exits with status 1.
int runLauncher(int argc, char** argv);
