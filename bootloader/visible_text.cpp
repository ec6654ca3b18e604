#include "visible_text.h"

namespace {

/// The length of the well-formed UTF-8 sequence that `text` starts with (no overlong form, no
/// surrogate, nothing past U+10FFFF), or 0 when it starts with none.
std::size_t utf8SequenceLength(std::string_view text) {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) {
    return 1;
  }
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xbf;  // the second byte's range; the others' is 80..bf
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    low = lead == 0xe0 ? 0xa0 : low;
    high = lead == 0xed ? 0x9f : high;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    low = lead == 0xf0 ? 0x90 : low;
    high = lead == 0xf4 ? 0x8f : high;
  }
  if (length == 0 || text.size() < length || byte(1) < low || byte(1) > high) {
    return 0;
  }
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xbf) {
      return 0;
    }
  }
  return length;
}

/// How many bytes at the start of `text` show as they are: printable ASCII, or a printable UTF-8
/// character. 0 for a control byte (below 0x20, 0x7f), a C1 control (U+0080..U+009F, which some
/// terminals obey as escapes) and a byte that starts no well-formed sequence, as ls escapes them.
std::size_t printableLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x20 || lead == 0x7f) {
    return 0;
  }
  const std::size_t length = utf8SequenceLength(text);
  const bool c1Control = length == 2 && lead == 0xc2 && static_cast<unsigned char>(text[1]) < 0xa0;
  return c1Control ? 0 : length;
}

bool needsEscaping(std::string_view value) {
  for (std::size_t length = 0; !value.empty(); value.remove_prefix(length)) {
    length = printableLength(value);
    if (length == 0) {
      return true;
    }
  }
  return false;
}

/// `value` in the shell's $'...' quoting: a newline as \n, every other byte that does not show as
/// it is as \xHH, and a backslash or single quote behind a backslash. A terminal shows it as it
/// is, and a shell reads it back as the value.
std::string dollarQuoted(std::string_view value) {
  static constexpr std::string_view hexDigits = "0123456789abcdef";
  std::string text = "$'";
  for (std::size_t length = 0; !value.empty(); value.remove_prefix(length)) {
    length = printableLength(value);
    const auto byte = static_cast<unsigned char>(value[0]);
    if (value[0] == '\n') {
      text.append("\\n");
    } else if (length == 0) {
      text.append("\\x").append(1, hexDigits[byte / 16]).append(1, hexDigits[byte % 16]);
    } else {
      text.append(byte == '\\' || byte == '\'' ? "\\" : "").append(value.substr(0, length));
    }
    length = length == 0 ? 1 : length;
  }
  return text + "'";
}

}  // namespace

void appendVisibly(std::string& text, std::string_view value) {
  text.append(needsEscaping(value) ? dollarQuoted(value) : value);
}

std::string quoted(std::string_view argument) {
  if (needsEscaping(argument)) {
    return dollarQuoted(argument);
  }
  std::string text = "'";
  for (const char c : argument) {
    text.append(c == '\'' ? "'\\''" : std::string_view(&c, 1));
  }
  return text + "'";
}
