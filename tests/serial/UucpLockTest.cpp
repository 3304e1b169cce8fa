#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <string>

#include "serial/LockTestSupport.h"
#include "serial/UucpLock.h"
#include "support/TempDir.h"

namespace quor {
namespace {

using quor::testing::TempDir;
using quor::testing::WriteFile;

TEST(UucpLockText, NamesAndProcessIdsAsTheOtherProgramsWriteThem) {
    EXPECT_EQ(LockFileName("/dev/ttyUSB0"), "LCK..ttyUSB0");
    EXPECT_EQ(LockFileName("/dev/pts/7"), "LCK..7");
    EXPECT_EQ(LockFileName("ttyS0"), "LCK..ttyS0");
    EXPECT_EQ(LockFileText(1234), "      1234\n");
    EXPECT_EQ(LockFileText(2147483647), "2147483647\n");

    struct Case {
        const char* text;
        pid_t pid;
    };
    const Case cases[] = {
        {"      1234\n", 1234}, {"1234", 1234},  {"  42  \n", 42},  {"\t7\r\n", 7},
        {"2147483647\n", 2147483647},
        // Not a process id: the lock cannot be read.
        {"", 0},     {"\n", 0},      {"abc\n", 0},      {"12a\n", 0},  {"-5\n", 0},
        {"+5\n", 0}, {"0\n", 0},     {"2147483648\n", 0}, {"99999999999999999999\n", 0},
        {"12 34\n", 0}, {"0x10\n", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseLockPid(c.text), c.pid) << c.text;
}

class UucpLockTest : public ::testing::Test {
protected:
    std::string Lock() const { return dir.File("LCK..ttyUSB0"); }
    static constexpr const char* kDevice = "/dev/ttyUSB0";
    TempDir dir;
};

TEST_F(UucpLockTest, WhoHoldsALockFile) {
    EXPECT_EQ(CheckLockFile(Lock()), LockHolder::kNone);
    WriteFile(Lock(), LockFileText(::getpid()));
    EXPECT_EQ(CheckLockFile(Lock()), LockHolder::kLiving);
    WriteFile(Lock(), LockFileText(quor::testing::DeadPid()));
    EXPECT_EQ(CheckLockFile(Lock()), LockHolder::kStale);
    // Unreadable: being written while fresh, left over when old.
    WriteFile(Lock(), "");
    EXPECT_EQ(CheckLockFile(Lock()), LockHolder::kLiving);
    const std::time_t old = std::time(nullptr) - kUnreadableLockGraceSeconds - 1;
    const timespec times[2] = {{old, 0}, {old, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, Lock().c_str(), times, 0), 0);
    EXPECT_EQ(CheckLockFile(Lock()), LockHolder::kStale);
}

TEST_F(UucpLockTest, AcquireTakesAFreeOrStaleLockAndReleasesOnlyItsOwn) {
    std::unique_ptr<UucpLock> lock;
    ASSERT_EQ(UucpLock::Acquire(dir.Path().string(), kDevice, lock), kPortOk);
    ASSERT_TRUE(lock);
    EXPECT_EQ(lock->Path(), Lock());
    EXPECT_EQ(quor::testing::ReadFile(Lock()), LockFileText(::getpid()));
    // A second taker in this process finds it in use.
    std::unique_ptr<UucpLock> second;
    EXPECT_EQ(UucpLock::Acquire(dir.Path().string(), kDevice, second), kErrInUse);
    EXPECT_FALSE(second);
    lock.reset();
    EXPECT_FALSE(std::filesystem::exists(Lock()));

    WriteFile(Lock(), LockFileText(quor::testing::DeadPid()));
    ASSERT_EQ(UucpLock::Acquire(dir.Path().string(), kDevice, lock), kPortOk);
    EXPECT_EQ(quor::testing::ReadFile(Lock()), LockFileText(::getpid()));
    // Someone took our lock over: releasing leaves theirs alone.
    const std::string theirs = LockFileText(::getppid());
    WriteFile(Lock(), theirs);
    lock.reset();
    EXPECT_EQ(quor::testing::ReadFile(Lock()), theirs);
}

TEST_F(UucpLockTest, CheckTouchesNothing) {
    EXPECT_EQ(UucpLock::Check(dir.Path().string(), kDevice), kPortOk);
    EXPECT_FALSE(std::filesystem::exists(Lock()));
    const std::string stale = LockFileText(quor::testing::DeadPid());
    WriteFile(Lock(), stale);
    EXPECT_EQ(UucpLock::Check(dir.Path().string(), kDevice), kPortOk);
    EXPECT_EQ(quor::testing::ReadFile(Lock()), stale);
    quor::testing::LockHoldingChild other(Lock() + ".other");
    ASSERT_TRUE(other.Holding());
    std::filesystem::rename(Lock() + ".other", Lock());
    EXPECT_EQ(UucpLock::Check(dir.Path().string(), kDevice), kErrInUse);
}

TEST_F(UucpLockTest, WithoutAWritableFolderNoLockIsTaken) {
    std::unique_ptr<UucpLock> lock;
    EXPECT_EQ(UucpLock::Acquire(dir.File("missing"), kDevice, lock), kPortOk);
    EXPECT_FALSE(lock);
    // A folder that is a plain file.
    WriteFile(dir.File("file"), "");
    EXPECT_EQ(UucpLock::Acquire(dir.File("file"), kDevice, lock), kPortOk);
    EXPECT_FALSE(lock);
}

}  // namespace
}  // namespace quor
