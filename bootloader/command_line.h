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
/// included. Returns false, with `error` holding the message, for a line that ends inside quotes,
/// holds a double quote inside an unquoted argument, or holds a NUL byte.
bool splitCommandFileLine(std::string_view line, std::vector<std::string>& arguments,
                          std::string* error);

/// Fills the merged argument vector: the invocation name, then the arguments in order, each
/// `-f <file>` replaced by the arguments of that file. Only the invocation's own command line is
/// expanded; a "-f" inside a command file is an ordinary argument. A command file is read and
/// split line by line, so a malformed line stops the launcher when it is reached, and the merged
/// arguments never grow past what the system accepts for a new program's command line. Returns
/// false, with `error` holding the message, for a missing or unreadable command file, a malformed
/// line, or arguments past that limit.
bool buildArgumentVector(LaunchSettings& settings, int argc, const char* const* argv,
                         std::string* error);

/// Recognises the launcher's options in the merged vector (entry 1 on) and records them; every
/// other argument goes into the user-options string. A "-wdb" value without its ".wdb" suffix gets
/// one, in the merged vector too. Returns false, with `error` holding the message, at the first
/// option whose value is missing or wrong.
bool parseLaunchOptions(LaunchSettings& settings, std::string* error);

/// Closes the user-options string: drops the space after the last user option and appends the
/// closing double quote.
void finishUserOptions(LaunchSettings& settings);
