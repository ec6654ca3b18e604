// Throughput of command-file tokenising on a 10 MB command file, for comparing changes.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "command_line.h"

namespace {

std::string commandFile(std::size_t bytes) {
  std::string text;
  text.reserve(bytes + 64);
  for (std::size_t line = 0; text.size() < bytes; ++line) {
    text += "  -view \"waves " + std::to_string(line) + ".wcfg\" -x" + std::to_string(line) +
            " value # not a comment\n# a comment line\n";
  }
  return text;
}

void tokeniseTenMegabytes(benchmark::State& state) {
  const std::string text = commandFile(10 << 20);
  std::string error;
  for (auto _ : state) {
    std::vector<std::string> arguments;
    if (!splitCommandFile(text, arguments, &error)) {
      state.SkipWithError(error.c_str());
    }
    benchmark::DoNotOptimize(arguments.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(tokeniseTenMegabytes)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
