// The tool environment: the installation roots named by TARVEN, the Tcl kernel and the
// co-simulation package found under them, and the library search path handed to the simulator.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct LaunchSettings;

/// The environment variables the tool environment is composed from; nullopt means unset.
struct ToolEnvironmentInputs {
  std::optional<std::string_view> tarven;
  std::optional<std::string_view> tarvenDsp;
  std::optional<std::string_view> ldLibraryPath;
};

/// What composing the tool environment decided.
struct ToolEnvironment {
  /// The new value of LD_LIBRARY_PATH.
  std::string libraryPath;
  /// Full path of the kernel under the first root holding one; empty if none does.
  std::string kernelPath;
  /// The root holding the co-simulation library, to export as TARVEN_DSP; set only when
  /// TARVEN_DSP was unset and some root holds the library.
  std::optional<std::string> discoveredDspRoot;
};

/// Answers whether a readable file stands at a path.
using FileProbe = std::function<bool(const std::string& path)>;

/// True if `path` opens for reading and is a regular file (after following links).
bool holdsReadableFile(const std::string& path);

/// Walks the installation roots in order: every root's library directory goes into the library
/// path, the first root holding a kernel names the kernel, and, unless TARVEN_DSP is set, the first
/// root holding the co-simulation library becomes the co-simulation root. The user's own
/// LD_LIBRARY_PATH comes last.
ToolEnvironment composeLibraryPath(const ToolEnvironmentInputs& inputs, const FileProbe& probe);

/// Reads TARVEN, TARVEN_DSP and LD_LIBRARY_PATH, sets LD_LIBRARY_PATH (and TARVEN_DSP when a root
/// supplied it) for the simulator to inherit, and records the kernel's path in `settings`.
/// Returns false, with `error` filled, only if the environment cannot be changed.
bool composeToolEnvironment(LaunchSettings& settings, std::string* error);
