// quorbsl update run as a user would, on the built-in simulated devices in
// virtual time and on `quorbsl sim` pseudo-terminals in real time.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "cli/tests/CliTestSupport.h"
#include "serial/PortDriver.h"

namespace quor::cli {
namespace {

namespace fs = std::filesystem;
using testing::Contains;
using testing::ProgramRun;
using testing::QuorbslRunner;

// The status texts of a plain run, without their time and bar columns.
std::vector<std::string> Statuses(const ProgramRun& r) {
    std::vector<std::string> out;
    for (const std::string& line : r.OutLines()) {
        if (line.size() > 15 && line[0] == '[') out.push_back(line.substr(15));
    }
    return out;
}

std::vector<std::string> SimulationFolders(const QuorbslRunner& quorbsl) {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(fs::path(quorbsl.File("")))) {
        if (e.path().filename().string().rfind("quorbsl-sim-", 0) == 0) found.push_back(e.path());
    }
    return found;
}

const std::vector<std::string> kTruStatuses = {
    "Connecting to Dewmark Tru...",    "Saving settings for this Dewmark Tru...",
    "Starting the firmware loader...", "Erasing firmware memory...",
    "Uploading new firmware code...",  "Restarting the Dewmark Tru, please wait...",
    "Checking new firmware...",        "Restoring settings...",
};

TEST(UpdateTest, SimulatedTruUpdatesFromStartToFinish) {
    QUOR_SKIP_IN_SENSOR_EDITION();
    QuorbslRunner quorbsl;
    const ProgramRun r = quorbsl({"update", "--simulate", "TRU", "--yes"});
    ASSERT_EQ(r.exit, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    std::vector<std::string> statuses = Statuses(r);
    ASSERT_EQ(statuses.size(), kTruStatuses.size() + 1) << r.out;
    EXPECT_TRUE(std::equal(kTruStatuses.begin(), kTruStatuses.end(), statuses.begin()));
    EXPECT_EQ(statuses.back().rfind("Successfully updated firmware in ", 0), 0u) << statuses.back();
    EXPECT_EQ(r.OutLines().back(),
              "Result: finished (exit status 0): the update finished and every setting is back");
    // A finished simulation leaves nothing behind, and no simulated port
    // becomes the user's default.
    EXPECT_TRUE(SimulationFolders(quorbsl).empty());
    EXPECT_FALSE(fs::exists(quorbsl.ConfigHome() + "/Karvell Devices, Inc/QuorBSL.conf"));
}

TEST(UpdateTest, JsonLinesTellTheWholeUpdate) {
    QUOR_SKIP_IN_SENSOR_EDITION();
    QuorbslRunner quorbsl;
    const ProgramRun r = quorbsl({"update", "--simulate", "--yes", "--json"});
    ASSERT_EQ(r.exit, 0) << r.err;
    const std::vector<nlohmann::json> events = r.Json();
    std::vector<std::string> statuses;
    std::vector<int> progress;
    double lastElapsed = 0;
    for (const nlohmann::json& e : events) {
        const std::string kind = e.at("event");
        if (kind == "status") statuses.push_back(e.at("text"));
        if (kind == "progress") progress.push_back(e.at("progress"));
        if (e.contains("elapsed")) {
            EXPECT_GE(e["elapsed"].get<double>(), lastElapsed);
            lastElapsed = e["elapsed"];
        }
        EXPECT_NE(kind, "message") << e.dump();
    }
    ASSERT_EQ(statuses.size(), kTruStatuses.size() + 1);
    EXPECT_EQ(statuses.front(), kTruStatuses.front());
    // The bar: the connection steps, the erase, 21 at the upload's start,
    // about 90 at its end, then the last steps to 100.
    for (int p : {2, 4, 6, 8, 21, 92, 94, 96, 98, 100})
        EXPECT_NE(std::find(progress.begin(), progress.end(), p), progress.end()) << p;
    EXPECT_TRUE(std::is_sorted(progress.begin() + 1, progress.end())) << "after the first 0";
    const nlohmann::json& result = events.back();
    EXPECT_EQ(result["event"], "result");
    EXPECT_EQ(result["result"], "finished");
    EXPECT_EQ(result["exit"], 0);
    EXPECT_EQ(result["status"], statuses.back());
    EXPECT_GT(lastElapsed, 60.0);  // the upload alone takes that long at 9600 baud
}

TEST(UpdateTest, WithoutATerminalQuestionsAreAnsweredCancel) {
    QUOR_SKIP_IN_SENSOR_EDITION();
    QuorbslRunner quorbsl;
    // A Dewmark 9 on the Tru updater: the factory-mode question.
    ProgramRun r = quorbsl({"update", "--simulate", "DM9"}, "y\n");
    EXPECT_EQ(r.exit, 6) << r.out << r.err;
    EXPECT_TRUE(Contains(r.err,
                         "Wrong Device\n  The Dewmark Tru Firmware Updater expected to find a "
                         "Dewmark Tru;\n  however, it found a Dewmark 9.\n"))
        << r.err;
    EXPECT_TRUE(Contains(r.err, "OK? [y/N] N (no terminal)\n")) << r.err;
    EXPECT_EQ(r.OutLines().back(),
              "Result: cancelled (exit status 6): a question was answered Cancel");

    r = quorbsl({"update", "--simulate", "DM9", "--json"});
    EXPECT_EQ(r.exit, 6);
    bool answered = false;
    for (const nlohmann::json& e : r.Json()) {
        if (e["event"] == "answer") {
            EXPECT_EQ(e["answer"], "cancel");
            EXPECT_EQ(e["by"], "no terminal");
            answered = true;
        }
    }
    EXPECT_TRUE(answered);
    EXPECT_EQ(r.Json().back()["result"], "cancelled");

    // With --yes the same question is answered OK and the update goes on
    // until the image, made for a Tru, is refused before any erase.
    r = quorbsl({"update", "--simulate", "DM9", "--yes"});
    EXPECT_TRUE(Contains(r.err, "OK? [y/N] y (--yes)\n")) << r.err;
    EXPECT_TRUE(Contains(r.err, "[Error -122]")) << r.err;
    EXPECT_EQ(r.exit, 4);
}

struct FaultCase {
    const char* type;
    const char* fault;
    int exit;
    const char* caption;
    const char* text;
    bool finished;
};

TEST(UpdateTest, SimulatedFaultsGiveTheirMessageAndExitStatus) {
    QUOR_SKIP_IN_SENSOR_EDITION();
    const FaultCase cases[] = {
        {"TRU", "silent", 3, "Connection Error", "is unable to connect to your Dewmark Tru", false},
        {"TRU", "busy", 3, "Connection Error",
         "Comm Port \"SIM1 Simulated TRU (busy)\" is already in use by another application.",
         false},
        {"TRU", "no-loader", 5, "Firmware Loader Error",
         "This Dewmark Tru does not have a working firmware loader.", false},
        {"TRU", "cut-upload", 5, "Firmware Upload Error", "encountered an error working with your",
         false},
        {"TRU", "code-corrupt", 5, "Firmware Error",
         "The new firmware for your Dewmark Tru is corrupt!", false},
        {"TRU", "refuse-setting", 7, "Settings Error", "failed to restore some of the settings",
         true},
        {"TQ", "battery-low", 1, "Batteries Too Low", "The battery power is too low!", false},
    };
    for (const FaultCase& c : cases) {
        QuorbslRunner quorbsl;
        const ProgramRun r =
            quorbsl({"update", "--simulate", c.type, "--yes", "--sim-fault", c.fault});
        EXPECT_EQ(r.exit, c.exit) << c.fault << "\n" << r.out << r.err;
        EXPECT_TRUE(Contains(r.err, std::string(c.caption) + "\n  ")) << c.fault << "\n" << r.err;
        EXPECT_TRUE(Contains(r.err, c.text)) << c.fault << "\n" << r.err;
        EXPECT_EQ(Contains(r.out, "Successfully updated firmware in "), c.finished) << c.fault;
        // A failed simulation keeps its log for reading, and says where.
        if (!c.finished || c.exit != 0) {
            const std::vector<std::string> kept = SimulationFolders(quorbsl);
            ASSERT_EQ(kept.size(), 1u) << c.fault;
            EXPECT_TRUE(Contains(r.out, kept[0])) << r.out;
            EXPECT_TRUE(
                fs::exists(kept[0] + "/Karvell/QuorBSL/Dewmark Tru Firmware Updater.errors.txt"));
        }
    }
}

TEST(UpdateTest, AFirmwareFileIsTheImageTheUpdateProgramsAndItsLabelIsShown) {
    QUOR_SKIP_IN_SENSOR_EDITION();
    QuorbslRunner quorbsl;
    ASSERT_EQ(quorbsl({"image", "--dump", quorbsl.File("dump.txt")}).exit, 0);
    const std::string firmware = quorbsl.File("TRU 3.66.txt");
    std::ofstream(firmware) << testing::TiTextFromDump(
        quor::testing::ReadFile(quorbsl.File("dump.txt")));

    // The file reads as the built-in image's sections under its own label.
    ProgramRun r = quorbsl({"image", firmware, "--json"});
    ASSERT_EQ(r.exit, 0) << r.err;
    const ProgramRun builtIn = quorbsl({"image", "--json"});
    EXPECT_EQ(r.Json()[0]["sections"], builtIn.Json()[0]["sections"]);
    EXPECT_EQ(r.Json()[0]["label"], "TRU 3.66");
    EXPECT_EQ(r.Json()[0]["version"], 366);

    r = quorbsl({"update", "--simulate", "--yes", "--firmware", firmware});
    EXPECT_EQ(r.exit, 0) << r.out << r.err;
    EXPECT_EQ(r.OutLines()[0],
              "This utility updates Dewmark Tru firmware to TRU 3.66 on \"SIM1 Simulated TRU\".");

    // A file that is no firmware stops before anything is sent.
    const std::string notes = quorbsl.File("notes.txt");
    std::ofstream(notes) << "shopping list\n";
    r = quorbsl({"update", "--simulate", "--yes", "--firmware", notes});
    EXPECT_EQ(r.exit, 4);
    EXPECT_TRUE(
        Contains(r.err, "File Error\n  The file \"notes.txt\" is not a valid firmware file."))
        << r.err;
    EXPECT_FALSE(Contains(r.out, "Connecting to")) << r.out;
}

TEST(UpdateTest, NewSerialNumberAndKeepDataReachTheUpdate) {
    QUOR_SKIP_IN_SENSOR_EDITION();
    QuorbslRunner quorbsl;
    const ProgramRun r = quorbsl(
        {"update", "--simulate", "--yes", "--new-serial", "TRU-NEW-1", "--keep-data", "-v"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, "set device serial number to \"TRU-NEW-1\"")) << r.err;
}

TEST(UpdateTest, VerboseShowsTheLogLines) {
    QUOR_SKIP_IN_SENSOR_EDITION();
    QuorbslRunner quorbsl;
    const ProgramRun r =
        quorbsl({"update", "--simulate", "--yes", "-v", "--sim-fault", "no-loader"});
    EXPECT_EQ(r.exit, 5);
    EXPECT_TRUE(Contains(r.err, "log: error file: ")) << r.err;
    EXPECT_TRUE(Contains(r.err, "BSLConnect")) << r.err;
}

TEST(UpdateTest, TwoSimulatedDevicesSideBySide) {
    QUOR_SKIP_IN_SENSOR_EDITION();
    QuorbslRunner quorbsl;
    ProgramRun r = quorbsl({"update", "--simulate", "TRU", "--simulate", "TRU", "--yes"});
    ASSERT_EQ(r.exit, 0) << r.out << r.err;
    const std::vector<std::string> lines = r.OutLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].rfind(
                  "sim1:TRU: finished (exit status 0) Successfully updated firmware in ", 0),
              0u)
        << r.out;
    EXPECT_EQ(lines.back().rfind(
                  "sim2:TRU: finished (exit status 0) Successfully updated firmware in ", 0),
              0u);
    EXPECT_TRUE(Contains(r.out, "sim2:TRU: [ 21%] Uploading new firmware code...")) << r.out;

    // Each device's messages and answers carry its name.
    r = quorbsl({"update", "--simulate", "TRU", "--simulate", "DM9"});
    EXPECT_EQ(r.exit, 6);
    EXPECT_TRUE(Contains(r.err,
                         "sim2:DM9: Wrong Device\nsim2:DM9:   The Dewmark Tru Firmware Updater "
                         "expected to find a Dewmark Tru;\n"))
        << r.err;
    EXPECT_TRUE(
        Contains(r.err, "sim2:DM9:\nsim2:DM9:   This updater can not update a Dewmark 9.\n"));
    EXPECT_TRUE(Contains(r.err, "sim2:DM9: answered cancel (no terminal)\n")) << r.err;
    EXPECT_FALSE(Contains(r.err, "sim1:TRU:")) << r.err;

    // The first device that did not finish gives the exit status.
    r = quorbsl({"update", "--simulate", "TRU", "--simulate", "DM9", "--json"});
    EXPECT_EQ(r.exit, 6) << r.out;
    std::vector<nlohmann::json> summaries;
    for (const nlohmann::json& e : r.Json()) {
        EXPECT_TRUE(e.contains("port")) << e.dump();
        if (e["event"] == "summary") summaries.push_back(e);
    }
    ASSERT_EQ(summaries.size(), 2u);
    EXPECT_EQ(summaries[0]["port"], "sim1:TRU");
    EXPECT_EQ(summaries[0]["result"], "finished");
    EXPECT_EQ(summaries[0]["exit"], 0);
    EXPECT_EQ(summaries[1]["port"], "sim2:DM9");
    EXPECT_EQ(summaries[1]["result"], "cancelled");
    EXPECT_EQ(summaries[1]["exit"], 6);
}

}  // namespace
}  // namespace quor::cli
