// Drives input through the launcher's steps in-process: the bytes before the first 0xFF are a
// command file, the rest arguments split at NUL bytes. A broken invariant traps: a fuzzer crash.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

#include "command_line.h"
#include "hand_over.h"
#include "run_log.h"

#define CHECK(invariant) ((invariant) ? void() : __builtin_trap())

// The limits this build is made with (BOOTLOADER_SMALL_LIMITS), and what an argument costs.
constexpr std::size_t limit = 2048, longest = 255;
std::size_t cost(std::string_view argument) {
  return argument.size() + 9;
}

/// A line's length without its leading spaces, each further run of spaces outside quotes counted
/// once: what the reader keeps of a line that passes the limit.
std::size_t collapsedSize(std::string_view line) {
  line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
  std::size_t size = 0;
  bool quoted = false, afterSpace = false;
  for (const char c : line) {
    quoted = quoted != (c == '"');
    const bool space = c == ' ' && !quoted;
    size += !(space && afterSpace);
    afterSpace = space;
  }
  return size;
}

/// The errors the reader may stop with at `line`, where the command files' arguments so far take
/// `used`: a line that with them passes the limit stops it, unless its NUL byte is met first;
/// otherwise the line splitter's error, or an argument's own limit. Empty when the line is fine.
std::vector<std::string> lineErrors(std::string_view line, std::vector<std::string>& arguments,
                                    std::size_t& used, const std::string& tooLong) {
  const std::string malformed = "Error in parsing -f file";
  const bool comment =
      line.substr(std::min(line.find_first_not_of(' '), line.size())).starts_with('#');
  const bool over = !comment && used + collapsedSize(line) > limit;
  if (line.find('\0') != std::string_view::npos) {
    return over ? std::vector<std::string>{malformed, tooLong}
                : std::vector<std::string>{malformed};
  }
  LaunchError error;
  const std::size_t before = arguments.size();
  if (over || !splitCommandFileLine(line, arguments, &error)) {
    return {over ? tooLong : error.message};
  }
  for (std::size_t i = before; i < arguments.size(); ++i) {
    used += cost(arguments[i]);
    if (arguments[i].size() > longest) {
      return {tooLong};
    }
  }
  return {};
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  static const int memoryFile = memfd_create("command-file", 0);
  static const std::string path = "/dev/fd/" + std::to_string(memoryFile);
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view text = input.substr(0, input.find('\xff'));
  // "-f" and "-tclbatch" get a dot: the launcher must not open whatever device the input names.
  std::vector<std::string> arguments{"./tb_sim", "-f", path};
  for (std::size_t at = text.size(); at < size; at = input.find('\0', at + 1)) {
    arguments.emplace_back(input.substr(at + 1, input.find('\0', at + 1) - at - 1));
    arguments.back() += arguments.back() == "-f" || arguments.back() == "-tclbatch" ? "." : "";
  }
  // A comment line first puts the text just before the end of the reader's first chunk.
  const std::string file =
      "#" + std::string(65534 - (size ? data[0] % 128 : 0), 'c') + "\n" + std::string(text);
  CHECK(ftruncate(memoryFile, 0) == 0 && pwrite(memoryFile, file.data(), file.size(), 0) > 0);
  // The text line by line through the plain line splitter and the limits: what the streaming
  // reader must give, or the errors it may stop with.
  std::vector<std::string> expected{"./tb_sim"}, allowed;
  const std::string tooLong =
      "ERROR: Command file " + path + " makes the command line longer than the system accepts.";
  std::size_t used = 0;
  for (std::size_t end = 0; end != std::string_view::npos && allowed.empty();) {
    end = text.find('\n');
    allowed = lineErrors(text.substr(0, end), expected, used, tooLong);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  LaunchError error;
  std::vector<const char*> argv(arguments.size());
  std::ranges::transform(arguments, argv.begin(), [](const std::string& a) { return a.c_str(); });
  LaunchSettings settings;
  const bool built = buildArgumentVector(settings, int(argv.size()), argv.data(), &error);
  // The reader fails where the model does, with one of its messages, or gives the same arguments.
  CHECK(built == allowed.empty() && (built || std::ranges::count(allowed, error.message) == 1));
  // A failure also says, on standard error, what the message leaves out.
  CHECK(built || !error.detail.empty());
  expected.insert(expected.end(), arguments.begin() + 3, arguments.end());
  CHECK(!built || settings.argvF == expected);
  if (!built || (settings.argcF() > 1 && !parseLaunchOptions(settings, &error))) {
    return 0;
  }
  finishUserOptions(settings);
  scanLogOptions(settings);
  // Both command lines have the sizes their parts give, and the user options are closed.
  CHECK(tclKernelCommandLine(settings, path).size() == settings.argcF() + 3 &&
        graphicalFrontEndCommandLine(settings, path).size() <= 2 * settings.viewFiles.size() + 15 &&
        settings.userOptions.size() >= 2 && settings.userOptions.back() == '"');
  return 0;
}
