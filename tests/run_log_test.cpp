#include "run_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bootloader.h"
#include "command_line.h"

namespace {

/// Where the log goes for a command line after option recognition: a file name, or "none".
std::string logDestination(const std::vector<std::string>& arguments) {
  LaunchSettings settings;
  settings.argvF = {"./tb_sim"};
  settings.argvF.insert(settings.argvF.end(), arguments.begin(), arguments.end());
  std::string error;
  EXPECT_TRUE(parseLaunchOptions(settings, &error)) << error;
  scanLogOptions(settings);
  return settings.nolog ? "none" : settings.logFileName;
}

TEST(ScanLogOptions, Table) {
  const struct {
    std::vector<std::string> arguments;
    std::string destination;
  } cases[] = {
      {{}, "orsa.log"},
      {{"-log", "a.log", "-log", "b.log"}, "b.log"},
      {{"-log", "x.log", "-nolog"}, "none"},
      {{"-nolog", "-log", "x.log"}, "none"},
      {{"-log"}, "orsa.log"},
      {{"-log", "-nolog"}, "-nolog"},
      {{"-log", "-log", "-log"}, "-log"},
      {{"-log", "-log", "-log", "c.log"}, "c.log"},
      {{"-wdb", "-nolog"}, "orsa.log"},  // the value became "-nolog.wdb"
      {{"-view", "-nolog"}, "none"},
      {{"-open", "-log", "o.log"}, "o.log"},
      {{"-NOLOG", "-log=x"}, "orsa.log"},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const std::string& argument : c.arguments) {
      shown += "[" + argument + "]";
    }
    EXPECT_EQ(logDestination(c.arguments), c.destination) << shown;
  }
}

TEST(FormatRunLog, WritesTheCommandLineAsTyped) {
  const char* argv[] = {"./tb_sim", "-f", "cmds.txt", "a b", "", "-gui"};
  EXPECT_EQ(formatRunLog(6, argv), "Orsa log file\nRunning: ./tb_sim -f cmds.txt a b  -gui \n");
  EXPECT_EQ(formatRunLog(0, argv), "Orsa log file\nRunning: \n");
}

}  // namespace
