#include "bootloader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(DeriveDesignImagePath, Table) {
  const struct {
    std::string invocationName;
    std::string designImagePath;
  } cases[] = {
      {"./tb_sim", "orsa/tb_sim.sim/tb_sim"},
      {"/abs/dir/tb_sim", "orsa/tb_sim.sim/tb_sim"},
      {"tb_sim", "orsa/tb_sim.sim/tb_sim"},
      {"dir\\tb_sim", "orsa/tb_sim.sim/tb_sim"},
      {"a/b\\c", "orsa/b\\c.sim/b\\c"},
      {"a\\b\\c", "orsa/c.sim/c"},
      {"dir/", "orsa/.sim/"},
      {"", "orsa/.sim/"},
      {"my design", "orsa/my design.sim/my design"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(deriveDesignImagePath(c.invocationName), c.designImagePath) << c.invocationName;
  }
}

/// The argument vector up to its terminator, which must be the last entry.
std::vector<std::string> arguments(const std::vector<const char*>& command) {
  EXPECT_FALSE(command.empty());
  EXPECT_EQ(command.back(), nullptr);
  std::vector<std::string> result;
  for (std::size_t i = 0; i + 1 < command.size(); ++i) {
    result.emplace_back(command[i]);
  }
  return result;
}

using Arguments = std::vector<std::string>;

TEST(TclKernelCommandLine, PassesMergedArgumentsAfterTheInvocationName) {
  const struct {
    Arguments argvF;
    Arguments expected;
  } cases[] = {
      {{"./tb_sim"}, {"orsatcl", "-exe", "orsa/tb_sim.sim/tb_sim"}},
      {{"./tb_sim", "-wdb", "run.wdb", "", "a b", "-gui.wdb"},
       {"orsatcl", "-exe", "orsa/tb_sim.sim/tb_sim", "-wdb", "run.wdb", "", "a b", "-gui.wdb"}},
  };
  for (const auto& c : cases) {
    LaunchSettings settings;
    settings.argvF = c.argvF;
    EXPECT_EQ(arguments(tclKernelCommandLine(settings, "orsa/tb_sim.sim/tb_sim")), c.expected);
  }
}

TEST(GraphicalFrontEndCommandLine, EmitsRecognisedOptionsInFixedOrder) {
  const std::string image = "orsa/tb_sim.sim/tb_sim";
  LaunchSettings plain;
  EXPECT_EQ(arguments(graphicalFrontEndCommandLine(plain, image)),
            (Arguments{"orsagui", "-exe", image}));

  LaunchSettings full;
  full.intstyleName = "silent";
  full.wdbFileName = "run.wdb";
  full.openFileName = "old.wdb";
  full.viewFiles = {"a.wcfg", "b.wdb", "c.wcfg"};
  full.tclbatchFile = "run.tcl";
  full.useTimeout = false;
  full.hasUserOptions = true;
  full.userOptions = "\"-x 1\"";
  const std::vector<const char*> command = graphicalFrontEndCommandLine(full, image);
  EXPECT_EQ(arguments(command),
            (Arguments{"orsagui", "-exe",      image,    "-disabletimeout", "-tclbatch",
                       "run.tcl", "-view",     "a.wcfg", "-view",           "b.wdb",
                       "-view",   "c.wcfg",    "-open",  "old.wdb",         "-wdb",
                       "run.wdb", "-intstyle", "silent", "-userOptions",    "\"-x 1\""}));
  // The largest command line fills exactly the room the front end's vector is sized for.
  EXPECT_EQ(command.size(), 2 * full.viewFiles.size() + 15);
}

}  // namespace
