#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/AppFolder.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace quor::platform {
namespace {

namespace fs = std::filesystem;
using quor::testing::ScopedEnv;
using quor::testing::TempDir;
using quor::testing::WriteFile;

class AppFolderTest : public ::testing::Test {
  protected:
    std::string Sub(const std::string& name) const { return (dir.Path() / name).string(); }
    TempDir dir;
    const std::string programFolder = "/opt/quorbsl/bin";
};

TEST_F(AppFolderTest, DataHomeWinsAndTheChainIsCreated) {
    const std::string xdg = Sub("deep/data");  // neither level exists yet
    const std::string folder = AppFolderFor(xdg.c_str(), Sub("home").c_str(), programFolder);
    EXPECT_EQ(folder, xdg + "/Karvell/QuorBSL");
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_FALSE(fs::exists(Sub("home")));
}

TEST_F(AppFolderTest, WithoutDataHomeTheHomeShareFolderIsUsed) {
    for (const char* xdg : {static_cast<const char*>(nullptr), "", "relative/data"}) {
        SCOPED_TRACE(xdg ? xdg : "(unset)");
        const std::string folder = AppFolderFor(xdg, Sub("home").c_str(), programFolder);
        EXPECT_EQ(folder, Sub("home") + "/.local/share/Karvell/QuorBSL");
        EXPECT_TRUE(fs::is_directory(folder));
    }
}

TEST_F(AppFolderTest, NoUsableFolderFallsBackToTheProgramFolder) {
    WriteFile(Sub("plainfile"), "x");
    struct Case {
        const char* what;
        std::string xdg;
        std::string home;
    } cases[] = {
        {"no data home and no home", "", ""},
        {"data home below a file", Sub("plainfile") + "/data", Sub("home")},
        {"data home is a file", Sub("plainfile"), Sub("home")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(AppFolderFor(c.xdg.c_str(), c.home.c_str(), programFolder), programFolder);
    }
    // A failed data home does not fall through to the home folder.
    EXPECT_FALSE(fs::exists(Sub("home")));
    EXPECT_EQ(testing::ReadFile(Sub("plainfile")), "x");
}

TEST_F(AppFolderTest, TheProcessEnvironmentIsRead) {
    const std::string xdg = Sub("xdg");
    {
        ScopedEnv env("XDG_DATA_HOME", xdg.c_str());
        EXPECT_EQ(AppFolder(programFolder), xdg + "/Karvell/QuorBSL");
    }
    {
        ScopedEnv env("XDG_DATA_HOME", nullptr);
        ScopedEnv home("HOME", Sub("h").c_str());
        EXPECT_EQ(AppFolder(programFolder), Sub("h") + "/.local/share/Karvell/QuorBSL");
    }
}

TEST(ProgramFolderTest, IsTheFolderOfThisTestProgram) {
    const fs::path folder = ProgramFolder();
    EXPECT_TRUE(folder.is_absolute());
    EXPECT_TRUE(fs::exists(folder / "test_platform"));
}

}  // namespace
}  // namespace quor::platform
