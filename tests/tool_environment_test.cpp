#include "tool_environment.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

struct FakeInstallation {
  std::set<std::string> readableFiles;
  std::vector<std::string> probed;

  FileProbe probe() {
    return [this](const std::string& path) {
      probed.push_back(path);
      return readableFiles.count(path) > 0;
    };
  }
};

const std::string kernel1 = "/opt/t1/bin/lin/unwrapped/orsatcl";
const std::string kernel2 = "/opt/t2/bin/lin/unwrapped/orsatcl";
const std::string coSim1 = "/opt/t1/plexor/bin/lin/libhwcosim_api.so";
const std::string coSim2 = "/opt/t2/plexor/bin/lin/libhwcosim_api.so";

struct LibraryPathCase {
  const char* name;
  ToolEnvironmentInputs inputs;
  std::set<std::string> readableFiles;
  std::string libraryPath;
  std::string kernelPath;
  std::optional<std::string> discoveredDspRoot;
};

TEST(ComposeLibraryPath, Table) {
  const std::optional<std::string_view> unset;
  const std::vector<LibraryPathCase> cases = {
      {"kernel in t1, co-simulation in t2",
       {"/opt/t1:/opt/t2", unset, "/usr/local/lib"},
       {kernel1, kernel2, coSim2},
       "/opt/t1/lib/lin:/opt/t2/lib/lin:/opt/t2/plexor/lib/lin:/usr/local/lib",
       kernel1,
       "/opt/t2"},
      {"preset TARVEN_DSP comes first and is not probed",
       {"/opt/t1:/opt/t2", "/opt/d", "/usr/local/lib"},
       {kernel1, kernel2, coSim2},
       "/opt/d/plexor/lib/lin:/opt/t1/lib/lin:/opt/t2/lib/lin:/usr/local/lib",
       kernel1,
       std::nullopt},
      {"empty TARVEN_DSP is still a preset",
       {"/opt/t1", "", unset},
       {coSim1},
       "/plexor/lib/lin:/opt/t1/lib/lin",
       "",
       std::nullopt},
      {"empty TARVEN", {"", unset, "/u"}, {}, "/u", "", std::nullopt},
      {"separators only",
       {":::", "/opt/d", "/u"},
       {},
       "/opt/d/plexor/lib/lin:/u",
       "",
       std::nullopt},
      {"nothing at all", {"", unset, unset}, {}, "", "", std::nullopt},
      {"TARVEN unset is an empty list", {unset, unset, "/u"}, {}, "/u", "", std::nullopt},
      {"empty fields are skipped",
       {":/opt/t1::/opt/t2:", unset, unset},
       {kernel2},
       "/opt/t1/lib/lin:/opt/t2/lib/lin",
       kernel2,
       std::nullopt},
      {"a root listed twice is appended twice",
       {"/opt/t1:/opt/t1", unset, unset},
       {kernel1, coSim1},
       "/opt/t1/lib/lin:/opt/t1/plexor/lib/lin:/opt/t1/lib/lin",
       kernel1,
       "/opt/t1"},
      {"LD_LIBRARY_PATH unset ends without a separator",
       {"/opt/t1", unset, unset},
       {},
       "/opt/t1/lib/lin",
       "",
       std::nullopt},
      {"empty LD_LIBRARY_PATH leaves no empty entry",
       {"/opt/t1", unset, ""},
       {},
       "/opt/t1/lib/lin",
       "",
       std::nullopt},
      {"user value is appended whole",
       {"/opt/t1", unset, ":/a;/b:"},
       {},
       "/opt/t1/lib/lin::/a;/b:",
       "",
       std::nullopt},
  };
  for (const LibraryPathCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeInstallation installation{c.readableFiles, {}};
    const ToolEnvironment result = composeLibraryPath(c.inputs, installation.probe());
    EXPECT_EQ(result.libraryPath, c.libraryPath);
    EXPECT_EQ(result.kernelPath, c.kernelPath);
    EXPECT_EQ(result.discoveredDspRoot, c.discoveredDspRoot);
  }
}

TEST(ComposeLibraryPath, StopsProbingOnceKernelAndCoSimulationRootAreKnown) {
  FakeInstallation installation{{kernel1, coSim1}, {}};
  composeLibraryPath({"/opt/t1:/opt/t2:/opt/t3", std::nullopt, std::nullopt}, installation.probe());
  EXPECT_EQ(installation.probed, (std::vector<std::string>{kernel1, coSim1}));
}

TEST(ComposeLibraryPath, HasNoLengthLimit) {
  std::string tarven;
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    const std::string root = "/opt/root" + std::to_string(i) + std::string(40, 'x');
    tarven += root + ":";
    expected += root + "/lib/lin:";
  }
  const std::string lastKernel =
      "/opt/root19999" + std::string(40, 'x') + "/bin/lin/unwrapped/orsatcl";
  FakeInstallation installation{{lastKernel}, {}};
  const ToolEnvironment result =
      composeLibraryPath({tarven, std::nullopt, "/u"}, installation.probe());
  ASSERT_GT(tarven.size(), 1000000u);
  EXPECT_EQ(result.libraryPath, expected + "/u");
  EXPECT_EQ(result.kernelPath, lastKernel);
}

}  // namespace
