#include "command_line.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "bootloader.h"

namespace {

const std::string closingQuote = "Error: Matching closing \" was not found";
const std::string parseError = "Error in parsing -f file";

/// The arguments of a command file's text as "[a][b c][]", or the error message.
std::string tokens(std::string_view text) {
  std::vector<std::string> arguments;
  std::string error;
  if (!splitCommandFile(text, arguments, &error)) {
    return error;
  }
  std::string shown;
  for (const std::string& argument : arguments) {
    shown += "[" + argument + "]";
  }
  return shown;
}

TEST(SplitCommandFile, Table) {
  const struct {
    std::string text;
    std::string expected;
  } cases[] = {
      {"  -view \"my waves.wcfg\" -gui   -tclbatch run.tcl\n",
       "[-view][my waves.wcfg][-gui][-tclbatch][run.tcl]"},
      {"", ""},
      {"\n\n   \n", ""},
      {"# x\n   #x\n", ""},
      {"x #y\n", "[x][#y]"},
      {"\"a\" \"b\"\n", "[a][b]"},
      {"\"a b\"c\n", "[a b][c]"},
      {"\"a\"\"b\"\n", "[a][b]"},
      {"\"\"\n", "[]"},
      {"\"\" \"\"  x\n", "[][][x]"},
      {"\"  \"\n", "[  ]"},
      {"\"#not a comment\"\n", "[#not a comment]"},
      {"a\tb\n", "[a\tb]"},
      {"a \r\n", "[a][\r]"},
      {"a\r\n\r\n", "[a\r][\r]"},
      {"\"a\"\r\n", "[a][\r]"},
      {"-f other.cmd\n", "[-f][other.cmd]"},
      {"last line without newline", "[last][line][without][newline]"},
      {"one\ntwo three\n  four", "[one][two][three][four]"},
      {"x\n\"open\n", closingQuote},
      {"\"never closed", closingQuote},
      {"a \"b c", closingQuote},
      {"ab\"c\"\n", parseError},
      {"a b\"\n", parseError},
      {"\"a\"b\"c\"\n", parseError},
      {std::string("a\0b\n", 4), parseError},
      {std::string("# comment\0\n", 11), parseError},
      {std::string("ok\nbad\"\n\"unclosed\n", 18), parseError},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tokens(c.text), c.expected) << "text: " << c.text;
  }
}

TEST(SplitCommandFile, KeepsLongLinesAndTokensWhole) {
  const std::string token(5000, 't');
  EXPECT_EQ(tokens(token + " \"" + token + " x\"\n"), "[" + token + "][" + token + " x]");

  std::string fiveMegabyteLine;
  for (int i = 0; i < 1000000; ++i) {
    fiveMegabyteLine += "abcd ";
  }
  std::vector<std::string> arguments;
  std::string error;
  ASSERT_TRUE(splitCommandFile(fiveMegabyteLine, arguments, &error)) << error;
  EXPECT_EQ(arguments.size(), 1000000u);
  EXPECT_EQ(arguments.back(), "abcd");
}

/// The settings option recognition filled, as one line, or the error message.
std::string recognised(std::vector<std::string> arguments) {
  LaunchSettings settings;
  settings.argvF = {"./tb_sim"};
  settings.argvF.insert(settings.argvF.end(), arguments.begin(), arguments.end());
  std::string error;
  if (!parseLaunchOptions(settings, &error)) {
    return error;
  }
  finishUserOptions(settings);
  std::string shown;
  const auto show = [&shown](const char* name, const std::optional<std::string>& value) {
    if (value) {
      shown += std::string(" ") + name + "=" + *value;
    }
  };
  if (settings.isGuiMode) {
    shown += " gui";
  }
  if (!settings.useTimeout) {
    shown += " notimeout";
  }
  show("tclbatch", settings.tclbatchFile);
  for (const std::string& view : settings.viewFiles) {
    shown += " view=" + view;
  }
  show("open", settings.openFileName);
  show("wdb", settings.wdbFileName);
  show("intstyle", settings.intstyleName);
  if (settings.hasUserOptions) {
    shown += " user=" + settings.userOptions;
  }
  shown += " |";
  for (std::size_t i = 1; i < settings.argcF(); ++i) {
    shown += " " + settings.argvF[i];
  }
  return shown.substr(1);
}

TEST(ParseLaunchOptions, Table) {
  const std::string intstyleError =
      "-intstyle needs to have one of these arguments: vel|ko|dorne|silent";
  const struct {
    std::vector<std::string> arguments;
    std::string expected;
  } cases[] = {
      {{"-gui", "-disabletimeout"}, "gui notimeout | -gui -disabletimeout"},
      {{"-view", "a", "-view", "b", "-view", "c"},
       "view=a view=b view=c | -view a -view b -view c"},
      {{"-view", "-gui"}, "view=-gui | -view -gui"},
      {{"-open", "a.wdb", "-open", "b.wdb"}, "open=b.wdb | -open a.wdb -open b.wdb"},
      {{"-tclbatch", "/dev/null"}, "tclbatch=/dev/null | -tclbatch /dev/null"},
      {{"-wdb"}, "| -wdb"},
      {{"-x", "-wdb"}, "user=\"-x\" | -x -wdb"},
      {{"-wdb", "out"}, "wdb=out.wdb | -wdb out.wdb"},
      {{"-wdb", "out.wdb"}, "wdb=out.wdb | -wdb out.wdb"},
      {{"-wdb", ".wdb"}, "wdb=.wdb.wdb | -wdb .wdb.wdb"},
      {{"-wdb", "out.WDB"}, "wdb=out.WDB.wdb | -wdb out.WDB.wdb"},
      {{"-wdb", "a", "-wdb", "b.wdb"}, "wdb=b.wdb | -wdb a.wdb -wdb b.wdb"},
      {{"-wdb", "-gui"}, "wdb=-gui.wdb | -wdb -gui.wdb"},
      {{"-intstyle", "silent", "-intstyle", "ko"}, "intstyle=ko | -intstyle silent -intstyle ko"},
      {{"-intstyle", "vel"}, "intstyle=vel | -intstyle vel"},
      {{"-intstyle", "dorne"}, "intstyle=dorne | -intstyle dorne"},
      {{"-foo", "bar", "-gui", "-baz"}, "gui user=\"-foo bar -baz\" | -foo bar -gui -baz"},
      {{"-log", "run.log", "-nolog", "-f", "x"},
       "user=\"-log run.log -nolog -f x\" | -log run.log -nolog -f x"},
      {{"", "a b"},
       "user=\" a b\" | "
       " a b"},
      {{"-GUI", "-gui "}, "user=\"-GUI -gui \" | -GUI -gui "},
      {{"-tclbatch"}, "<file_name> argument is required after -tclbatch switch"},
      {{"-tclbatch", "/no/such/file.tcl"}, "Tcl file not found"},
      {{"-view"}, "<wcfg_file|wdb_file> is not found"},
      {{"-open"}, "<wdb_file> is not found"},
      {{"-intstyle"}, intstyleError},
      {{"-intstyle", "Silent"}, intstyleError},
      {{"-intstyle", "sil"}, intstyleError},
      {{"-intstyle", "silent2"}, intstyleError},
      // The first bad option decides the message.
      {{"-view", "a", "-intstyle", "x", "-tclbatch", "/no/such"}, intstyleError},
      {{"-tclbatch", "/no/such", "-intstyle", "x"}, "Tcl file not found"},
  };
  for (const auto& c : cases) {
    std::string shownArguments;
    for (const std::string& argument : c.arguments) {
      shownArguments += "[" + argument + "]";
    }
    EXPECT_EQ(recognised(c.arguments), c.expected) << shownArguments;
  }
}

TEST(FinishUserOptions, ClosesTheStringWithOrWithoutUserOptions) {
  LaunchSettings none;
  finishUserOptions(none);
  EXPECT_EQ(none.userOptions, "\"\"");
  EXPECT_FALSE(none.hasUserOptions);
}

TEST(ReadCommandFile, ReadsPipesWhole) {
  // A pipe has no size to go by: the reader must keep going past its first chunk.
  std::string text;
  for (int i = 0; text.size() < 60000; ++i) {
    text += "arg" + std::to_string(i) + (i % 7 == 0 ? "\n" : " ");
  }
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  ASSERT_EQ(write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(ends[1]);
  std::string content;
  EXPECT_TRUE(readCommandFile("/proc/self/fd/" + std::to_string(ends[0]), &content));
  close(ends[0]);
  EXPECT_EQ(content, text);
}

TEST(BuildArgumentVector, ReportsMissingCommandFiles) {
  const std::vector<std::vector<const char*>> commandLines = {
      {"./tb_sim", "-f"},
      {"./tb_sim", "-f", "/no/such/file"},
      {"./tb_sim", "-f", "/"},  // opens, but cannot be read
      {"./tb_sim", "-f", "-gui"},
  };
  for (const auto& argv : commandLines) {
    LaunchSettings settings;
    std::string error;
    EXPECT_FALSE(buildArgumentVector(settings, static_cast<int>(argv.size()), argv.data(), &error));
    EXPECT_EQ(error, "Command file for -f not found");
  }
}

}  // namespace
