// quorbsl update on real pseudo-terminals against `quorbsl sim`, in real
// time: the real serial path, the port lock and two devices side by side.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <memory>

#include "cli/Commands.h"
#include "cli/tests/CliTestSupport.h"
#include "serial/PortDriver.h"

namespace quor::cli {
namespace {

namespace fs = std::filesystem;
using testing::Contains;
using testing::ProgramRun;
using testing::QuorbslRunner;
using testing::SimProcess;

TEST(PtyTest, TwoSimulatorsOnPtysUpdatedSideBySide) {
    QUOR_SKIP_IN_SENSOR_EDITION();
    SimProcess first("TRU");
    SimProcess second("TRU");
    ASSERT_EQ(first.Path().rfind("/dev/pts/", 0), 0u) << first.Path();
    ASSERT_EQ(second.Path().rfind("/dev/pts/", 0), 0u);
    QuorbslRunner quorbsl;
    const ProgramRun r =
        quorbsl({"update", "--port", first.Path(), "--port", second.Path(), "--yes"});
    EXPECT_EQ(r.exit, 0) << r.out << r.err;
    const std::vector<std::string> lines = r.OutLines();
    ASSERT_GE(lines.size(), 2u);
    for (const auto& [line, path] : {std::pair{lines[lines.size() - 2], first.Path()},
                                     std::pair{lines.back(), second.Path()}}) {
        EXPECT_EQ(
            line.rfind(path + ": finished (exit status 0) Successfully updated firmware in ", 0),
            0u)
            << line;
    }
    // Each device kept its log (and its settings file while it ran) in a
    // folder of its own port.
    for (const std::string& path : {first.Path(), second.Path()}) {
        const std::string folder = quorbsl.DataHome() + "/Karvell/QuorBSL/by-port/" +
                                   PortFolderName(path) + "/Karvell/QuorBSL";
        EXPECT_TRUE(fs::exists(folder + "/Dewmark Tru Firmware Updater.errors.txt")) << folder;
        EXPECT_FALSE(fs::exists(folder + "/Dewmark Tru.settings.txt")) << folder;
    }
    EXPECT_EQ(first.Stop(), 0);
    EXPECT_EQ(second.Stop(), 0);
}

TEST(PtyTest, APortAnotherProgramHoldsIsBusy) {
    QUOR_SKIP_IN_SENSOR_EDITION();
    SimProcess sim("TRU");
    ASSERT_FALSE(sim.Path().empty());
    // This test program holds the port, with its lock, as any other would.
    std::unique_ptr<PortDriver> held;
    ASSERT_EQ(PosixPortProvider().Open(sim.Path().c_str(), held), kPortOk);
    QuorbslRunner quorbsl;
    const ProgramRun r = quorbsl({"update", "--port", sim.Path(), "--yes"});
    EXPECT_EQ(r.exit, 3) << r.out << r.err;
    EXPECT_TRUE(
        Contains(r.err, "Connection Error\n  Comm Port \"" + sim.Path() +
                            " Communications Port\" is already in use by another application."))
        << r.err;
    // The port named is the default next time, in either front end.
    const std::string settings =
        quor::testing::ReadFile(quorbsl.ConfigHome() + "/Karvell Devices, Inc/QuorBSL.conf");
    EXPECT_TRUE(Contains(settings, "CommPort=" + sim.Path())) << settings;
}

TEST(PtyTest, CtrlCDuringAnUpdateMeetsTheQuitGuardAndTheUpdateGoesOn) {
    QUOR_SKIP_IN_SENSOR_EDITION();
    SimProcess sim("TRU");
    ASSERT_FALSE(sim.Path().empty());
    QuorbslRunner quorbsl;
    bool interrupted = false;
    const ProgramRun r = quorbsl(
        {"update", "--port", sim.Path(), "--yes"}, "", [&](const std::string& out, pid_t pid) {
            if (!interrupted && Contains(out, "Uploading new firmware code...")) {
                interrupted = true;
                ::kill(pid, SIGINT);
            }
        });
    ASSERT_TRUE(interrupted) << r.out;
    EXPECT_EQ(r.exit, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.err,
                         "Don't Quit Now!\n  The Dewmark Tru Firmware Updater is updating your "
                         "Dewmark Tru!\n"))
        << r.err;
    EXPECT_TRUE(Contains(r.out, "Successfully updated firmware in ")) << r.out;
    EXPECT_EQ(sim.Stop(), 0);
}

}  // namespace
}  // namespace quor::cli
