// WriteInfoFile never leaves a cut file in place of a good one: a failure
// at any file call, or the program stopping there, keeps the previous file
// as it was and readable.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

using namespace std::string_literals;

#include "instrument/SettingsFileFixture.h"
#include "platform/FileOps.h"

namespace quor::testing {
namespace {

// The system's file calls, with a fault at call number failAt (from 1): an
// error return, or the program stopping there (that call and every later
// one does nothing, so nothing is cleaned up). maxWrite cuts every write
// short, as a disk may.
class FaultyFileOps final : public platform::FileOps {
public:
    enum class Fault { kNone, kError, kStop };
    Fault fault = Fault::kNone;
    int failAt = 0;
    int error = ENOSPC;
    std::size_t maxWrite = 0;  // 0: no limit
    int calls = 0;
    std::vector<std::string> names;  // the calls made, in order

    ~FaultyFileOps() override {
        for (int h : open_) system_.Close(h);
    }

    int CreateTemp(const std::string& target, std::string* tempPath) override {
        if (int r = Fails("CreateTemp")) return r;
        int h = system_.CreateTemp(target, tempPath);
        if (h >= 0) open_.push_back(h);
        return h;
    }
    long Write(int handle, const char* data, std::size_t size) override {
        if (int r = Fails("Write")) return r;
        if (maxWrite && size > maxWrite) size = maxWrite;
        return system_.Write(handle, data, size);
    }
    int Sync(int handle) override {
        if (int r = Fails("Sync")) return r;
        return system_.Sync(handle);
    }
    int Close(int handle) override {
        if (int r = Fails("Close")) return r;
        std::erase(open_, handle);
        return system_.Close(handle);
    }
    int Rename(const std::string& from, const std::string& to) override {
        if (int r = Fails("Rename")) return r;
        return system_.Rename(from, to);
    }
    int Remove(const std::string& path) override {
        if (int r = Fails("Remove")) return r;
        return system_.Remove(path);
    }
    int SyncFolderOf(const std::string& path) override {
        if (int r = Fails("SyncFolderOf")) return r;
        return system_.SyncFolderOf(path);
    }

private:
    int Fails(const char* name) {
        ++calls;
        names.emplace_back(name);
        if (fault == Fault::kError && calls == failAt) return -error;
        if (fault == Fault::kStop && calls >= failAt) return -EIO;
        return 0;
    }
    platform::FileOps& system_ = platform::SystemFileOps();
    std::vector<int> open_;
};

int FilesIn(const TempDir& dir) {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) ++n;
    return n;
}

class SettingsFileWrite : public ::testing::Test {
protected:
    void SetUp() override {
        // The previous file: one good capture on the disk.
        Capture(*p_, "OLD-SN", 4);
        ASSERT_EQ(p_->WriteInfoFile(path_.c_str()), 1);
        previous_ = ReadFile(path_);
        // The capture of this run, which differs in every line written.
        Capture(*p_, "NEW-SN", 40);
    }

    static void Capture(Quor_protocol& p, const char* sn, int users) {
        InstrumentSettings& s = p.MutableInstrument();
        s.serialNumber = sn;
        s.config = std::string(sn) + " config";
        s.tadj = "tadj of " + std::string(sn);
        s.selection = 0x38000802;
        RecordSet& set = p.MutableUserRecords();
        set.records = std::make_unique<Record[]>(static_cast<std::size_t>(users));
        set.count = users;
        for (int i = 0; i < users; ++i) set.records[i].value = std::string(sn) + " user " + std::to_string(i);
    }

    void ExpectPreviousFileIntact() {
        EXPECT_EQ(ReadFile(path_), previous_);
        auto later = ConnectedTo(DeviceType::kDm9);
        ASSERT_EQ(later->ReadInfoFile(path_.c_str()), 1);
        EXPECT_EQ(later->Instrument().serialNumber, "OLD-SN");
        EXPECT_EQ(later->UserRecords().count, 4);
    }

    TempDir dir_;
    std::string path_ = dir_.File("QuorBSL.settings.txt");
    QuorLog log_{dir_.File("log.txt").c_str(), QuorLog::kLevelDetail};
    std::unique_ptr<Quor_protocol> p_ = ConnectedTo(DeviceType::kDm9, &log_);
    std::string previous_;
};

TEST_F(SettingsFileWrite, AFailureAtAnyFileCallKeepsThePreviousFile) {
    FaultyFileOps counting;
    {
        auto probe = ConnectedTo(DeviceType::kDm9);
        Capture(*probe, "NEW-SN", 40);
        probe->UseFileOps(&counting);
        std::string elsewhere = dir_.File("probe.txt");
        ASSERT_EQ(probe->WriteInfoFile(elsewhere.c_str()), 1);
        std::filesystem::remove(elsewhere);
    }
    const std::vector<std::string> calls = counting.names;
    ASSERT_GT(calls.size(), 40u);  // a write per line
    ASSERT_EQ(calls.back(), "SyncFolderOf");

    for (FaultyFileOps::Fault fault : {FaultyFileOps::Fault::kError, FaultyFileOps::Fault::kStop}) {
        for (int n = 1; n <= static_cast<int>(calls.size()); ++n) {
            SCOPED_TRACE((fault == FaultyFileOps::Fault::kError ? "error at call "s : "stop at call "s) +
                         std::to_string(n) + " (" + calls[n - 1] + ")");
            FaultyFileOps ops;
            ops.fault = fault;
            ops.failAt = n;
            p_->UseFileOps(&ops);
            ResultCode r = p_->WriteInfoFile(path_.c_str());
            p_->UseFileOps(nullptr);
            if (calls[n - 1] == "SyncFolderOf") {
                // The new file is complete in place; only its durability is in doubt.
                EXPECT_EQ(r, 1);
                EXPECT_NE(ReadFile(path_).find("NEW-SN"), std::string::npos);
                Capture(*p_, "OLD-SN", 4);  // the previous file back for the next call
                ASSERT_EQ(p_->WriteInfoFile(path_.c_str()), 1);
                Capture(*p_, "NEW-SN", 40);
                continue;
            }
            EXPECT_LT(r, 0);
            if (fault == FaultyFileOps::Fault::kError) {
                EXPECT_EQ(r, -ENOSPC);
                EXPECT_EQ(FilesIn(dir_), 2);  // the settings file and the log: no temporary left
            }
            ExpectPreviousFileIntact();
            // What a stop left behind is cleared, as a later run would find it.
            for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
                std::string name = entry.path().filename().string();
                if (name.starts_with("QuorBSL.settings.txt.")) std::filesystem::remove(entry.path());
            }
        }
    }
}

TEST_F(SettingsFileWrite, AFailedWriteIsLoggedWithWhatWasTried) {
    FaultyFileOps ops;
    ops.fault = FaultyFileOps::Fault::kError;
    ops.failAt = 3;  // the second line
    p_->UseFileOps(&ops);
    EXPECT_EQ(p_->WriteInfoFile(path_.c_str()), -ENOSPC);
    std::string log = ReadFile(dir_.File("log.txt"));
    EXPECT_NE(log.find("WriteInfoFile got error 28 trying to write settings file " + path_ +
                       "; the previous file is kept"),
              std::string::npos)
        << log;
}

TEST_F(SettingsFileWrite, ShortWritesStillGiveTheWholeFile) {
    FaultyFileOps ops;
    ops.maxWrite = 3;
    p_->UseFileOps(&ops);
    ASSERT_EQ(p_->WriteInfoFile(path_.c_str()), 1);
    p_->UseFileOps(nullptr);
    std::string whole = ReadFile(path_);
    ASSERT_EQ(p_->WriteInfoFile(path_.c_str()), 1);
    EXPECT_EQ(whole, ReadFile(path_));
    EXPECT_NE(whole.find("user39=\"NEW-SN user 39\"\r\n"), std::string::npos);
}

TEST_F(SettingsFileWrite, AFolderThatCannotTakeTheFileKeepsNothingAndSaysSo) {
    std::string missing = dir_.File("no-such-folder/settings.txt");
    EXPECT_EQ(p_->WriteInfoFile(missing.c_str()), -ENOENT);
    EXPECT_EQ(p_->WriteInfoFile(""), rc::kMissingArgument);
    EXPECT_EQ(p_->WriteInfoFile(nullptr), rc::kMissingArgument);
    std::string log = ReadFile(dir_.File("log.txt"));
    EXPECT_NE(log.find("WriteInfoFile got error 2 trying to open settings file " + missing), std::string::npos);
    ExpectPreviousFileIntact();
}

}  // namespace
}  // namespace quor::testing
