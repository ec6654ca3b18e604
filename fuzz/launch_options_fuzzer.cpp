// Feeds an arbitrary argument list (the input split at NUL bytes) through option recognition, the
// user-options string, the run log's option scan and content, and both child command lines.
// Aborts on a broken invariant, so that the fuzzer reports it like a crash.
//
// Runs in an empty temporary directory, and a -tclbatch value is confined to it ("/" becomes
// "_"): the check opens that file, and the fuzzer must not open whatever device it might name.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bootloader.h"
#include "command_line.h"
#include "run_log.h"

namespace {

void check(bool holds, const char* invariant) {
  if (!holds) {
    std::fprintf(stderr, "broken invariant: %s\n", invariant);
    std::abort();
  }
}

const std::string designImagePath = "orsa/tb_sim.sim/tb_sim";

std::vector<std::string> argumentsOf(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments{"./tb_sim"};
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\0') {
      arguments.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  arguments.push_back(current);
  for (std::size_t i = 1; i + 1 < arguments.size(); ++i) {
    if (arguments[i] == "-tclbatch") {
      for (char& c : arguments[i + 1]) {
        c = c == '/' ? '_' : c;
      }
    }
  }
  return arguments;
}

std::vector<std::string> strings(const std::vector<const char*>& command) {
  check(!command.empty() && command.back() == nullptr, "a child command line is terminated");
  return std::vector<std::string>(command.begin(), command.end() - 1);
}

void checkKernelCommandLine(const LaunchSettings& settings) {
  std::vector<std::string> expected{"orsatcl", "-exe", designImagePath};
  expected.insert(expected.end(), settings.argvF.begin() + 1, settings.argvF.end());
  check(strings(tclKernelCommandLine(settings, designImagePath)) == expected,
        "the kernel gets orsatcl -exe <image> and the merged vector from entry 1");
}

void checkFrontEndCommandLine(const LaunchSettings& settings) {
  const std::vector<const char*> command = graphicalFrontEndCommandLine(settings, designImagePath);
  check(command.size() <= 2 * settings.viewFiles.size() + 15, "the front end's vector fits");
  const std::vector<std::string> arguments = strings(command);
  check(arguments[0] == "orsagui" && arguments[1] == "-exe" && arguments[2] == designImagePath,
        "the front end gets orsagui -exe <image> first");
  if (settings.hasUserOptions) {
    check(arguments.end()[-2] == "-userOptions" && arguments.back() == settings.userOptions,
          "the user options come last");
  }
}

void checkRunLog(const LaunchSettings& settings, const std::vector<std::string>& original) {
  check(settings.nolog || settings.logFileName == "orsa.log" ||
            std::find(settings.argvF.begin(), settings.argvF.end(), settings.logFileName) !=
                settings.argvF.end(),
        "the log goes to orsa.log or to a name given on the command line");
  std::vector<const char*> argv;
  std::size_t expectedSize = std::string("Orsa log file\nRunning: \n").size();
  for (const std::string& argument : original) {
    argv.push_back(argument.c_str());
    expectedSize += argument.size() + 1;
  }
  const std::string log = formatRunLog(static_cast<int>(argv.size()), argv.data());
  check(log.size() == expectedSize && log.rfind("Orsa log file\nRunning: ./tb_sim ", 0) == 0 &&
            log.back() == '\n',
        "the log holds the title and every argument followed by a space");
}

char workingDirectory[] = "/tmp/launch-options-fuzz-XXXXXX";

void removeWorkingDirectory() {
  unlink("run.tcl");
  rmdir(workingDirectory);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  check(mkdtemp(workingDirectory) != nullptr && chdir(workingDirectory) == 0,
        "an empty working directory");
  std::fclose(std::fopen("run.tcl", "w"));
  std::atexit(removeWorkingDirectory);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  LaunchSettings settings;
  settings.argvF = argumentsOf(data, size);
  const std::vector<std::string> original = settings.argvF;
  std::string error;
  const bool recognised = parseLaunchOptions(settings, &error);
  check(settings.argcF() == original.size(), "recognition keeps every entry");
  for (std::size_t i = 0; i < original.size(); ++i) {
    check(settings.argvF[i] == original[i] || settings.argvF[i] == original[i] + ".wdb",
          "an entry is unchanged or a completed -wdb value");
  }
  if (!recognised) {
    check(!error.empty(), "a rejected command line has a message");
    return 0;
  }
  finishUserOptions(settings);
  check(settings.userOptions.size() >= 2 && settings.userOptions.front() == '"' &&
            settings.userOptions.back() == '"',
        "the user-options string starts and ends with a double quote");
  check(!settings.wdbFileName || settings.wdbFileName->ends_with(".wdb"),
        "the -wdb name ends in .wdb");
  checkKernelCommandLine(settings);
  checkFrontEndCommandLine(settings);
  scanLogOptions(settings);
  checkRunLog(settings, original);
  return 0;
}
