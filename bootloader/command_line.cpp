#include "command_line.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include "system_io.h"

namespace {

constexpr const char* commandFileNotFound = "Command file for -f not found";
constexpr const char* missingClosingQuote = "Error: Matching closing \" was not found";
constexpr const char* malformedCommandFile = "Error in parsing -f file";

constexpr std::string_view wdbSuffix = ".wdb";
constexpr std::size_t readChunkSize = 65536;

using namespace std::string_view_literals;

bool fail(LaunchError* error, std::string message, std::string detail) {
  *error = {std::move(message), std::move(detail)};
  return false;
}

std::string systemReason(int error) {
  return strerrordesc_np(error);
}

#ifdef BOOTLOADER_SMALL_LIMITS
// The fuzz build: limits that its inputs of a few KiB reach.
constexpr std::size_t maxStringSize = 256;
constexpr std::size_t smallestLimit = 2048;
#else
/// The most one argument or one variable may take, its terminator included (MAX_ARG_STRLEN).
constexpr std::size_t maxStringSize = 32 * 4096;
/// The kernel accepts at least this much for a command line and environment, whatever the stack.
constexpr std::size_t smallestLimit = 32 * 4096;
#endif

/// What the kernel accepts for a new program's arguments, environment and path together: a quarter
/// of the stack limit, at most 6 MiB, and never less than 128 KiB.
std::size_t systemArgumentLimit() {
#ifdef BOOTLOADER_SMALL_LIMITS
  return smallestLimit;
#else
  constexpr rlim_t largestLimit = rlim_t{6} * 1024 * 1024;
  rlimit stack;
  if (getrlimit(RLIMIT_STACK, &stack) != 0) {
    return smallestLimit;
  }
  // An unlimited stack (RLIM_INFINITY) is the largest value there is.
  const auto quarter = static_cast<std::size_t>(std::min(stack.rlim_cur / 4, largestLimit));
  return std::max(quarter, smallestLimit);
#endif
}

/// Why a command line is too long: one string past the kernel's limit for it.
std::string stringTooLong(std::size_t length) {
  return "an argument or variable of " + std::to_string(length) + " bytes; the kernel takes " +
         std::to_string(maxStringSize - 1) + " at most";
}

/// Why a command line is too long: a command file's arguments alone pass the limit.
std::string argumentsPastLimit(std::size_t limit) {
  return "the arguments pass the kernel's limit of " + std::to_string(limit) + " bytes";
}

/// Why a command line is too long: all the simulator would receive passes the limit.
std::string everythingPastLimit(std::size_t used, std::size_t limit) {
  return "the simulator's arguments, environment and path take " + std::to_string(used) +
         " bytes; the kernel takes " + std::to_string(limit) + " at most";
}

std::string commandLineTooLong(std::string_view commandFile) {
  if (commandFile.empty()) {
    return "ERROR: The command line and environment are longer than the system accepts.";
  }
  std::string message = "ERROR: Command file ";
  message.append(commandFile).append(" makes the command line longer than the system accepts.");
  return message;
}

/// Reads a command file in chunks and splits it line by line as the lines complete, so that a
/// malformed line stops the launcher when it is read. A comment line is dropped as it streams
/// past, and any other line counts toward the argument space while it is still being read: a
/// file of any size, even an endless one, takes no more memory than that space. This bound is all
/// the reader keeps to: whether the simulator can start is decided once everything is merged.
class CommandFileReader {
 public:
  CommandFileReader(std::string_view path, std::vector<std::string>& arguments, StringSpace& taken,
                    std::size_t limit, LaunchError* error)
      : path_(path), arguments_(arguments), taken_(taken), limit_(limit), error_(error) {}

  bool read(int descriptor) {
    // A read that fails after the open (a directory, an I/O error) must not pass for the end of
    // the file: the simulation would start without the file's arguments.
    const std::unique_ptr<char[]> chunk = std::make_unique_for_overwrite<char[]>(readChunkSize);
    for (;;) {
      const ssize_t got = retried([&] { return ::read(descriptor, chunk.get(), readChunkSize); });
      if (got < 0) {
        return fail(error_, commandFileNotFound,
                    visibly("cannot read command file ", path_, ": ", systemReason(errno)));
      }
      if (got == 0) {
        return endLine();  // the end of the file ends its last line, newline or not
      }
      if (!takeChunk(std::string_view(chunk.get(), static_cast<std::size_t>(got)))) {
        return false;
      }
    }
  }

 private:
  bool takeChunk(std::string_view data) {
    for (;;) {
      const std::size_t newline = data.find('\n');
      if (!takePiece(data.substr(0, newline))) {
        return false;
      }
      if (newline == std::string_view::npos) {
        return true;
      }
      if (!endLine()) {
        return false;
      }
      data.remove_prefix(newline + 1);
    }
  }

  /// Takes the next piece of the current line, up to its newline or the end of the chunk.
  bool takePiece(std::string_view piece) {
    // An argument cannot hold a NUL; a binary file stops at its first one.
    if (piece.find('\0') != std::string_view::npos) {
      return failOnLine(malformedCommandFile, "a NUL byte");
    }
    if (line_.empty() && !inComment_) {
      // Leading spaces separate nothing, and a comment's text need not be kept.
      piece.remove_prefix(std::min(piece.find_first_not_of(' '), piece.size()));
      inComment_ = piece.starts_with('#');
    }
    if (inComment_) {
      return true;
    }
    // Runs of spaces between arguments reach nobody: only a line still too long once they are
    // collapsed is too long. Collapsed, the line is never longer than what its arguments take. A
    // line that passes the limit once is collapsed from then on as it streams in, each byte once.
    if (collapsing_) {
      appendCollapsed(piece);
    } else {
      line_.append(piece);
      if (linePassesLimit()) {
        collapsing_ = true;
        appendCollapsed(std::exchange(line_, std::string()));
      }
    }
    return !linePassesLimit() || failOnLine(commandLineTooLong(path_), argumentsPastLimit(limit_));
  }

  /// Whether the command files' arguments so far and the current line pass the limit. The line
  /// takes less than its arguments will, so a line that does not may still be refused later.
  bool linePassesLimit() const { return taken_.used + line_.size() > limit_; }

  /// Stops at the current line, saying where in the file and what is wrong there.
  bool failOnLine(std::string message, std::string_view reason) {
    return fail(
        error_, std::move(message),
        visibly("command file ", path_, ", line ", std::to_string(lineNumber_), ": ", reason));
  }

  /// Appends `piece` keeping each run of spaces outside double quotes as one space: a run of any
  /// length separates two arguments just as one space does.
  void appendCollapsed(std::string_view piece) {
    for (const char c : piece) {
      inQuotes_ = inQuotes_ != (c == '"');
      const bool separator = c == ' ' && !inQuotes_;
      if (!(separator && afterSeparator_)) {
        line_.push_back(c);
      }
      afterSeparator_ = separator;
    }
  }

  bool endLine() {
    const bool taken = takeLine();
    ++lineNumber_;
    return taken;
  }

  bool takeLine() {
    if (std::exchange(inComment_, false)) {
      return true;
    }
    const std::size_t before = arguments_.size();
    if (!splitCommandFileLine(line_, arguments_, error_)) {
      return failOnLine(error_->message, error_->detail);
    }
    line_.clear();
    collapsing_ = inQuotes_ = afterSeparator_ = false;
    for (std::size_t i = before; i < arguments_.size(); ++i) {
      // The kernel refuses any one argument longer than its own limit, however much room is left.
      if (arguments_[i].size() >= maxStringSize) {
        return failOnLine(commandLineTooLong(path_), stringTooLong(arguments_[i].size()));
      }
      taken_.add(arguments_[i].size());
    }
    return true;
  }

  std::string_view path_;
  std::vector<std::string>& arguments_;
  StringSpace& taken_;  // by the arguments of every command file read so far
  std::size_t limit_;
  LaunchError* error_;
  std::string line_;  // the current line so far, without its leading spaces
  bool inComment_ = false;
  std::size_t lineNumber_ = 1;  // of the line being read
  bool collapsing_ = false;     // the line passed the limit: its spaces are collapsed as they come
  bool inQuotes_ = false;
  bool afterSeparator_ = false;
};

bool expandCommandFile(const char* path, std::vector<std::string>& arguments, StringSpace& taken,
                       std::size_t limit, LaunchError* error) {
  const int descriptor = retried([path] { return open(path, O_RDONLY | O_CLOEXEC); });
  if (descriptor < 0) {
    return fail(error, commandFileNotFound,
                visibly("cannot read command file ", path, ": ", systemReason(errno)));
  }
  const bool expanded = CommandFileReader(path, arguments, taken, limit, error).read(descriptor);
  close(descriptor);
  return expanded;
}

/// 0 when `path` opens for reading, else the system's reason.
int openForReadingError(const std::string& path) {
  // O_NONBLOCK: only presence is tested, and a FIFO must not stall the launcher until written to.
  const int descriptor =
      retried([&path] { return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); });
  if (descriptor < 0) {
    return errno;
  }
  close(descriptor);
  return 0;
}

/// An option with a value, given as the last argument.
bool failWithoutValue(LaunchError* error, std::string message, std::string_view option,
                      std::string_view missing) {
  return fail(error, std::move(message),
              std::string(option) + " is the last argument: no " + std::string(missing) + " named");
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

/// The launcher's own options, without their dash.
constexpr std::string_view ownOptions[] = {"f",   "gui",      "tclbatch",       "view", "open",
                                           "wdb", "intstyle", "disabletimeout", "log",  "nolog"};

/// How many edits make `from` into `to`: a letter added, dropped or changed, or two neighbours
/// swapped.
std::size_t editDistance(std::string_view from, std::string_view to) {
  // Three rows of the table: the one before the previous is needed for a swap.
  std::vector<std::size_t> beforePrevious(to.size() + 1), previous(to.size() + 1),
      current(to.size() + 1);
  for (std::size_t j = 0; j <= to.size(); ++j) {
    previous[j] = j;
  }
  for (std::size_t i = 1; i <= from.size(); ++i) {
    current[0] = i;
    for (std::size_t j = 1; j <= to.size(); ++j) {
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1,
                             previous[j - 1] + (from[i - 1] == to[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && from[i - 1] == to[j - 2] && from[i - 2] == to[j - 1]) {
        current[j] = std::min(current[j], beforePrevious[j - 2] + 1);
      }
    }
    beforePrevious.swap(previous);
    previous.swap(current);
  }
  return previous[to.size()];
}

/// Adds a trace line when `argument`, passed on to the simulator, looks like a slip of one of the
/// launcher's options: another case, a doubled dash, a value glued on with "=", or one letter off
/// (two in a name of six letters or more; none in "-f").
void traceNearMiss(LaunchSettings& settings, std::string_view argument) {
  if (!argument.starts_with('-')) {
    return;
  }
  std::string name(argument.substr(argument.starts_with("--") ? 2 : 1));
  name.resize(std::min(name.find('='), name.size()));
  for (char& c : name) {
    c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
  }
  for (const std::string_view option : ownOptions) {
    const std::size_t allowed = option.size() >= 6 ? 2 : option.size() >= 3 ? 1 : 0;
    if (name.size() <= option.size() + allowed && editDistance(name, option) <= allowed &&
        argument.substr(1) != option) {
      settings.trace(argument, ": passed on to the simulator, not taken as -", option);
      ++settings.nearMisses;
      return;
    }
  }
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
                          LaunchError* error) {
  // An argument cannot hold a NUL; cutting the line there would drop the rest of it unseen.
  if (line.find('\0') != std::string_view::npos) {
    return fail(error, malformedCommandFile, "a NUL byte");
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
        return fail(error, missingClosingQuote, "no closing double quote");
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
        return fail(error, malformedCommandFile, "a double quote inside an argument");
      }
      arguments.emplace_back(line.substr(at, next - at));
    }
    at = skipSpaces(line, next);
  }
  return true;
}

bool buildArgumentVector(LaunchSettings& settings, int argc, const char* const* argv,
                         LaunchError* error) {
  std::vector<std::string>& merged = settings.argvF;
  merged.emplace_back(argc > 0 ? argv[0] : "");
  // The arguments given on the command line already fit the system's limit; only what the command
  // files bring can grow without end.
  StringSpace fromCommandFiles;
  std::size_t limit = 0;  // asked for at the first command file
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-f") != 0) {
      merged.emplace_back(argv[i]);
      continue;
    }
    if (i + 1 >= argc) {
      return failWithoutValue(error, commandFileNotFound, "-f", "command file");
    }
    const char* commandFile = argv[++i];
    settings.lastCommandFile = commandFile;
    if (limit == 0) {
      limit = systemArgumentLimit();
    }
    const std::size_t before = merged.size();
    if (!expandCommandFile(commandFile, merged, fromCommandFiles, limit, error)) {
      return false;
    }
    if (settings.tracing) {  // the count is formatted only for the trace
      settings.trace("command file ", commandFile, ": ", std::to_string(merged.size() - before),
                     " arguments");
    }
  }
  return true;
}

bool checkCommandLineFits(const LaunchSettings& settings, StringSpace arguments,
                          std::size_t programBytes, std::string_view handedOverName,
                          std::string_view handedOverValue, LaunchError* error) {
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view variable = *entry;
    if (!(variable.starts_with(handedOverName) && variable[handedOverName.size()] == '=')) {
      arguments.add(variable.size());
    }
  }
  arguments.add(handedOverName.size() + 1 + handedOverValue.size());
  // The kernel keeps the program's path beside them, without a pointer.
  const std::size_t used = arguments.used + programBytes;
  if (arguments.longest >= maxStringSize) {
    return fail(error, commandLineTooLong(settings.lastCommandFile),
                stringTooLong(arguments.longest));
  }
  // Whatever the stack, the kernel takes this much: most launches need not ask for the limit.
  return used <= smallestLimit || used <= systemArgumentLimit() ||
         fail(error, commandLineTooLong(settings.lastCommandFile),
              everythingPastLimit(used, systemArgumentLimit()));
}

bool parseLaunchOptions(LaunchSettings& settings, LaunchError* error) {
  std::vector<std::string>& arguments = settings.argvF;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    // An option that takes a value consumes the next entry, whatever it looks like.
    const bool valueFollows = i + 1 < arguments.size();
    if (argument == "-gui"sv) {
      settings.isGuiMode = true;
    } else if (argument == "-tclbatch"sv) {
      if (!valueFollows) {
        return failWithoutValue(error, "<file_name> argument is required after -tclbatch switch",
                                argument, "Tcl file");
      }
      if (const int reason = openForReadingError(arguments[++i]); reason != 0) {
        return fail(error, "Tcl file not found",
                    visibly("cannot read Tcl file ", arguments[i], ": ", systemReason(reason)));
      }
      settings.tclbatchFile = arguments[i];
    } else if (argument == "-view"sv) {
      if (!valueFollows) {
        return failWithoutValue(error, "<wcfg_file|wdb_file> is not found", argument, "file");
      }
      settings.viewFiles.push_back(arguments[++i]);
    } else if (argument == "-open"sv) {
      if (!valueFollows) {
        return failWithoutValue(error, "<wdb_file> is not found", argument, "file");
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
      constexpr const char* intstyleMessage =
          "-intstyle needs to have one of these arguments: vel|ko|dorne|silent";
      if (!valueFollows) {
        return failWithoutValue(error, intstyleMessage, argument, "style");
      }
      if (!isIntstyleName(arguments[i + 1])) {
        return fail(error, intstyleMessage,
                    visibly("-intstyle ", arguments[i + 1], ": not one of vel, ko, dorne, silent"));
      }
      settings.intstyleName = arguments[++i];
    } else if (argument == "-disabletimeout"sv) {
      settings.useTimeout = false;
    } else {
      settings.hasUserOptions = true;
      settings.userOptions.append(argument).push_back(' ');
      // A slip of one of the launcher's own options passes on in silence; a trace names it. The
      // name after "-log" is the run log's.
      if (settings.tracing && arguments[i - 1] != "-log") {
        traceNearMiss(settings, argument);
      }
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
