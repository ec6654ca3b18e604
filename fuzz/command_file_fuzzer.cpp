// Feeds arbitrary bytes, as the content of a command file, through the reader and the tokeniser.
// Aborts on a broken invariant, so that the fuzzer reports it like a crash.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "command_line.h"

namespace {

void check(bool holds, const char* invariant) {
  if (!holds) {
    std::fprintf(stderr, "broken invariant: %s\n", invariant);
    std::abort();
  }
}

/// The text read back through the command-file reader, from an in-memory file.
std::string readThroughFile(const std::string& text) {
  static const int file = memfd_create("command-file", MFD_CLOEXEC);
  check(file >= 0, "memfd_create works");
  check(ftruncate(file, 0) == 0 &&
            pwrite(file, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size()),
        "the in-memory file takes the input");
  std::string content;
  check(readCommandFile("/proc/self/fd/" + std::to_string(file), &content),
        "a readable file is read");
  return content;
}

/// The arguments written back as one line, each in double quotes.
std::string quotedLine(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    line += "\"" + argument + "\" ";
  }
  return line + "\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  check(readThroughFile(text) == text, "the reader returns the file's bytes exactly");

  std::vector<std::string> arguments;
  std::string error;
  if (!splitCommandFile(text, arguments, &error)) {
    check(
        error == "Error: Matching closing \" was not found" || error == "Error in parsing -f file",
        "a failure carries one of the tokeniser's messages");
    return 0;
  }
  for (const std::string& argument : arguments) {
    check(argument.find_first_of(std::string("\n\0\"", 3)) == std::string::npos,
          "no argument holds a newline, a NUL or a double quote");
  }
  // Arguments are free of quotes, newlines and NULs, so quoting each one on a single line must
  // give exactly the same list back.
  std::vector<std::string> again;
  check(splitCommandFile(quotedLine(arguments), again, &error), "a quoted line tokenises");
  check(again == arguments, "quoting the arguments round-trips");
  return 0;
}
