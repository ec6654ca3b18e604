// The state shared by every step of a launch. Each step reads what earlier steps filled in and
// adds its own part; the hand-over reads it all. Below it lies only the escaping its trace uses,
// so that every step can include it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "visible_text.h"

/// Why a step stopped the launch: `message`, the line scripts know, for standard output, and
/// `detail`, for standard error, naming what the message leaves out: the file as the user gave it
/// and the system's reason, or the argument at fault. Values in `detail` are shown visibly().
struct LaunchError {
  std::string message;
  std::string detail;
};

/// Everything the launcher learns in one run. One value lives for the whole process.
struct LaunchSettings {
  /// The design's name, the invocation name without its directory; it starts every line the
  /// launcher writes to standard error.
  std::string_view designName;

  /// The merged argument vector: the invocation name, then the arguments with every `-f <file>`
  /// replaced by the arguments of that file.
  std::vector<std::string> argvF;
  std::size_t argcF() const { return argvF.size(); }
  /// The last command file expanded, as given; empty when none was.
  std::string_view lastCommandFile;

  bool isGuiMode = false;
  std::optional<std::string> tclbatchFile;
  std::vector<std::string> viewFiles;
  std::optional<std::string> openFileName;
  /// Always ends in ".wdb" when set.
  std::optional<std::string> wdbFileName;
  std::optional<std::string> intstyleName;
  bool useTimeout = true;

  /// The arguments the launcher does not know, each followed by a space, behind an opening double
  /// quote; finishUserOptions() closes it.
  bool hasUserOptions = false;
  std::string userOptions = "\"";

  bool nolog = false;
  std::string logFileName = "orsa.log";

  /// Full path of the Tcl kernel under the first installation root holding one; empty if none does.
  std::string finalPathForOrsaTcl;
  /// The first kernel that was there but could not be read, and why: when no root holds a
  /// readable one, it is what the user must mend, not TARVEN.
  std::string unreadableKernel;
  int unreadableKernelError = 0;

  /// Set when BOOTLOADER_CHECK asks for a launch that is checked, traced and not made: nothing is
  /// written, opened for writing or started.
  bool checkOnly = false;
  /// Set when BOOTLOADER_CHECK is "strict": a check that also fails on `nearMisses`, the arguments
  /// passed on to the simulator that look like slips of the launcher's own options.
  bool strictCheck = false;
  std::size_t nearMisses = 0;

  /// Set when BOOTLOADER_TRACE asks for every decision to be shown. The steps then add one line
  /// each to `traceText`, and the driver writes it to standard error.
  bool tracing = false;
  std::string traceText;

  /// Adds one trace line made of `parts` (anything a std::string_view is made from), if tracing;
  /// each part shows as appendVisibly() writes it. Costs one test of a flag otherwise.
  template <typename... Parts>
  void trace(const Parts&... parts) {
    if (tracing) {
      traceText.append(visibly(parts...)).push_back('\n');
    }
  }
};
