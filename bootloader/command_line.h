// The command line: the merged argument vector, with `-f <file>` replaced by the arguments of that
// command file, and the recognition of the launcher's own options in it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "launch_settings.h"

/// Appends the arguments of one command-file line (without its newline) to `arguments`.
/// Arguments are separated by spaces only; a line whose first non-space character is "#" is a
/// comment; a double quote opens an argument that runs to the next double quote, spaces
/// included. Returns false, with `error` holding the message and what is wrong, for a line that
/// ends inside quotes, holds a double quote inside an unquoted argument, or holds a NUL byte.
bool splitCommandFileLine(std::string_view line, std::vector<std::string>& arguments,
                          LaunchError* error);

/// Fills the merged argument vector: the invocation name, then the arguments in order, each
/// `-f <file>` replaced by the arguments of that file. Only the invocation's own command line is
/// expanded; a "-f" inside a command file is an ordinary argument. A command file is read and
/// split line by line, so a malformed line stops the launcher when it is reached, and the merged
/// arguments never grow past what the system accepts for a new program's command line, nor does any
/// one of them. Returns false, with `error` holding the message, for a missing or unreadable
/// command file, a malformed line, or arguments past those limits.
bool buildArgumentVector(LaunchSettings& settings, int argc, const char* const* argv,
                         LaunchError* error);

/// What a new program's strings take as the kernel counts them: each string's bytes, terminator
/// and pointer, and the longest string. A 64-bit kernel charges 8 bytes for a pointer to 32-bit
/// programs too; on a 32-bit kernel, counting 8 costs an i386 launcher 4 bytes of the limit for
/// each argument, which spares a system call on every launch.
struct StringSpace {
  static constexpr std::size_t pointerSize = 8;
  std::size_t used = 0;
  std::size_t longest = 0;
  void add(std::size_t length) {
    used += length + 1 + pointerSize;
    longest = longest < length ? length : longest;
  }
};

/// Whether the simulator can be started with arguments that take `arguments`, the environment as
/// it now is with `handedOverName` set to `handedOverValue` too, and a program whose path and
/// argv[0] (or the words its #! lines put in argv[0]'s place) take `programBytes`, terminators
/// included:
/// the kernel refuses any one argument or variable of 128 KiB and more, and all of them together,
/// with their pointers and the path, past a quarter of the stack limit (at least 128 KiB, at most
/// 6 MiB). Returns false, with `error` holding the message, when it cannot.
bool checkCommandLineFits(const LaunchSettings& settings, StringSpace arguments,
                          std::size_t programBytes, std::string_view handedOverName,
                          std::string_view handedOverValue, LaunchError* error);

/// Recognises the launcher's options in the merged vector (entry 1 on) and records them; every
/// other argument goes into the user-options string. A "-wdb" value without its ".wdb" suffix gets
/// one, in the merged vector too. Returns false, with `error` holding the message, at the first
/// option whose value is missing or wrong.
bool parseLaunchOptions(LaunchSettings& settings, LaunchError* error);

/// Closes the user-options string: drops the space after the last user option and appends the
/// closing double quote.
void finishUserOptions(LaunchSettings& settings);
