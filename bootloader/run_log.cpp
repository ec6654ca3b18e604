#include "run_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "bootloader.h"

void scanLogOptions(LaunchSettings& settings) {
  const std::vector<std::string>& arguments = settings.argvF;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "-nolog") {
      settings.nolog = true;
    } else if (argument == "-log" && i + 1 < arguments.size()) {
      settings.logFileName = arguments[++i];
    }
  }
}

std::string formatRunLog(int argc, const char* const* argv) {
  std::string content = "Orsa log file\nRunning: ";
  for (int i = 0; i < argc; ++i) {
    content.append(argv[i]).push_back(' ');
  }
  content.push_back('\n');
  return content;
}

bool writeRunLog(LaunchSettings& settings, int argc, const char* const* argv, std::string* error) {
  scanLogOptions(settings);
  if (settings.nolog) {
    return true;
  }
  const int descriptor =
      open(settings.logFileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (descriptor < 0) {
    *error = "ERROR: " + settings.logFileName + " file open failed.";
    return false;
  }
  // The log only records the run; a short write does not keep the simulation from starting.
  const std::string content = formatRunLog(argc, argv);
  std::string_view unwritten = content;
  while (!unwritten.empty()) {
    const ssize_t written = write(descriptor, unwritten.data(), unwritten.size());
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      break;
    }
    unwritten.remove_prefix(static_cast<std::size_t>(written));
  }
  close(descriptor);
  return true;
}
