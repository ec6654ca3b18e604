// The run log the built launcher leaves in the compilation directory.
#include <filesystem>

#include "launch_harness.h"

namespace fs = std::filesystem;

namespace {

class RunLogRuns : public LaunchTest {
 protected:
  void SetUp() override {
    LaunchTest::SetUp();
    addRoot("t1", true);
    addFrontEndToPath();
  }

  LaunchResult launchWith(const Arguments& arguments) {
    return launch(arguments, {{"TARVEN", "{top}/t1"}});
  }

  /// The files a launch left in the compilation directory that the test did not put there.
  std::map<std::string, std::string> logsWritten(const std::set<std::string>& before) const {
    std::map<std::string, std::string> logs;
    for (const fs::directory_entry& entry : fs::directory_iterator(compilationDir)) {
      const std::string name = entry.path().filename().string();
      if (before.count(name) == 0) {
        logs[name] = *readFile(name);
      }
    }
    return logs;
  }
};

std::string logOf(const std::string& commandLine) {
  return "Orsa log file\nRunning: " + commandLine + "\n";
}

TEST_F(RunLogRuns, WritesTheInvocationsOwnCommandLine) {
  writeFile("cmds.txt", "-log from-file.log\n-x \"a b\"\n");
  writeFile("quiet.cmd", "-nolog\n");
  const std::set<std::string> before = {"orsa", "tb_sim", "cmds.txt", "quiet.cmd"};
  const struct {
    Arguments arguments;
    std::map<std::string, std::string> logs;
  } cases[] = {
      {{}, {{"orsa.log", logOf("./tb_sim ")}}},
      {{"-gui", "a b", ""}, {{"orsa.log", logOf("./tb_sim -gui a b  ")}}},
      {{"-log", "a.log", "-log", "b.log"}, {{"b.log", logOf("./tb_sim -log a.log -log b.log ")}}},
      {{"-log", "x.log", "-nolog"}, {}},
      {{"-nolog", "-log", "x.log"}, {}},
      {{"-log"}, {{"orsa.log", logOf("./tb_sim -log ")}}},
      {{"-log", "-nolog"}, {{"-nolog", logOf("./tb_sim -log -nolog ")}}},
      {{"-wdb", "-nolog"}, {{"orsa.log", logOf("./tb_sim -wdb -nolog ")}}},
      {{"-view", "-nolog"}, {}},
      {{"-f", "cmds.txt", "-gui"}, {{"from-file.log", logOf("./tb_sim -f cmds.txt -gui ")}}},
      {{"-f", "quiet.cmd"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    const LaunchResult result = launchWith(c.arguments);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_TRUE(child().started);
    EXPECT_EQ(logsWritten(before), c.logs);
    for (const auto& [name, content] : logsWritten(before)) {
      fs::remove(compilationDir / name);
    }
    fs::remove(top / "child.record");
  }
}

TEST_F(RunLogRuns, OverwritesAnOldLog) {
  writeFile("orsa.log", std::string(10000, 'o'));
  EXPECT_EQ(launchWith({"-x"}).exitStatus, 0);
  EXPECT_EQ(readFile("orsa.log"), logOf("./tb_sim -x "));
}

TEST_F(RunLogRuns, StopsBeforeStartingWhenTheLogCannotBeOpened) {
  fs::create_directory(compilationDir / "a-directory");
  for (const std::string name : {"/no/such/dir/x.log", "a-directory", ""}) {
    SCOPED_TRACE(name);
    const LaunchResult result = launchWith({"-gui", "-log", name});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardOutput, "ERROR: " + name + " file open failed.\n");
    EXPECT_EQ(result.standardError, "");
    EXPECT_FALSE(child().started);
    EXPECT_FALSE(readFile("orsa.log"));
  }
}

TEST_F(RunLogRuns, WritesNoLogWhenTheDesignImageIsMissing) {
  fs::remove(compilationDir / "orsa/tb_sim.sim/tb_sim");
  EXPECT_EQ(launchWith({}).exitStatus, 1);
  EXPECT_FALSE(readFile("orsa.log"));
}

}  // namespace
