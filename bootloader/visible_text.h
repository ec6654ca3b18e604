// Values as standard error may show them: a path, an argument or a variable can hold any byte, and
// none may forge a line of its own or reach the terminal as an escape sequence. This header
// includes nothing of the launcher's own: every other part may use it.
#pragma once

#include <string>
#include <string_view>

/// Appends `value` to `text` as standard error may show it: unchanged, unless it holds a control
/// byte (below 0x20, or 0x7f), a C1 control (raw or UTF-8 encoded) or bytes that are not UTF-8;
/// then in the shell's $'...' quoting, so that no value can forge a line of its own or send the
/// terminal an escape sequence.
void appendVisibly(std::string& text, std::string_view value);

/// `parts` (anything a std::string_view is made from) one after another, each as appendVisibly()
/// writes it.
template <typename... Parts>
std::string visibly(const Parts&... parts) {
  std::string text;
  (appendVisibly(text, std::string_view(parts)), ...);
  return text;
}

/// `argument` as a shell reads it back: in single quotes, or in $'...' when it holds a byte that
/// appendVisibly() would escape.
std::string quoted(std::string_view argument);
