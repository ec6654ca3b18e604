// The built launcher's handling of command files and of its own options, seen from outside:
// what it prints, how it ends, and what command line the simulator receives.
#include <sys/stat.h>

#include <filesystem>

#include "launch_harness.h"

namespace fs = std::filesystem;

namespace {

const std::string image = "orsa/tb_sim.sim/tb_sim";

class CommandLineRuns : public LaunchTest {
 protected:
  void SetUp() override {
    LaunchTest::SetUp();
    addRoot("t1", true);
    addFrontEndToPath();
    writeFile("run.tcl", "run all\n");
  }

  LaunchResult launchWith(const Arguments& arguments) {
    return launch(arguments, {{"TARVEN", "{top}/t1"}});
  }

  /// Runs a launch that must hand over and returns the simulator's argv.
  Arguments handedOver(const Arguments& arguments) {
    const LaunchResult result = launchWith(arguments);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_EQ(result.standardError, "");
    return child().argv;
  }
};

struct FailureCase {
  Arguments arguments;
  std::string message;
};

TEST_F(CommandLineRuns, StopsWithMessageBeforeStartingAnything) {
  writeFile("unclosed.cmd", "-view a.wcfg\n-x \"never closed\n-gui\n");
  writeFile("inner-quote.cmd", "ab\"c\"\n");
  writeFile("nul.cmd", std::string("-view a\0b.wcfg\n", 15));
  const char elfHeader[] =
      "\x7f"
      "ELF\x02\x01\x01\0\0\0\x03\0>\0\x01\0\0\0\x60\x10";
  writeFile("binary.cmd", std::string(elfHeader, sizeof elfHeader - 1));
  writeFile("unclosed-last-line.cmd", "-x \"no newline");
  fs::create_directory(compilationDir / "directory.cmd");
  const std::string notFound = "Command file for -f not found";
  const std::string intstyle =
      "-intstyle needs to have one of these arguments: vel|ko|dorne|silent";
  const std::vector<FailureCase> cases = {
      {{"-f"}, notFound},
      {{"-gui", "-f", "missing.cmd"}, notFound},
      {{"-f", "-gui"}, notFound},
      {{"-f", "directory.cmd"}, notFound},
      {{"-f", "unclosed.cmd"}, "Error: Matching closing \" was not found"},
      {{"-f", "unclosed-last-line.cmd"}, "Error: Matching closing \" was not found"},
      {{"-f", "inner-quote.cmd"}, "Error in parsing -f file"},
      {{"-f", "nul.cmd"}, "Error in parsing -f file"},
      {{"-f", "binary.cmd"}, "Error in parsing -f file"},
      {{"-tclbatch"}, "<file_name> argument is required after -tclbatch switch"},
      {{"-tclbatch", "missing.tcl"}, "Tcl file not found"},
      {{"-gui", "-tclbatch", "missing.tcl"}, "Tcl file not found"},
      {{"-view"}, "<wcfg_file|wdb_file> is not found"},
      {{"-gui", "-open"}, "<wdb_file> is not found"},
      {{"-intstyle"}, intstyle},
      {{"-intstyle", "Silent", "-view"}, intstyle},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.message + " for " + c.arguments.back());
    const LaunchResult result = launchWith(c.arguments);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardOutput, c.message + "\n");
    EXPECT_EQ(result.standardError, "");
    EXPECT_FALSE(child().started);
    EXPECT_FALSE(readFile("orsa.log"));
  }
}

struct HandOverCase {
  const char* name;
  Arguments arguments;
  Arguments simulatorArguments;  // after "<program> -exe <image>"
};

TEST_F(CommandLineRuns, PassesMergedArgumentsToTheKernel) {
  writeFile("a.cmd", "# first file\n-view a.wcfg \"b c\"\n\n");
  writeFile("b.cmd", "  -f nested.cmd\n-wdb run");
  writeFile("crlf.cmd", "-x 1\r\n\r\n\"q\"\r\n");
  writeFile("comments.cmd", "# only\n   # comments\n\n");
  ASSERT_EQ(mkfifo((compilationDir / "batch.fifo").c_str(), 0644), 0);
  const std::vector<HandOverCase> cases = {
      {"no arguments", {}, {}},
      {"a FIFO as Tcl script is found without waiting for a writer",
       {"-tclbatch", "batch.fifo"},
       {"-tclbatch", "batch.fifo"}},
      {"files expanded in place",
       {"first", "-f", "a.cmd", "mid", "-f", "b.cmd", "last"},
       {"first", "-view", "a.wcfg", "b c", "mid", "-f", "nested.cmd", "-wdb", "run.wdb", "last"}},
      {"carriage returns kept", {"-f", "crlf.cmd"}, {"-x", "1\r", "\r", "q", "\r"}},
      {"comments only", {"-f", "comments.cmd", "-y"}, {"-y"}},
      {"recognised options passed on",
       {"-tclbatch", "run.tcl", "-view", "-gui", "-open", "x", "-intstyle", "ko", "-disabletimeout",
        "-wdb", "w"},
       {"-tclbatch", "run.tcl", "-view", "-gui", "-open", "x", "-intstyle", "ko", "-disabletimeout",
        "-wdb", "w.wdb"}},
      {"awkward arguments untouched",
       {"", "a b", "-fx", "--", "-", "\"q\"", "tab\there", "-wdb"},
       {"", "a b", "-fx", "--", "-", "\"q\"", "tab\there", "-wdb"}},
  };
  for (const HandOverCase& c : cases) {
    SCOPED_TRACE(c.name);
    Arguments expected = {"orsatcl", "-exe", image};
    expected.insert(expected.end(), c.simulatorArguments.begin(), c.simulatorArguments.end());
    EXPECT_EQ(handedOver(c.arguments), expected);
    EXPECT_EQ(child().executable, expand("{top}/t1/bin/lin/unwrapped/orsatcl"));
    fs::remove(top / "child.record");
  }
}

TEST_F(CommandLineRuns, GivesTheFrontEndItsOptionsInFixedOrder) {
  writeFile("gui.cmd", "-gui\n-view \"w 1.wcfg\"\n");
  const std::vector<HandOverCase> cases = {
      {"front end alone", {"-gui"}, {}},
      {"views and user options",
       {"-gui", "-disabletimeout", "-view", "a.wcfg", "-view", "b.wdb", "-x", "1"},
       {"-disabletimeout", "-view", "a.wcfg", "-view", "b.wdb", "-userOptions", "\"-x 1\""}},
      {"order of the command line does not matter",
       {"-x", "-intstyle", "silent", "-wdb", "w", "-open", "o.wdb", "-view", "v", "-tclbatch",
        "run.tcl", "-gui", "-disabletimeout"},
       {"-disabletimeout", "-tclbatch", "run.tcl", "-view", "v", "-open", "o.wdb", "-wdb", "w.wdb",
        "-intstyle", "silent", "-userOptions", "\"-x\""}},
      {"log options reach the front end as user options",
       {"-log", "run.log", "-gui", "-nolog"},
       {"-userOptions", "\"-log run.log -nolog\""}},
      {"selected from a command file", {"-f", "gui.cmd"}, {"-view", "w 1.wcfg"}},
      {"empty and spaced user options", {"-gui", "", "a b", "-F"}, {"-userOptions", "\" a b -F\""}},
  };
  for (const HandOverCase& c : cases) {
    SCOPED_TRACE(c.name);
    Arguments expected = {"orsagui", "-exe", image};
    expected.insert(expected.end(), c.simulatorArguments.begin(), c.simulatorArguments.end());
    EXPECT_EQ(handedOver(c.arguments), expected);
    EXPECT_EQ(child().executable, (frontEndDir / "orsagui").string());
    EXPECT_EQ(child().environment.at("PORT_DYNAMIC_DISABLE_MSG"), "1");
    fs::remove(top / "child.record");
  }
}

TEST_F(CommandLineRuns, FailsSilentlyWhenTheFrontEndIsNotOnThePath) {
  fs::remove(frontEndDir / "orsagui");
  const LaunchResult result = launchWith({"-gui"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.standardOutput, "");
  EXPECT_FALSE(child().started);
}

TEST_F(CommandLineRuns, HasNoLimitOnArgumentsTokensOrUserOptions) {
  std::string manyArguments;
  Arguments expectedKernel = {"orsatcl", "-exe", image};
  for (int i = 0; i < 20000; ++i) {
    manyArguments += "arg" + std::to_string(i) + (i % 10 == 9 ? "\n" : " ");
    expectedKernel.push_back("arg" + std::to_string(i));
  }
  writeFile("many.cmd", manyArguments);
  EXPECT_EQ(handedOver({"-f", "many.cmd"}), expectedKernel);
  fs::remove(top / "child.record");

  std::string views;
  Arguments expectedFrontEnd = {"orsagui", "-exe", image};
  for (int i = 0; i < 500; ++i) {
    views += "-view wave" + std::to_string(i) + ".wcfg\n";
    expectedFrontEnd.insert(expectedFrontEnd.end(),
                            {"-view", "wave" + std::to_string(i) + ".wcfg"});
  }
  const std::string longToken(3000, 'k');
  writeFile("views.cmd", views + "\"" + longToken + " with space\" " + longToken + "\n");
  expectedFrontEnd.insert(expectedFrontEnd.end(),
                          {"-userOptions", "\"" + longToken + " with space " + longToken + "\""});
  EXPECT_EQ(handedOver({"-gui", "-f", "views.cmd"}), expectedFrontEnd);
}

TEST_F(CommandLineRuns, SurvivesACommandFileTooLargeToHandOver) {
  // Five megabytes of arguments on one line: more than the system lets a program be started with,
  // so the hand-over fails, without a message, as any failed hand-over does.
  std::string line;
  for (int i = 0; i < 1000000; ++i) {
    line += "abcd ";
  }
  writeFile("huge.cmd", line);
  for (const Arguments& arguments :
       {Arguments{"-f", "huge.cmd"}, Arguments{"-gui", "-f", "huge.cmd"}}) {
    const LaunchResult result = launchWith(arguments);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_FALSE(child().started);
  }
}

}  // namespace
