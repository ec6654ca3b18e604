#include "hand_over.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "command_line.h"
#include "standard_error.h"
#include "system_io.h"

namespace {

/// The simulator's programs, and the option that comes first on either's command line.
constexpr std::string_view kernelName = "orsatcl";
constexpr std::string_view frontEndName = "orsagui";
constexpr std::string_view exeOption = "-exe";

/// What execvp runs a file with when exec knows no format of it.
constexpr std::string_view shell = "/bin/sh";
/// The kernel follows a chain of at most this many #! lines; one more and exec fails (ELOOP).
constexpr int scriptsAtMost = 5;
/// The kernel reads this much of a program to tell its format; a #! line is read from it alone.
constexpr std::size_t formatBytes = 256;
/// What a chain of #! lines, or /bin/sh, may put in argv[0]'s place besides the program's path:
/// two words of a #! line and the name of each script behind the first, on every link of the chain.
constexpr std::size_t interpreterWordsAtMost = (scriptsAtMost + 1) * 3 * formatBytes;

/// The entries of a null-terminated command line from `first` on, each quoted, each after a space.
std::string quotedArguments(const std::vector<const char*>& command, std::size_t first) {
  std::string line;
  for (std::size_t i = first; i + 1 < command.size(); ++i) {
    line.append(" ").append(quoted(command[i]));
  }
  return line;
}

/// One bash command that repeats the hand-over, for the trace: in a subshell, the variables the
/// launcher set for the simulator exported, then `exec -a ARGV0 -- FILE ARGUMENTS`, every word
/// quoted whatever bytes it holds, and none taken for an option of exec. FILE is the program the
/// kernel ends up running, and the arguments what it ends up with: for a #! program its interpreter
/// with the words the kernel puts before the arguments, which bash would not pass on as they are
/// (its exec makes a relative path absolute). A file found in the working directory through PATH
/// gets a "./", so that bash does not search its own PATH for it.
std::string pastableHandOver(const HandOverPrediction& prediction,
                             const std::vector<const char*>& command) {
  std::string line = "(export";
  for (const char* name : {"LD_LIBRARY_PATH", "TARVEN_DSP", handedOverName}) {
    if (const char* value = std::getenv(name); value != nullptr) {
      line.append(" ").append(name).append("=").append(quoted(value));
    }
  }
  const std::vector<std::string>& leading = prediction.argumentZero;
  const std::string& file = leading.size() == 1 ? prediction.program : leading[0];
  line.append("; exec -a ").append(quoted(leading[0])).append(" -- ");
  line.append(quoted(file.find('/') == std::string::npos ? "./" + file : file));
  for (std::size_t i = 1; i < leading.size(); ++i) {
    line.append(" ").append(quoted(leading[i]));
  }
  return line.append(quotedArguments(command, 1)).append(")");
}

/// What exec makes of one program.
struct ExecOutcome {
  int error = 0;
  std::string atFault;  // the #! interpreter `error` is about; empty when it is the program's own
  std::vector<std::string> words;  // what its #! lines put before its path, in argv[0]'s place
  std::string unknown;
};

ExecOutcome refused(int error) {
  ExecOutcome outcome;
  outcome.error = error;
  return outcome;
}

bool isSpaceOrTab(char c) {
  return c == ' ' || c == '\t';
}

/// The words of a #! line in a program's first bytes (`head`, NUL-padded to formatBytes), read as
/// the kernel reads them: the interpreter, and its argument if one follows. The line ends at the
/// first newline before a NUL; without one, the interpreter's name must end within the bytes read,
/// and the last of them is cut off. Spaces and tabs around the words go. Empty when the line names
/// no interpreter.
std::vector<std::string> interpreterWords(std::string_view head) {
  // The first position from `from` to `to`, both included, that `wanted` accepts; npos if none.
  const auto find = [&head](std::size_t from, std::size_t to, auto wanted) {
    for (; from <= to; ++from) {
      if (wanted(head[from])) {
        return from;
      }
    }
    return std::string_view::npos;
  };
  const auto notSpace = [](char c) { return !isSpaceOrTab(c); };
  const auto ending = [](char c) { return isSpaceOrTab(c) || c == '\0'; };
  const std::size_t last = formatBytes - 1;
  std::size_t end = head.find_first_of(std::string_view("\n\0", 2));
  if (end == std::string_view::npos || head[end] != '\n') {
    const std::size_t name = find(2, last, notSpace);
    if (name == std::string_view::npos || find(name, last, ending) == std::string_view::npos) {
      return {};  // the name may go on past what the kernel read
    }
    end = last;
  }
  while (isSpaceOrTab(head[end - 1])) {
    --end;
  }
  const std::size_t name = find(2, end, notSpace);
  if (name == std::string_view::npos || name == end) {
    return {};
  }
  const std::size_t separator = find(name, end, ending);
  const std::size_t argument = separator != std::string_view::npos && head[separator] != '\0'
                                   ? find(separator, end, notSpace)
                                   : std::string_view::npos;
  // Each word ends where the kernel ends it, or at a NUL before.
  const auto word = [&head](std::size_t from, std::size_t to) {
    const std::string_view text = head.substr(from, to - from);
    return std::string(text.substr(0, text.find('\0')));
  };
  std::vector<std::string> words{word(name, argument != std::string_view::npos ? separator : end)};
  if (argument != std::string_view::npos) {
    words.push_back(word(argument, end));
  }
  return words;
}

/// What the kernel makes of an ELF program at `path` by its header (`head`): it runs executables
/// and shared objects, little-endian, for x86-64 in 64 bits and for i386 in 32 bits. Programs of 32
/// bits run where the launcher, one of them, runs; a kernel of 64 bits may not run them (i386 or
/// x32), and that cannot be known without trying.
ExecOutcome examineElfHeader(const std::string& path, std::string_view head) {
  const auto field = [&head](std::size_t at) {
    return static_cast<unsigned char>(head[at]) | static_cast<unsigned char>(head[at + 1]) << 8;
  };
  constexpr int classOf64Bits = 2, littleEndian = 1, i386 = 3, x86_64 = 62;
  const bool executable = field(16) == 2 || field(16) == 3;  // ET_EXEC, ET_DYN
  const int machine = field(18);
  const bool of64Bits = head[4] == classOf64Bits;
  if (!executable || head[5] != littleEndian || (machine != i386 && machine != x86_64) ||
      (machine == i386 && of64Bits)) {
    return refused(ENOEXEC);
  }
  constexpr bool launcherOf32Bits = sizeof(void*) == 4;
  ExecOutcome outcome;
  if (!of64Bits && (machine == x86_64 || !launcherOf32Bits)) {
    outcome.unknown = visibly("whether ", path, " starts: a kernel of 64 bits may not run ") +
                      "programs of 32 bits";
  }
  return outcome;
}

/// What exec would make of the program at `path`, `depth` links down a chain of #! lines, without
/// starting it: a regular file the caller may execute on a mount that allows it (access() says
/// both), whose first bytes are an executable format or a #! line naming an interpreter that
/// passes the same test.
ExecOutcome examineProgram(const std::string& path, int depth = 0) {
  struct stat status;
  if (retried([&] { return stat(path.c_str(), &status); }) != 0) {
    return refused(errno);
  }
  if (!S_ISREG(status.st_mode)) {
    return refused(EACCES);
  }
  if (faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) != 0) {
    return refused(errno);
  }
  if (depth > scriptsAtMost) {
    return refused(ELOOP);
  }
  const int descriptor =
      retried([&] { return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); });
  if (descriptor < 0) {
    ExecOutcome outcome;
    outcome.unknown = visibly("whether ", path, " starts: its first bytes cannot be read (") +
                      strerrordesc_np(errno) + ")";
    return outcome;
  }
  std::string head(formatBytes, '\0');
  std::size_t size = 0;
  ssize_t got = 1;
  while (got > 0 && size < head.size()) {
    got = retried([&] { return read(descriptor, head.data() + size, head.size() - size); });
    size += got > 0 ? std::size_t(got) : 0;
  }
  close(descriptor);
  if (head.starts_with("\x7f"
                       "ELF")) {
    return examineElfHeader(path, head);
  }
  const std::vector<std::string> words =
      head.starts_with("#!") ? interpreterWords(head) : std::vector<std::string>();
  if (words.empty()) {
    return refused(ENOEXEC);
  }
  // An empty name leads the kernel to the working directory, a folder.
  const std::string interpreter = words[0].empty() ? "." : words[0];
  ExecOutcome outcome = examineProgram(interpreter, depth + 1);
  if (outcome.error != 0 && outcome.atFault.empty()) {
    outcome.atFault = interpreter;
  }
  // The kernel puts the interpreter, its argument if any, and the script's path where argv[0] was;
  // an interpreter that is a script itself gives way to its own words the same way.
  outcome.words.insert(outcome.words.end(), words.begin(), words.end());
  return outcome;
}

/// Tries one path as exec would: what it makes of the program there, what stands in argv[0]'s
/// place when it starts, and what the kernel keeps for that and the path. With `shellFallback`, as
/// execvp, a program of no format exec knows is run with /bin/sh, which takes its path as the
/// first argument.
HandOverPrediction examineAttempt(const std::string& path, std::string_view name,
                                  bool shellFallback) {
  const ExecOutcome outcome = examineProgram(path);
  HandOverPrediction attempt;
  attempt.error = outcome.error;
  attempt.program = path;
  attempt.atFault = outcome.atFault;
  attempt.argumentZero = outcome.words;
  attempt.argumentZero.push_back(outcome.words.empty() ? std::string(name) : path);
  attempt.unknown = outcome.unknown;
  std::size_t kept = path.size() + 1;
  if (outcome.error == ENOEXEC && shellFallback) {
    attempt = examineAttempt(std::string(shell), shell, false);
    attempt.program = path;
    attempt.atFault = attempt.error == 0 || !attempt.atFault.empty() ? attempt.atFault : shell;
    attempt.argumentZero.push_back(path);
    kept = shell.size() + 1 + StringSpace::pointerSize;  // one argument more
  }
  for (const std::string& word : attempt.argumentZero) {
    kept += word.size() + 1;
  }
  attempt.programBytes = kept;
  return attempt;
}

/// Whether execvp goes on to the next directory of PATH after an exec that failed so: the program
/// is not there, or may not be executed by the caller.
bool looksFurther(int error) {
  return error == ENOENT || error == EACCES || error == ENOTDIR || error == ESTALE ||
         error == ENODEV || error == ETIMEDOUT;
}

/// Shows `visit` each path by which execvp looks for the front end, in its order, until it returns
/// false: each directory of PATH (the system's default where PATH is unset) with the name appended,
/// an empty directory meaning the working directory. One string serves for all of them.
template <typename Visit>
void visitFrontEndPaths(Visit visit) {
  const char* searchPath = std::getenv("PATH");
  std::string_view directories = searchPath != nullptr ? searchPath : "/bin:/usr/bin";
  std::string path;
  for (std::size_t end = 0; end != std::string_view::npos; directories.remove_prefix(end + 1)) {
    end = directories.find(':');
    path.assign(directories.substr(0, end));
    if (path.size() >= PATH_MAX) {
      // execvp skips a directory as long as PATH_MAX, and then, by a slip of its own, tries the
      // working directory in its place; at the end of PATH it stops.
      if (end == std::string_view::npos) {
        return;
      }
      path.clear();
    }
    path.append(path.empty() ? "" : "/").append(frontEndName);
    if (!visit(path)) {
      return;
    }
  }
}

/// The longest path by which execvp may start the front end.
std::size_t longestFrontEndPath() {
  std::size_t longest = 0;
  visitFrontEndPaths([&longest](const std::string& path) {
    longest = std::max(longest, path.size());
    return true;
  });
  return longest;
}

/// execvp's search for the front end: the first path that starts it or stops the search, else
/// EACCES if a program was there but might not be executed, else the last path's reason. The
/// report names a program that is there, and the interpreter at fault of one whose is missing.
HandOverPrediction predictFrontEnd() {
  HandOverPrediction decided, named;
  decided.error = ENOENT;  // what execvp says when PATH gives it no path to try
  bool denied = false;
  std::size_t mostBytes = 0;
  visitFrontEndPaths([&](const std::string& path) {
    decided = examineAttempt(path, frontEndName, true);
    // The kernel may count the arguments before it looks for the program: each path tried counts.
    mostBytes = std::max(mostBytes, decided.programBytes);
    if (decided.error == EACCES && !denied) {
      denied = true;
      named = decided;
    } else if (decided.error == ENOENT && !decided.atFault.empty() && named.program.empty()) {
      named = decided;
    }
    return looksFurther(decided.error);
  });
  if (looksFurther(decided.error) &&
      (denied || (decided.error == ENOENT && !named.program.empty()))) {
    decided = named;
  } else if (decided.error == ENOENT) {
    decided.program.clear();  // found nowhere
  }
  decided.programBytes = std::max(mostBytes, decided.programBytes);
  return decided;
}

/// The trace's exec line, when there is a program to start, and the trace so far, written before
/// the hand-over replaces the launcher.
void traceHandOver(LaunchSettings& settings, const HandOverPrediction& prediction,
                   const std::vector<const char*>& command) {
  if (!prediction.program.empty()) {
    settings.trace(pastableHandOver(prediction, command));
  }
  flushTrace(settings);
}

/// Why the hand-over fails with the prediction's error: the program (for the front end, the path
/// where execvp stopped, or none when it found none), the interpreter at fault, the reason.
std::string failedHandOverLine(const LaunchSettings& settings,
                               const HandOverPrediction& prediction) {
  std::string line = settings.isGuiMode ? "cannot start orsagui: " : "cannot start ";
  if (!prediction.program.empty()) {
    line.append(visibly(prediction.program));
    if (!prediction.atFault.empty()) {
      line.append(visibly(": its interpreter ", prediction.atFault));
    }
    line.append(": ");
  }
  return line.append(prediction.program.empty() && settings.isGuiMode
                         ? "not found in PATH"
                         : strerrordesc_np(prediction.error));
}

/// Why no kernel can be started: the first that was there but could not be read, or TARVEN.
std::string missingKernelLine(const LaunchSettings& settings) {
  if (!settings.unreadableKernel.empty()) {
    // A kernel is there: what stops the launch is that file, not TARVEN.
    return visibly("cannot start orsatcl: ", settings.unreadableKernel, ": ",
                   strerrordesc_np(settings.unreadableKernelError));
  }
  const char* tarven = std::getenv("TARVEN");
  std::string line =
      "cannot start orsatcl: no installation root in TARVEN holds bin/lin/unwrapped/orsatcl; ";
  if (tarven == nullptr || *tarven == '\0') {
    return line.append(tarven == nullptr ? "TARVEN is unset" : "TARVEN is empty");
  }
  const std::string shown = visibly(tarven);
  return line.append("TARVEN is ").append(shown == tarven ? '"' + shown + '"' : shown);
}

bool hasNoKernel(const LaunchSettings& settings) {
  return !settings.isGuiMode && settings.finalPathForOrsaTcl.empty();
}

}  // namespace

std::vector<const char*> graphicalFrontEndCommandLine(const LaunchSettings& settings,
                                                      const std::string& designImagePath) {
  std::vector<const char*> command{frontEndName.data(), exeOption.data(), designImagePath.c_str()};
  const auto addOption = [&command](const char* name, const std::optional<std::string>& value) {
    if (value) {
      command.push_back(name);
      command.push_back(value->c_str());
    }
  };
  if (!settings.useTimeout) {
    command.push_back("-disabletimeout");
  }
  addOption("-tclbatch", settings.tclbatchFile);
  for (const std::string& viewFile : settings.viewFiles) {
    command.push_back("-view");
    command.push_back(viewFile.c_str());
  }
  addOption("-open", settings.openFileName);
  addOption("-wdb", settings.wdbFileName);
  addOption("-intstyle", settings.intstyleName);
  if (settings.hasUserOptions) {
    command.push_back("-userOptions");
    command.push_back(settings.userOptions.c_str());
  }
  command.push_back(nullptr);
  return command;
}

std::vector<const char*> tclKernelCommandLine(const LaunchSettings& settings,
                                              const std::string& designImagePath) {
  std::vector<const char*> command;
  command.reserve(settings.argcF() + 3);
  command.push_back(kernelName.data());
  command.push_back(exeOption.data());
  command.push_back(designImagePath.c_str());
  for (std::size_t i = 1; i < settings.argcF(); ++i) {
    command.push_back(settings.argvF[i].c_str());
  }
  command.push_back(nullptr);
  return command;
}

void traceOptions(LaunchSettings& settings) {
  if (settings.tracing) {
    settings.trace(settings.isGuiMode ? "options: -gui" : "options:",
                   quotedArguments(settings.isGuiMode ? graphicalFrontEndCommandLine(settings, "")
                                                      : tclKernelCommandLine(settings, ""),
                                   3));
  }
}

HandOverPrediction predictHandOver(const LaunchSettings& settings) {
  if (settings.isGuiMode) {
    return predictFrontEnd();
  }
  if (settings.finalPathForOrsaTcl.empty()) {
    HandOverPrediction none;
    none.error = ENOENT;
    return none;
  }
  return examineAttempt(settings.finalPathForOrsaTcl, kernelName, false);
}

bool checkHandOverFits(const LaunchSettings& settings, const std::string& designImagePath,
                       LaunchError* error) {
  // The kernel's arguments are counted from the merged vector: it may hold a great many. argv[0]'s
  // bytes are counted with the program, whose #! lines may put other words in its place.
  StringSpace arguments;
  arguments.used += StringSpace::pointerSize;
  std::size_t programPath = settings.finalPathForOrsaTcl.size();
  if (settings.isGuiMode) {
    const std::vector<const char*> command =
        graphicalFrontEndCommandLine(settings, designImagePath);
    for (std::size_t i = 1; i + 1 < command.size(); ++i) {
      arguments.add(std::strlen(command[i]));
    }
    programPath = longestFrontEndPath();
  } else {
    arguments.add(exeOption.size());
    arguments.add(designImagePath.size());
    for (std::size_t i = 1; i < settings.argcF(); ++i) {
      arguments.add(settings.argvF[i].size());
    }
  }
  // Most launches fit even with the most any program could take, and need not examine it.
  const std::size_t mostProgramBytes = 2 * (programPath + 1) + interpreterWordsAtMost;
  return checkCommandLineFits(settings, arguments, mostProgramBytes, handedOverName,
                              handedOverValue, error) ||
         checkCommandLineFits(settings, arguments, predictHandOver(settings).programBytes,
                              handedOverName, handedOverValue, error);
}

void launchGraphicalFrontEnd(LaunchSettings& settings, const std::string& designImagePath) {
  const std::vector<const char*> command = graphicalFrontEndCommandLine(settings, designImagePath);
  if (settings.tracing) {
    traceHandOver(settings, predictFrontEnd(), command);
  }
  // The exec functions take non-const pointers for historical reasons; they never write through.
  execvp(frontEndName.data(), const_cast<char* const*>(command.data()));
}

void launchTclKernel(LaunchSettings& settings, const std::string& designImagePath) {
  const std::vector<const char*> command = tclKernelCommandLine(settings, designImagePath);
  if (settings.tracing) {
    traceHandOver(settings, predictHandOver(settings), command);
  }
  execv(settings.finalPathForOrsaTcl.c_str(), const_cast<char* const*>(command.data()));
}

void reportFailedHandOver(const LaunchSettings& settings, int error) {
  if (hasNoKernel(settings)) {
    writeErrorLine(settings, missingKernelLine(settings));
    return;
  }
  HandOverPrediction prediction = predictHandOver(settings);
  if (prediction.error != error) {
    // The system saw what the launcher could not foresee: its reason, and the program.
    prediction = HandOverPrediction();
    prediction.error = error;
    prediction.program = settings.isGuiMode ? "" : settings.finalPathForOrsaTcl;
  }
  writeErrorLine(settings, failedHandOverLine(settings, prediction));
}

int endCheckedLaunch(LaunchSettings& settings, const std::string& designImagePath) {
  const HandOverPrediction prediction = predictHandOver(settings);
  traceHandOver(settings, prediction,
                settings.isGuiMode ? graphicalFrontEndCommandLine(settings, designImagePath)
                                   : tclKernelCommandLine(settings, designImagePath));
  if (!prediction.unknown.empty()) {
    writeErrorLine(settings, "cannot know " + prediction.unknown);
  }
  if (prediction.error == 0) {
    return 0;
  }
  writeErrorLine(settings, hasNoKernel(settings) ? missingKernelLine(settings)
                                                 : failedHandOverLine(settings, prediction));
  return 1;
}
