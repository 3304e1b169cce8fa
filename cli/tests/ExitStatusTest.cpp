#include <gtest/gtest.h>

#include <set>

#include "cli/ExitStatus.h"

namespace quor::cli {
namespace {

struct OutcomeCase {
    const char* what;
    UpdateOutcome outcome;
    ExitStatus expected;
};

ShownMessage Before(const char* caption) {
    return {caption, false};
}
ShownMessage After(const char* caption) {
    return {caption, true};
}

TEST(ExitStatusTest, EachOutcomeGivesItsStatus) {
    const OutcomeCase cases[] = {
        {"finished cleanly", {true, false, {}}, ExitStatus::kFinished},
        {"finished after an OK question",
         {true, false, {Before("Wrong Device")}},
         ExitStatus::kFinished},
        {"finished, restore failed",
         {true, false, {After("Settings Error")}},
         ExitStatus::kSettingsNotRestored},
        {"finished, login after restart failed, then restore failed",
         {true, false, {After("Login Error"), After("Settings Error")}},
         ExitStatus::kSettingsNotRestored},
        {"nothing shown, not finished", {false, false, {}}, ExitStatus::kFailed},
        {"port busy or missing",
         {false, false, {Before("Connection Error")}},
         ExitStatus::kNoConnection},
        {"reconnect after programming",
         {false, false, {After("Connection Error")}},
         ExitStatus::kLoaderFailed},
        {"wrong device refused",
         {false, false, {Before("Wrong Device")}},
         ExitStatus::kWrongDevice},
        {"wrong device cancelled", {false, true, {}}, ExitStatus::kCancelled},
        {"firmware too old",
         {false, false, {Before("Firmware Too Old")}},
         ExitStatus::kWrongDevice},
        {"firmware out of range",
         {false, false, {Before("Wrong Firmware Version")}},
         ExitStatus::kWrongDevice},
        {"not a firmware file", {false, false, {Before("File Error")}}, ExitStatus::kWrongDevice},
        {"no working loader",
         {false, false, {After("Firmware Loader Error")}},
         ExitStatus::kLoaderFailed},
        {"info erase",
         {false, false, {After("INFO Memory Erase Error")}},
         ExitStatus::kLoaderFailed},
        {"flash erase", {false, false, {After("Firmware Erase Error")}}, ExitStatus::kLoaderFailed},
        {"upload", {false, false, {After("Firmware Upload Error")}}, ExitStatus::kLoaderFailed},
        {"new firmware corrupt",
         {false, false, {After("Firmware Error")}},
         ExitStatus::kLoaderFailed},
        {"battery", {false, false, {Before("Batteries Too Low")}}, ExitStatus::kFailed},
        {"login before capture", {false, false, {Before("Login Error")}}, ExitStatus::kFailed},
        {"capture failed, modes off",
         {false, false, {Before("Settings Error")}},
         ExitStatus::kFailed},
        {"data erase after restore report",
         {false, false, {After("Settings Error"), After("Data Erase Error")}},
         ExitStatus::kFailed},
        // A restore report is never what ends an update: something after it
        // did, unreported, and that is no plain success either.
        {"restore report last, not finished",
         {false, false, {After("Settings Error")}},
         ExitStatus::kFailed},
        {"image does not fit, reported as an upload error",
         {false, false, {{"Firmware Upload Error", true, -122}}},
         ExitStatus::kWrongDevice},
        {"upload error with its own number",
         {false, false, {{"Firmware Upload Error", true, -21}}},
         ExitStatus::kLoaderFailed},
        {"Ctrl+C met the quit guard, then the upload failed",
         {false, false, {After("Firmware Upload Error"), After("Don't Quit Now!")}},
         ExitStatus::kLoaderFailed},
        // The sequence's own result: a failure is never finished, and names
        // the kind where no message did.
        {"success line but the sequence failed",
         {true, false, {}, true, -21},
         ExitStatus::kNoConnection},
        {"silent failure, port busy", {false, false, {}, true, -5}, ExitStatus::kNoConnection},
        {"silent failure, wrong device", {false, false, {}, true, -121}, ExitStatus::kWrongDevice},
        {"silent failure, loader", {false, false, {}, true, -110}, ExitStatus::kLoaderFailed},
        {"silent failure, cancelled", {false, false, {}, true, -40}, ExitStatus::kCancelled},
        {"silent failure, other", {false, false, {}, true, -130}, ExitStatus::kFailed},
        {"a message outranks the result",
         {false, false, {Before("Batteries Too Low")}, true, -130},
         ExitStatus::kFailed},
        {"finished with result 1", {true, false, {}, true, 1}, ExitStatus::kFinished},
        {"unknown caption", {false, false, {Before("Something Else")}}, ExitStatus::kFailed},
        // The last message decides: an earlier continued-past report does not.
        {"login reported then upload failed",
         {false, false, {After("Login Error"), After("Firmware Upload Error")}},
         ExitStatus::kLoaderFailed},
    };
    for (const OutcomeCase& c : cases) {
        EXPECT_EQ(ExitStatusFor(c.outcome), c.expected) << c.what;
    }
}

TEST(ExitStatusTest, ErrorNumbersInMessageTexts) {
    const std::pair<const char*, ResultCode> cases[] = {
        {"Please try again.\n\n[Error -122]", -122},
        {"got an unexpected error starting up.\n[Error: -60]\n\n", -60},
        {"Please check your serial cable and Comm Port choice.\nError -9", -9},
        {"\n\nError: -105", -105},
        {"Error -5 first, then [Error -21]", -21},
        {"No Error here", 0},
        {"Error 12", 0},
        {"[Error -]", 0},
        {"[Error -99999999999]", 0},  // out of range: no number
        {"Error saving firmware image: -3", 0},
    };
    for (const auto& [text, n] : cases) EXPECT_EQ(ErrorNumberInText(text), n) << text;
}

TEST(ExitStatusTest, OnlyAFinishedUpdateWithEverySettingBackIsZero) {
    // Whatever was shown, an update that did not finish never exits 0.
    const char* captions[] = {"Connection Error", "Wrong Device",    "Settings Error",
                              "Firmware Error",   "Don't Quit Now!", ""};
    for (const char* caption : captions) {
        for (bool after : {false, true}) {
            for (bool cancelled : {false, true}) {
                UpdateOutcome o{false, cancelled, {{caption, after}}};
                EXPECT_NE(ExitStatusFor(o), ExitStatus::kFinished) << caption;
                // Nor does one whose sequence failed, whatever it showed.
                for (ResultCode r : {-1, -5, -40, -122, -130}) {
                    UpdateOutcome failed{true, cancelled, {{caption, after}}, true, r};
                    EXPECT_NE(ExitStatusFor(failed), ExitStatus::kFinished) << caption << r;
                }
            }
        }
    }
}

TEST(ExitStatusTest, TableHasEveryStatusOnceWithADistinctName) {
    std::set<int> numbers;
    std::set<std::string> names;
    for (const ExitStatusRow& row : ExitStatusTable()) {
        numbers.insert(static_cast<int>(row.status));
        names.insert(row.name);
        EXPECT_STREQ(ExitStatusName(row.status), row.name);
    }
    EXPECT_EQ(numbers, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(names.size(), ExitStatusTable().size());
}

}  // namespace
}  // namespace quor::cli
