// Runs the built launcher as a user would: under a design's name, in a temporary compilation
// directory, with installation roots holding the stand-in simulator programs, and reads back what
// the stand-in that was started recorded.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

/// How a launch ended and what it printed.
struct LaunchResult {
  int exitStatus = -1;  // -1 when it did not exit normally
  std::string standardOutput;
  std::string standardError;
};

/// What the started stand-in recorded; `started` is false when no simulator program ran.
struct ChildRecord {
  bool started = false;
  std::string executable;
  std::string workingDirectory;
  std::vector<std::string> argv;
  /// LD_LIBRARY_PATH, TARVEN_DSP and PORT_DYNAMIC_DISABLE_MSG, nullopt when unset.
  std::map<std::string, std::optional<std::string>> environment;
};

using Environment = std::map<std::string, std::string>;

class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  /// Starts again from a new, empty compilation directory, for tables of cases.
  void freshCompilationDirectory() {
    TearDown();
    SetUp();
  }

  /// Creates an installation root `top/name` with a lib/lin directory and, on request, the stand-in
  /// kernel and the co-simulation library. Returns its path.
  std::string addRoot(const std::string& name, bool withKernel, bool withCoSimulation = false);
  /// Puts the stand-in front end into a directory on the PATH the launcher is given.
  void addFrontEndToPath();
  /// Writes `content` to `path`, relative to the compilation directory unless absolute.
  void writeFile(const std::string& path, const std::string& content);
  /// The bytes of a file relative to the compilation directory, nullopt if it does not exist.
  std::optional<std::string> readFile(const std::string& path) const;

  /// Runs the launcher with argv[0] `invocationName` and the given arguments, in `workingDirectory`
  /// (the compilation directory by default), with `environment` added to a base of PATH and the
  /// stand-ins' record file. The program run is the compilation directory's `tb_sim`.
  LaunchResult launch(const std::vector<std::string>& arguments,
                      const Environment& environment = {},
                      const std::string& invocationName = "./tb_sim",
                      const std::optional<std::string>& workingDirectory = std::nullopt);
  /// The same with no argv at all (argc == 0).
  LaunchResult launchWithoutArguments(const Environment& environment);

  /// What the started stand-in recorded, if one ran.
  ChildRecord child() const;

  /// Replaces every "{top}" in `text` by the temporary top directory.
  std::string expand(const std::string& text) const;

  /// True when the launcher runs through an emulator (BOOTLOADER_RUNNER).
  static bool underRunner();

  std::filesystem::path top;             // temporary; holds everything below
  std::filesystem::path compilationDir;  // top/work, holding orsa/tb_sim.sim/tb_sim and tb_sim
  std::filesystem::path frontEndDir;     // top/guibin, on the launcher's PATH

 private:
  LaunchResult run(const std::vector<std::string>& argv, const Environment& environment,
                   const std::filesystem::path& workingDirectory);
};

/// Shorthand for building argument lists in tables.
using Arguments = std::vector<std::string>;
