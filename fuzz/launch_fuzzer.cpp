// Drives input through the launcher's steps in-process: the bytes before the first 0xFF are a
// command file, the rest arguments split at NUL bytes. A broken invariant traps: a fuzzer crash.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

#include "bootloader.h"
#include "command_line.h"
#include "run_log.h"

#define CHECK(invariant) ((invariant) ? void() : __builtin_trap())

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
  // The text line by line through the plain line splitter: what the streaming reader must give.
  std::vector<std::string> expected{"./tb_sim"};
  std::string error, expectedError;
  for (std::size_t end = 0; end != std::string_view::npos && expectedError.empty();) {
    end = text.find('\n');
    splitCommandFileLine(text.substr(0, end), expected, &expectedError);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  std::vector<const char*> argv(arguments.size());
  std::ranges::transform(arguments, argv.begin(), [](const std::string& a) { return a.c_str(); });
  LaunchSettings settings;
  const bool built = buildArgumentVector(settings, int(argv.size()), argv.data(), &error);
  // The reader fails where the line splitter does, with its message, or gives the same arguments.
  CHECK(built == expectedError.empty() && (built || error == expectedError));
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
