#include "tool_environment.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "system_io.h"

namespace {

constexpr std::string_view kernelSuffix = "/bin/lin/unwrapped/orsatcl";
constexpr std::string_view coSimulationProbeSuffix = "/plexor/bin/lin/libhwcosim_api.so";
constexpr std::string_view rootLibraryEntry = "/lib/lin:";
constexpr std::string_view coSimulationLibraryEntry = "/plexor/lib/lin:";
constexpr char listSeparator = ':';

/// The environment variables the tool environment is composed from; null when unset.
struct ToolEnvironmentInputs {
  const char* tarven = std::getenv("TARVEN");
  const char* tarvenDsp = std::getenv("TARVEN_DSP");
  const char* ldLibraryPath = std::getenv("LD_LIBRARY_PATH");
};

/// The library path under construction and what the walk over the roots has found.
struct LibraryPathWalk {
  std::string libraryPath;
  std::string kernelPath;
  std::string_view discoveredDspRoot;
  bool dspKnown = false;
};

/// What a probe found, for the trace; an unreadable file with the system's reason.
std::string describe(ProbeOutcome outcome, int reason) {
  switch (outcome) {
    case ProbeOutcome::readableFile:
      return "found";
    case ProbeOutcome::absent:
      return "absent";
    case ProbeOutcome::unreadable:
      return std::string("unreadable (") + strerrordesc_np(reason) + "), passed over";
    case ProbeOutcome::directory:
      return "a directory, passed over";
    case ProbeOutcome::fifo:
      return "a FIFO, passed over";
    case ProbeOutcome::otherKind:
      break;
  }
  return "not a regular file, passed over";
}

/// Appends `directory` + `entry` to the library path, unless the directory holds a ";": the
/// dynamic loader splits its path there as well as at ":", and would read the empty piece as the
/// working directory, loading libraries planted in the compilation directory.
void addLibraryEntry(LibraryPathWalk& walk, std::string_view directory, std::string_view entry,
                     LaunchSettings& settings) {
  if (directory.find(';') != std::string_view::npos) {
    settings.trace("library path: ", directory, " holds \";\" and is left out");
    return;
  }
  walk.libraryPath.append(directory).append(entry);
}

std::string joined(std::string_view root, std::string_view suffix) {
  return std::string(root).append(suffix);
}

void visitRoot(LibraryPathWalk& walk, std::string_view root, LaunchSettings& settings) {
  addLibraryEntry(walk, root, rootLibraryEntry, settings);
  int reason = 0;
  std::string kernelFinding = "not probed";
  if (walk.kernelPath.empty()) {
    std::string kernel = joined(root, kernelSuffix);
    const ProbeOutcome outcome = probeFile(kernel, &reason);
    if (settings.tracing) {
      kernelFinding = describe(outcome, reason);
    }
    if (outcome == ProbeOutcome::readableFile) {
      walk.kernelPath = std::move(kernel);
    } else if (outcome == ProbeOutcome::unreadable && settings.unreadableKernel.empty()) {
      settings.unreadableKernel = std::move(kernel);
      settings.unreadableKernelError = reason;
    }
  }
  std::string coSimulationFinding = "not probed";
  if (!walk.dspKnown) {
    const ProbeOutcome outcome = probeFile(joined(root, coSimulationProbeSuffix), &reason);
    if (settings.tracing) {
      coSimulationFinding = describe(outcome, reason);
    }
    if (outcome == ProbeOutcome::readableFile) {
      walk.discoveredDspRoot = root;
      walk.dspKnown = true;
      addLibraryEntry(walk, root, coSimulationLibraryEntry, settings);
    }
  }
  settings.trace("root ", root, ": kernel ", kernelFinding, ", co-simulation library ",
                 coSimulationFinding);
}

/// Calls `visit` for each non-empty field of a separator-delimited list, in order.
template <typename Visitor>
void forEachListField(std::string_view list, Visitor visit) {
  while (!list.empty()) {
    const std::size_t end = list.find(listSeparator);
    const std::string_view field = list.substr(0, end);
    if (!field.empty()) {
      visit(field);
    }
    if (end == std::string_view::npos) {
      break;
    }
    list.remove_prefix(end + 1);
  }
}

LibraryPathWalk walkInstallationRoots(const ToolEnvironmentInputs& inputs,
                                      LaunchSettings& settings) {
  LibraryPathWalk walk;
  if (inputs.tarvenDsp != nullptr) {
    addLibraryEntry(walk, inputs.tarvenDsp, coSimulationLibraryEntry, settings);
    walk.dspKnown = true;
  }
  forEachListField(inputs.tarven != nullptr ? inputs.tarven : "",
                   [&](std::string_view root) { visitRoot(walk, root, settings); });
  // An empty user value is not appended: the dynamic loader would read the empty entry after the
  // last ":" as the working directory and load libraries from the compilation directory.
  if (inputs.ldLibraryPath != nullptr && *inputs.ldLibraryPath != '\0') {
    walk.libraryPath.append(inputs.ldLibraryPath);
  } else if (!walk.libraryPath.empty()) {
    walk.libraryPath.pop_back();
  }
  return walk;
}

}  // namespace

ProbeOutcome probeFile(const std::string& path, int* reason) {
  const int descriptor =
      retried([&path] { return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); });
  if (descriptor < 0) {
    *reason = errno;
    return errno == ENOENT || errno == ENOTDIR ? ProbeOutcome::absent : ProbeOutcome::unreadable;
  }
  // A directory or a FIFO opens for reading too, but it is no program or library; passing over it
  // lets a later root supply the real one. One whose status cannot be read is unreadable, and why.
  struct stat status;
  ProbeOutcome outcome = ProbeOutcome::otherKind;
  if (retried([&] { return fstat(descriptor, &status); }) != 0) {
    *reason = errno;
    outcome = ProbeOutcome::unreadable;
  } else if (S_ISREG(status.st_mode)) {
    outcome = ProbeOutcome::readableFile;
  } else if (S_ISDIR(status.st_mode)) {
    outcome = ProbeOutcome::directory;
  } else if (S_ISFIFO(status.st_mode)) {
    outcome = ProbeOutcome::fifo;
  }
  close(descriptor);
  return outcome;
}

bool exportVariable(const char* name, const char* value, LaunchError* error) {
  if (unsetenv(name) != 0 || setenv(name, value, 1) != 0) {
    // The message names the variable and the reason; nothing is left for standard error.
    *error = {std::string("ERROR: Unable to set environment variable ") + name + ": " +
                  strerrordesc_np(errno),
              ""};
    return false;
  }
  return true;
}

bool composeToolEnvironment(LaunchSettings& settings, LaunchError* error) {
  const ToolEnvironmentInputs inputs;
  settings.trace("TARVEN: ", inputs.tarven != nullptr ? inputs.tarven : "unset");
  LibraryPathWalk walk = walkInstallationRoots(inputs, settings);
  // Both sides plain pointers: a std::string side would copy the path, traced or not.
  settings.trace("kernel: ", walk.kernelPath.empty() ? "none found" : walk.kernelPath.c_str());
  if (inputs.tarvenDsp != nullptr) {
    settings.trace("TARVEN_DSP: ", inputs.tarvenDsp, " (given)");
  } else if (walk.dspKnown) {
    settings.trace("TARVEN_DSP: ", walk.discoveredDspRoot, " (discovered)");
    if (!exportVariable("TARVEN_DSP", std::string(walk.discoveredDspRoot).c_str(), error)) {
      return false;
    }
  } else {
    settings.trace("TARVEN_DSP: unset, no root holds the co-simulation library");
  }
  settings.trace("LD_LIBRARY_PATH: ", walk.libraryPath);
  if (!exportVariable("LD_LIBRARY_PATH", walk.libraryPath.c_str(), error)) {
    return false;
  }
  settings.finalPathForOrsaTcl = std::move(walk.kernelPath);
  return true;
}
