#include "launch_harness.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string environmentOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

std::string launcherUnderTest() {
  return environmentOr("BOOTLOADER_UNDER_TEST", BUILT_LAUNCHER);
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

/// Undoes the stand-in's quoting: "text" with \" \\ \n \r \t and \xNN escapes.
std::string unquote(const std::string& quoted) {
  std::string text;
  for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
    if (quoted[i] != '\\') {
      text += quoted[i];
      continue;
    }
    const char escaped = quoted[++i];
    switch (escaped) {
      case 'n':
        text += '\n';
        break;
      case 'r':
        text += '\r';
        break;
      case 't':
        text += '\t';
        break;
      case 'x':
        text += static_cast<char>(std::stoi(quoted.substr(i + 1, 2), nullptr, 16));
        i += 2;
        break;
      default:
        text += escaped;
    }
  }
  return text;
}

std::vector<char*> nullTerminated(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) {
    pointers.push_back(s.data());
  }
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

void LaunchTest::SetUp() {
  std::string pattern = (fs::temp_directory_path() / "bootloader-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  top = pattern;
  compilationDir = top / "work";
  frontEndDir = top / "guibin";
  fs::create_directories(compilationDir / "orsa" / "tb_sim.sim");
  fs::create_directories(frontEndDir);
  writeFile("orsa/tb_sim.sim/tb_sim", "design image\n");
  fs::create_symlink(launcherUnderTest(), compilationDir / "tb_sim");
}

void LaunchTest::TearDown() {
  fs::remove_all(top);
}

std::string LaunchTest::addRoot(const std::string& name, bool withKernel, bool withCoSimulation) {
  const fs::path root = top / name;
  fs::create_directories(root / "lib" / "lin");
  if (withKernel) {
    fs::create_directories(root / "bin" / "lin" / "unwrapped");
    fs::copy_file(BUILT_KERNEL_STANDIN, root / "bin" / "lin" / "unwrapped" / "orsatcl");
  }
  if (withCoSimulation) {
    fs::create_directories(root / "plexor" / "bin" / "lin");
    writeFile((root / "plexor" / "bin" / "lin" / "libhwcosim_api.so").string(), "library\n");
  }
  return root.string();
}

void LaunchTest::addFrontEndToPath() {
  fs::copy_file(BUILT_FRONT_END_STANDIN, frontEndDir / "orsagui");
}

void LaunchTest::writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(compilationDir / path, std::ios::binary | std::ios::trunc);
  out << content;
  ASSERT_TRUE(out.good()) << path;
}

std::optional<std::string> LaunchTest::readFile(const std::string& path) const {
  const fs::path full = compilationDir / path;
  if (!fs::exists(fs::symlink_status(full))) {
    return std::nullopt;
  }
  return slurp(full);
}

bool LaunchTest::underRunner() {
  return !environmentOr("BOOTLOADER_RUNNER", "").empty();
}

LaunchResult LaunchTest::launch(const std::vector<std::string>& arguments,
                                const Environment& environment, const std::string& invocationName,
                                const std::optional<std::string>& workingDirectory) {
  std::vector<std::string> argv{expand(invocationName)};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return run(argv, environment,
             workingDirectory ? fs::path(expand(*workingDirectory)) : compilationDir);
}

LaunchResult LaunchTest::launchWithoutArguments(const Environment& environment) {
  return run({}, environment, compilationDir);
}

LaunchResult LaunchTest::run(const std::vector<std::string>& argv, const Environment& environment,
                             const fs::path& workingDirectory) {
  Environment full{{"PATH", frontEndDir.string() + ":/usr/bin:/bin"},
                   {"ORSA_STANDIN_RECORD", (top / "child.record").string()}};
  // A sanitizer build's settings must reach the launcher under test too.
  for (const char* passedOn : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* value = std::getenv(passedOn)) {
      full[passedOn] = value;
    }
  }
  for (const auto& [name, value] : environment) {
    full[name] = expand(value);
  }
  std::vector<std::string> environmentStrings;
  for (const auto& [name, value] : full) {
    environmentStrings.push_back(name + "=" + value);
  }
  std::vector<std::string> commandLine = argv;
  std::string program = (compilationDir / "tb_sim").string();
  const std::string runner = environmentOr("BOOTLOADER_RUNNER", "");
  if (!runner.empty() && !argv.empty()) {
    commandLine = {runner, "-0", argv[0], program};
    commandLine.insert(commandLine.end(), argv.begin() + 1, argv.end());
    program = runner;
  }
  std::vector<char*> argvPointers = nullTerminated(commandLine);
  if (argv.empty()) {
    argvPointers = {nullptr};
  }
  std::vector<char*> environmentPointers = nullTerminated(environmentStrings);

  const fs::path outPath = top / "launcher.stdout";
  const fs::path errPath = top / "launcher.stderr";
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || dup2(in, 0) < 0 ||
        chdir(workingDirectory.c_str()) != 0) {
      _exit(127);
    }
    // The runner is looked up through the test's own PATH; the launcher is run by its path.
    execvpe(program.c_str(), argvPointers.data(), environmentPointers.data());
    _exit(127);
  }
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, 0), pid);
  LaunchResult result;
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.standardOutput = slurp(outPath);
  result.standardError = slurp(errPath);
  return result;
}

ChildRecord LaunchTest::child() const {
  ChildRecord record;
  std::ifstream in(top / "child.record", std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    record.started = true;
    const std::size_t space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::string rest = line.substr(space + 1);
    if (key == "exe") {
      record.executable = unquote(rest);
    } else if (key == "cwd") {
      record.workingDirectory = unquote(rest);
    } else if (key.rfind("argv[", 0) == 0) {
      record.argv.push_back(unquote(rest));
    } else if (key == "env") {
      const std::size_t nameEnd = rest.find(' ');
      const std::string value = rest.substr(nameEnd + 1);
      record.environment[rest.substr(0, nameEnd)] =
          value == "unset" ? std::nullopt : std::optional<std::string>(unquote(value));
    }
  }
  return record;
}

std::string LaunchTest::expand(const std::string& text) const {
  std::string result = text;
  const std::string marker = "{top}";
  for (std::size_t at = result.find(marker); at != std::string::npos;
       at = result.find(marker, at)) {
    result.replace(at, marker.size(), top.string());
    at += top.string().size();
  }
  return result;
}
