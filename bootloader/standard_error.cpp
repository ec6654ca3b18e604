#include "standard_error.h"

#include <unistd.h>

#include "system_io.h"

void flushTrace(LaunchSettings& settings) {
  std::string lines;
  for (std::string_view rest = settings.traceText; !rest.empty();) {
    const std::size_t end = rest.find('\n') + 1;
    appendVisibly(lines, settings.designName);
    lines.append(": ").append(rest.substr(0, end));
    rest.remove_prefix(end);
  }
  writeDiagnostic(STDERR_FILENO, lines);
  settings.traceText.clear();
}

void writeErrorLine(const LaunchSettings& settings, std::string_view line) {
  writeDiagnostic(STDERR_FILENO, visibly(settings.designName) + ": " + std::string(line) + "\n");
}
