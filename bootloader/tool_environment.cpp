#include "tool_environment.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "bootloader.h"

namespace {

constexpr std::string_view kernelSuffix = "/bin/lin/unwrapped/orsatcl";
constexpr std::string_view coSimulationProbeSuffix = "/plexor/bin/lin/libhwcosim_api.so";
constexpr std::string_view rootLibraryEntry = "/lib/lin:";
constexpr std::string_view coSimulationLibraryEntry = "/plexor/lib/lin:";
constexpr char listSeparator = ':';

std::optional<std::string_view> environmentValue(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) {
    return std::nullopt;
  }
  return std::string_view(value);
}

std::string joined(std::string_view root, std::string_view suffix) {
  std::string path;
  path.reserve(root.size() + suffix.size());
  path.append(root).append(suffix);
  return path;
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

bool exportVariable(const char* name, const std::string& value, std::string* error) {
  if (setenv(name, value.c_str(), 1) != 0) {
    *error = std::string("ERROR: Unable to set environment variable ") + name + ": " +
             std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

bool holdsReadableFile(const std::string& path) {
  // O_NONBLOCK: a FIFO standing at the path must not stall the launcher until someone writes.
  const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) {
    return false;
  }
  // A directory or a FIFO opens for reading too, but it is no program or library; passing over it
  // lets a later root supply the real one.
  struct stat status;
  const bool isFile = fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
  close(descriptor);
  return isFile;
}

ToolEnvironment composeLibraryPath(const ToolEnvironmentInputs& inputs, const FileProbe& probe) {
  ToolEnvironment result;
  bool dspKnown = false;
  if (inputs.tarvenDsp) {
    result.libraryPath.append(*inputs.tarvenDsp).append(coSimulationLibraryEntry);
    dspKnown = true;
  }
  forEachListField(inputs.tarven.value_or(""), [&](std::string_view root) {
    result.libraryPath.append(root).append(rootLibraryEntry);
    if (result.kernelPath.empty()) {
      std::string kernel = joined(root, kernelSuffix);
      if (probe(kernel)) {
        result.kernelPath = std::move(kernel);
      }
    }
    if (!dspKnown && probe(joined(root, coSimulationProbeSuffix))) {
      result.discoveredDspRoot = std::string(root);
      result.libraryPath.append(root).append(coSimulationLibraryEntry);
      dspKnown = true;
    }
  });
  // An empty user value is not appended: the dynamic loader would read the empty entry after the
  // last ":" as the working directory and load libraries from the compilation directory.
  if (inputs.ldLibraryPath && !inputs.ldLibraryPath->empty()) {
    result.libraryPath.append(*inputs.ldLibraryPath);
  } else if (!result.libraryPath.empty()) {
    result.libraryPath.pop_back();
  }
  return result;
}

bool composeToolEnvironment(LaunchSettings& settings, std::string* error) {
  const ToolEnvironmentInputs inputs{environmentValue("TARVEN"), environmentValue("TARVEN_DSP"),
                                     environmentValue("LD_LIBRARY_PATH")};
  ToolEnvironment composed = composeLibraryPath(inputs, holdsReadableFile);
  if (composed.discoveredDspRoot &&
      !exportVariable("TARVEN_DSP", *composed.discoveredDspRoot, error)) {
    return false;
  }
  if (!exportVariable("LD_LIBRARY_PATH", composed.libraryPath, error)) {
    return false;
  }
  settings.finalPathForOrsaTcl = std::move(composed.kernelPath);
  return true;
}
