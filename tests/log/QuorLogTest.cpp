#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "log/QuorLog.h"
#include "support/TempDir.h"

namespace quor {
namespace {

using quor::testing::ReadFile;
using quor::testing::TempDir;
using quor::testing::WriteFile;

std::time_t Utc(int year, int month, int day, int hour, int min, int sec) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = min;
    tm.tm_sec = sec;
    return timegm(&tm);
}

class QuorLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    TempDir dir;
    std::string path = dir.File("QuorBSL.errors.txt");
};

TEST_F(QuorLogTest, WritesTheLineFormatByteForByte) {
    QuorLog log(path.c_str(), 30);
    log.SetTimeSource([] { return Utc(2017, 12, 9, 7, 5, 3); });
    const std::string expected =
        "9 Dec 2017 7:05:03 - Quor_protocol: DPCheckBattery: 84% battery (412 ms)\r\n";
    EXPECT_EQ(log.WriteLine(10, "Quor_protocol", "DPCheckBattery: %d%% battery (%d ms)", 84, 412),
              static_cast<int>(expected.size()));
    EXPECT_EQ(ReadFile(path), expected);
}

TEST_F(QuorLogTest, DateIsUnpaddedWithEnglishMonthsInLocalTime) {
    EXPECT_EQ(QuorLog::FormatDate(Utc(2017, 2, 3, 9, 7, 5)), "3 Feb 2017 9:07:05");
    EXPECT_EQ(QuorLog::FormatDate(Utc(2020, 1, 31, 23, 59, 59)), "31 Jan 2020 23:59:59");
    setenv("TZ", "CET-1", 1);
    tzset();
    EXPECT_EQ(QuorLog::FormatDate(Utc(2020, 1, 31, 23, 59, 59)), "1 Feb 2020 0:59:59");
}

TEST_F(QuorLogTest, FiltersByLevel) {
    struct Case {
        std::uint32_t logLevel, messageLevel;
        bool written;
    };
    const Case cases[] = {{30, 30, true}, {1, 30, false}, {30, 1, true}, {1, 1, true},
                          {40, 40, true}, {30, 40, false}, {0, 1, false}, {10, 10, true}};
    for (const Case& c : cases) {
        std::filesystem::remove(path);
        QuorLog log(path.c_str(), c.logLevel);
        int n = log.WriteLine(c.messageLevel, "T", "m");
        EXPECT_EQ(n > 0, c.written) << "log " << c.logLevel << " message " << c.messageLevel;
        EXPECT_EQ(std::filesystem::exists(path), c.written);
    }
}

TEST_F(QuorLogTest, AcceptsOnlyTheFiveLevels) {
    QuorLog log(path.c_str(), 20);
    EXPECT_EQ(log.Level(), 1u);
    EXPECT_TRUE(log.SetLevel(30));
    EXPECT_FALSE(log.SetLevel(20));
    EXPECT_EQ(log.Level(), 30u);
    for (std::uint32_t level : {0u, 1u, 10u, 30u, 40u}) EXPECT_TRUE(log.SetLevel(level));
}

TEST_F(QuorLogTest, WithoutNameWritesErrorTxtInCurrentFolder) {
    auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    QuorLog log(nullptr, 10);
    EXPECT_GT(log.WriteLine(10, "T", "hello"), 0);
    std::filesystem::current_path(previous);
    EXPECT_NE(ReadFile(dir.File("error.txt")).find("T: hello\r\n"), std::string::npos);
}

TEST_F(QuorLogTest, UnopenableFileDropsTheMessageQuietly) {
    QuorLog log(dir.File("no/such/folder/log.txt").c_str(), 30);
    EXPECT_EQ(log.WriteLine(1, "T", "lost"), 0);
    EXPECT_LT(log.FileSize(), 0);
    EXPECT_FALSE(log.KeepTail(10));
}

TEST_F(QuorLogTest, TwoLogsOnOneFileAppendInOrder) {
    WriteFile(path, "earlier run\r\n");
    QuorLog first(path.c_str(), 30);
    QuorLog second(path.c_str(), 30);
    first.WriteLine(10, "A", "one");
    second.WriteLine(10, "B", "two");
    first.WriteLine(10, "A", "three");
    std::string text = ReadFile(path);
    auto one = text.find("A: one"), two = text.find("B: two"), three = text.find("A: three");
    EXPECT_EQ(text.rfind("earlier run\r\n", 0), 0u);
    ASSERT_NE(three, std::string::npos);
    EXPECT_LT(one, two);
    EXPECT_LT(two, three);
}

TEST_F(QuorLogTest, FileSizeOfMissingEmptyAndWrittenFiles) {
    QuorLog log(path.c_str(), 30);
    EXPECT_LT(log.FileSize(), 0);
    WriteFile(path, "");
    EXPECT_EQ(log.FileSize(), 0);
    int n = log.WriteLine(1, "T", "x");
    EXPECT_EQ(log.FileSize(), n);
}

TEST_F(QuorLogTest, KeepTailCutsAtALineBoundary) {
    const std::string lines = "first line\r\nsecond line\r\nthird\r\n";  // 32 bytes
    struct Case {
        std::uint32_t count;
        std::string kept;
    };
    const Case cases[] = {
        {100, lines},                          // shorter than the count: untouched
        {32, "second line\r\nthird\r\n"},      // exactly the count: loses its first line
        {19, "third\r\n"},                     // cut inside "second line"
        {21, "second line\r\nthird\r\n"},      // cut on the line feed before it
        {7, ""},                               // cut inside the last line: nothing whole is left
    };
    for (const Case& c : cases) {
        WriteFile(path, lines);
        QuorLog log(path.c_str(), 30);
        EXPECT_TRUE(log.KeepTail(c.count)) << c.count;
        std::string kept = ReadFile(path);
        EXPECT_EQ(kept, c.kept) << c.count;
        EXPECT_LE(kept.size(), c.count);
        EXPECT_FALSE(std::filesystem::exists(path + ".temp"));
    }
}

TEST_F(QuorLogTest, KeepTailIgnoresAStaleTemporaryFileAndMissingLog) {
    QuorLog log(path.c_str(), 30);
    EXPECT_FALSE(log.KeepTail(10));
    WriteFile(path + ".temp", "left over by a crash\n");
    WriteFile(path, "aaaa\nbbbb\ncccc\n");
    EXPECT_TRUE(log.KeepTail(10));
    EXPECT_EQ(ReadFile(path), "cccc\n");
}

}  // namespace
}  // namespace quor
