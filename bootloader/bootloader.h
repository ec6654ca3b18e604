// The launch core: the state shared by every step of a launch, the design image check and the
// hand-over to the simulator programs.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// Everything the launcher learns in one run. Each step reads what earlier steps filled in and adds
/// its own part; the hand-over reads it all. One value lives for the whole process.
struct LaunchSettings {
  /// The merged argument vector: the invocation name, then the arguments with every `-f <file>`
  /// replaced by the arguments of that file.
  std::vector<std::string> argvF;
  std::size_t argcF() const { return argvF.size(); }

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
};

/// The design's name: the text after the last "/" of the invocation name, else after its last
/// backslash, else the whole name.
std::string_view designBaseName(std::string_view invocationName);

/// "orsa/<name>.sim/<name>", relative to the working directory, for the design's base name.
std::string deriveDesignImagePath(std::string_view invocationName);

/// True if anything (a directory too) stands at `path`, following symbolic links.
bool designImageExists(const std::string& path);

/// The front end's argument vector, null-terminated: the options the launcher recognised in a
/// fixed order, then the unknown ones as one quoted string. The strings belong to `settings`.
std::vector<const char*> graphicalFrontEndCommandLine(const LaunchSettings& settings,
                                                      const std::string& designImagePath);

/// The kernel's argument vector, null-terminated: "orsatcl -exe <image>" and then the merged
/// arguments after the invocation name, as option recognition left them.
std::vector<const char*> tclKernelCommandLine(const LaunchSettings& settings,
                                              const std::string& designImagePath);

/// Replaces the process with "orsagui", found through PATH. Returns only if that fails.
void launchGraphicalFrontEnd(const LaunchSettings& settings, const std::string& designImagePath);

/// Replaces the process with the kernel at settings.finalPathForOrsaTcl. Returns only if that
/// fails (also when no installation root held a kernel and the path is empty).
void launchTclKernel(const LaunchSettings& settings, const std::string& designImagePath);

/// The whole launch, in order: tool environment, design image check, merged arguments, options,
/// run log, hand-over.
/// Returns 1 when the design image is missing or the simulator cannot be started; other failures
/// print their message and exit with status 1.
int runLauncher(int argc, char** argv);
