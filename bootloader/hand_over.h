// The hand-over to a simulator program: its command line, what exec would make of it, whether the
// kernel takes it, the exec itself, and the reason it failed. A checked launch asks the same
// questions here without starting anything.
#pragma once

#include <string>
#include <vector>

#include "launch_settings.h"

/// The variable the driver sets for the simulator just before the hand-over.
inline constexpr const char* handedOverName = "PORT_DYNAMIC_DISABLE_MSG";
inline constexpr const char* handedOverValue = "1";

/// The front end's argument vector, null-terminated: the options the launcher recognised in a
/// fixed order, then the unknown ones as one quoted string. The strings belong to `settings`.
std::vector<const char*> graphicalFrontEndCommandLine(const LaunchSettings& settings,
                                                      const std::string& designImagePath);

/// The kernel's argument vector, null-terminated: "orsatcl -exe <image>" and then the merged
/// arguments after the invocation name, as option recognition left them.
std::vector<const char*> tclKernelCommandLine(const LaunchSettings& settings,
                                              const std::string& designImagePath);

/// Adds the trace's line of options: what the kernel receives after its image, or with -gui the
/// options the front end receives, the unknown ones as its -userOptions.
void traceOptions(LaunchSettings& settings);

/// What exec would make of the hand-over, found without starting anything: the program that
/// execv or execvp would start, or where and why it would stop.
struct HandOverPrediction {
  int error = 0;        // the reason exec would give; 0 when the program would start
  std::string program;  // the path exec takes; empty when there is none to take
  std::string atFault;  // the #! interpreter `error` is about, when it is one
  /// What stands in argv[0]'s place once it starts: the name it is given, or the words of its #!
  /// lines and its path, or /bin/sh and its path when execvp runs it with /bin/sh.
  std::vector<std::string> argumentZero;
  std::size_t programBytes = 0;  // what the kernel keeps for the path and argv[0]'s place
  std::string unknown;           // what decides the start but cannot be known without making it
};

/// Follows the kernel and execvp: the kernel at its path, or "orsagui" through each directory of
/// PATH in turn, each a regular file the caller may execute on a mount that allows it, whose first
/// bytes are an executable format or a #! line naming an interpreter that passes the same test.
HandOverPrediction predictHandOver(const LaunchSettings& settings);

/// Stops a launch whose simulator the kernel would refuse to start, before the log is written:
/// true when the arguments, the environment and the program the launch would start fit the
/// kernel's limits. Returns false, with `error` holding the message, when they do not.
bool checkHandOverFits(const LaunchSettings& settings, const std::string& designImagePath,
                       LaunchError* error);

/// Replaces the process with "orsagui", found through PATH. Returns only if that fails, with
/// errno telling why.
void launchGraphicalFrontEnd(LaunchSettings& settings, const std::string& designImagePath);

/// Replaces the process with the kernel at settings.finalPathForOrsaTcl. Returns only if that
/// fails (also when no installation root held a kernel and the path is empty).
void launchTclKernel(LaunchSettings& settings, const std::string& designImagePath);

/// Says on standard error why the hand-over failed with `error`, naming the program and, for a
/// #! program, the interpreter at fault; standard output stays as scripts know it.
void reportFailedHandOver(const LaunchSettings& settings, int error);

/// Ends a checked launch before anything starts, with the trace's exec line: 0 when the simulator
/// would start, else 1 after the line a failed hand-over writes.
int endCheckedLaunch(LaunchSettings& settings, const std::string& designImagePath);
