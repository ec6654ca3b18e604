#include "command_line.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "bootloader.h"

namespace {

constexpr const char* commandFileNotFound = "Command file for -f not found";
constexpr const char* missingClosingQuote = "Error: Matching closing \" was not found";
constexpr const char* malformedCommandFile = "Error in parsing -f file";

constexpr std::string_view wdbSuffix = ".wdb";

using namespace std::string_view_literals;

bool fail(std::string* error, const char* message) {
  *error = message;
  return false;
}

bool canOpenForReading(const std::string& path) {
  // O_NONBLOCK: only presence is tested, and a FIFO must not stall the launcher until written to.
  const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) {
    return false;
  }
  close(descriptor);
  return true;
}

std::size_t skipSpaces(std::string_view line, std::size_t at) {
  while (at < line.size() && line[at] == ' ') {
    ++at;
  }
  return at;
}

bool isIntstyleName(std::string_view value) {
  return value == "vel" || value == "ko" || value == "dorne" || value == "silent";
}

/// A "-wdb" value, with ".wdb" appended unless it already ends in it after at least one
/// character of its own.
std::string wdbFileNameFor(const std::string& value) {
  if (value.size() > wdbSuffix.size() && value.ends_with(wdbSuffix)) {
    return value;
  }
  return value + std::string(wdbSuffix);
}

}  // namespace

bool splitCommandFileLine(std::string_view line, std::vector<std::string>& arguments,
                          std::string* error) {
  // An argument cannot hold a NUL; cutting the line there would drop the rest of it unseen.
  if (line.find('\0') != std::string_view::npos) {
    return fail(error, malformedCommandFile);
  }
  const std::size_t end = line.size();
  std::size_t at = skipSpaces(line, 0);
  if (at < end && line[at] == '#') {
    return true;
  }
  while (at < end) {
    std::size_t next;
    if (line[at] == '"') {
      const std::size_t closing = line.find('"', at + 1);
      if (closing == std::string_view::npos) {
        return fail(error, missingClosingQuote);
      }
      arguments.emplace_back(line.substr(at + 1, closing - at - 1));
      // A character right after the closing quote starts the next argument, space or not.
      next = closing + 1;
    } else {
      next = at;
      while (next < end && line[next] != ' ' && line[next] != '"') {
        ++next;
      }
      if (next < end && line[next] == '"') {
        return fail(error, malformedCommandFile);
      }
      arguments.emplace_back(line.substr(at, next - at));
    }
    at = skipSpaces(line, next);
  }
  return true;
}

bool splitCommandFile(std::string_view text, std::vector<std::string>& arguments,
                      std::string* error) {
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    if (!splitCommandFileLine(text.substr(0, newline), arguments, error)) {
      return false;
    }
    if (newline == std::string_view::npos) {
      break;
    }
    text.remove_prefix(newline + 1);
  }
  return true;
}

bool readCommandFile(const std::string& path, std::string* content) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    return false;
  }
  // A regular file is read in one go, plus the read that finds its end; a pipe or a file that
  // grows is read in chunks that double, so that reading stays linear in its size.
  struct stat status;
  const std::size_t expected = fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)
                                   ? static_cast<std::size_t>(status.st_size)
                                   : 0;
  std::size_t chunk = expected + 1;
  content->clear();
  bool readWhole = true;
  for (;;) {
    const std::size_t used = content->size();
    content->resize(used + chunk);
    const ssize_t got = read(descriptor, content->data() + used, chunk);
    content->resize(used + (got > 0 ? static_cast<std::size_t>(got) : 0));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      // A read that fails after the open (a directory, an I/O error) must not pass for the end of
      // the file: the simulation would start without the file's arguments.
      readWhole = got == 0;
      break;
    }
    chunk = content->size() <= expected ? expected - content->size() + 1
                                        : std::max<std::size_t>(content->size(), 4096);
  }
  close(descriptor);
  return readWhole;
}

bool buildArgumentVector(LaunchSettings& settings, int argc, const char* const* argv,
                         std::string* error) {
  settings.argvF.reserve(argc > 0 ? static_cast<std::size_t>(argc) : 1);
  settings.argvF.emplace_back(argc > 0 ? argv[0] : "");
  std::string content;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-f") != 0) {
      settings.argvF.emplace_back(argv[i]);
      continue;
    }
    if (i + 1 >= argc || !readCommandFile(argv[++i], &content)) {
      return fail(error, commandFileNotFound);
    }
    if (!splitCommandFile(content, settings.argvF, error)) {
      return false;
    }
  }
  return true;
}

bool parseLaunchOptions(LaunchSettings& settings, std::string* error) {
  std::vector<std::string>& arguments = settings.argvF;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    // An option that takes a value consumes the next entry, whatever it looks like.
    const bool valueFollows = i + 1 < arguments.size();
    if (argument == "-gui"sv) {
      settings.isGuiMode = true;
    } else if (argument == "-tclbatch"sv) {
      if (!valueFollows) {
        return fail(error, "<file_name> argument is required after -tclbatch switch");
      }
      if (!canOpenForReading(arguments[++i])) {
        return fail(error, "Tcl file not found");
      }
      settings.tclbatchFile = arguments[i];
    } else if (argument == "-view"sv) {
      if (!valueFollows) {
        return fail(error, "<wcfg_file|wdb_file> is not found");
      }
      settings.viewFiles.push_back(arguments[++i]);
    } else if (argument == "-open"sv) {
      if (!valueFollows) {
        return fail(error, "<wdb_file> is not found");
      }
      settings.openFileName = arguments[++i];
    } else if (argument == "-wdb"sv) {
      // Without a value the option has no effect.
      if (valueFollows) {
        ++i;
        // The kernel receives the merged vector, so it must see the completed name too.
        arguments[i] = wdbFileNameFor(arguments[i]);
        settings.wdbFileName = arguments[i];
      }
    } else if (argument == "-intstyle"sv) {
      if (!valueFollows || !isIntstyleName(arguments[i + 1])) {
        return fail(error, "-intstyle needs to have one of these arguments: vel|ko|dorne|silent");
      }
      settings.intstyleName = arguments[++i];
    } else if (argument == "-disabletimeout"sv) {
      settings.useTimeout = false;
    } else {
      settings.hasUserOptions = true;
      settings.userOptions.append(argument).push_back(' ');
    }
  }
  return true;
}

void finishUserOptions(LaunchSettings& settings) {
  if (settings.hasUserOptions) {
    settings.userOptions.pop_back();
  }
  settings.userOptions.push_back('"');
}
