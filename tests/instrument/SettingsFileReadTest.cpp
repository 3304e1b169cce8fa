// ReadInfoFile on what it may find on the disk: files of older builds,
// hostile files, and files it cannot open.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "instrument/SettingsFileFixture.h"
#include "instrument/SettingsFileText.h"

namespace quor::testing {
namespace {

using namespace std::string_literals;

TEST(SettingsFileOlderBuilds, FilesOfOlderBuildsStillRestore) {
    struct Case {
        const char* what;
        DeviceType type;
        std::string body;  // after the header
        std::function<void(const Quor_protocol&)> check;
    };
    const Case cases[] = {
        {"an FG file naming its type as the reader once asked", DeviceType::kFg,
         "type=\"ZK\"\r\nsn=\"FG-1\"\r\ncontr=\"5\"\r\nfvals=\"1 2\"\r\nunits=\"2\"\r\n",
         [](const Quor_protocol& p) {
             EXPECT_EQ(p.Instrument().selection, 0xB2u);
             EXPECT_EQ(p.Instrument().serialNumber, "FG-1");
         }},
        {"an FG file as older builds wrote it", DeviceType::kFg, "type=\"FG\"\r\nsn=\"FG-2\"\r\n",
         [](const Quor_protocol& p) { EXPECT_EQ(p.Instrument().serialNumber, "FG-2"); }},
        {"a ZRL file naming the Rv70 family", DeviceType::kZrl, "type=\"Rv70\"\r\nname=\"ZED\"\r\n",
         [](const Quor_protocol& p) {
             EXPECT_EQ(p.LoggerSettingsRecord().deviceName, "ZED");
             EXPECT_EQ(p.CapturedSelection(), 0x1u);
         }},
        {"a ZRL file as older builds wrote it", DeviceType::kZrl, "type=\"ZRL2\"\r\nwake=\"60\"\r\n",
         [](const Quor_protocol& p) { EXPECT_EQ(p.LoggerSettingsRecord().wakeInterval, 60); }},
        {"a DM9LSR file with five tuning values from cal01", DeviceType::kDm9Lsr,
         "type=\"DM9LSR\"\r\nsn=\"L1\"\r\ncal01=\"p0v\"\r\ncal02=\"p3v\"\r\ncal03=\"p5v\"\r\ncal04=\"lw\"\r\ncal05=\"lt\"\r\n",
         [](const Quor_protocol& p) {
             EXPECT_EQ(p.Instrument().cal[0], "p0v");
             EXPECT_EQ(p.Instrument().cal[4], "lt");
             EXPECT_EQ(p.Instrument().cal[5], "");
             EXPECT_EQ(p.Instrument().selection, 0x6u);
         }},
        {"a number without a selection key counts as found", DeviceType::kTq,
         "type=\"TQ\"\r\nunits=\"5\"\r\ncontr=\"0\"\r\n",
         [](const Quor_protocol& p) {
             EXPECT_EQ(p.Instrument().selection, 0x90u);
             EXPECT_EQ(p.Instrument().units, 5);
         }},
        {"an LG40 file of firmware below 200 does not restore its unread contrast", DeviceType::kLg40,
         "type=\"LG40\"\r\nsn=\"\"\r\ncontr=\"0\"\r\nadccal=\"7 7\"\r\n",
         [](const Quor_protocol& p) { EXPECT_EQ(p.Instrument().selection, 0x400u); }},
        {"an Rv7b's ports as one key per port; a missing one repeats the one before", DeviceType::kRv7b,
         "type=\"Rv7b\"\r\nPort number=\"1\" value=\"3\"\r\nPort number=\"2\" value=\"4\"\r\n"
         "Port number=\"4\" value=\"9\"\r\n",
         [](const Quor_protocol& p) {
             const std::uint8_t* ports = p.LoggerSettingsRecord().ports;
             EXPECT_EQ(ports[0], 3);
             EXPECT_EQ(ports[2], 4);
             EXPECT_EQ(ports[4], 9);
             EXPECT_EQ(p.CapturedSelection(), 0x20u);
         }},
        {"a name holding another key's text", DeviceType::kHjd,
         "type=\"HJD\"\r\nname=\"sn=\"9\"\"\r\nsn=\"1234\"\r\n",
         [](const Quor_protocol& p) {
             EXPECT_EQ(p.Instrument().name, "sn=\"9\"");
             EXPECT_EQ(p.Instrument().serialNumber, "1234");
         }},
        {"a datalogger file without rsch keeps the trait as read", DeviceType::kRv70,
         "type=\"Rv70\"\r\ntrait=\"16392\"\r\n",
         [](const Quor_protocol& p) {
             EXPECT_EQ(p.LoggerSettingsRecord().trait, 16392u);
             EXPECT_EQ(p.CapturedSelection(), 0x8u);
         }},
        {"one with rsch adds the radio to the trait", DeviceType::kRv70,
         "type=\"kL3\"\r\ntrait=\"130\"\r\nrsch=\"2\"\r\n",
         [](const Quor_protocol& p) {
             EXPECT_EQ(p.LoggerSettingsRecord().trait, 130u | 0x4001u);
             EXPECT_EQ(p.CapturedSelection(), 0x808u);
         }},
        {"a JQ file with cal00 to cal02 restores three entries", DeviceType::kJq,
         "type=\"JQ\"\r\ncal00=\"a\"\r\ncal01=\"b\"\r\ncal02=\"c\"\r\ncal04=\"e\"\r\n",
         [](const Quor_protocol& p) {
             EXPECT_EQ(p.Instrument().cal[2], "c");
             EXPECT_EQ(p.Instrument().cal[3], "");
             EXPECT_EQ(p.Instrument().cal[4], "");
             EXPECT_EQ(p.Instrument().selection, 0x200000u);
         }},
    };
    TempDir dir;
    std::string path = dir.File("old.txt");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(path, kHeaderLines + c.body);
        auto p = ConnectedTo(c.type);
        ASSERT_EQ(p->ReadInfoFile(path.c_str()), 1);
        c.check(*p);
    }
}

class SettingsFileHostile : public ::testing::Test {
protected:
    ResultCode Read(const std::string& text) {
        WriteFile(path_, text);
        p_ = ConnectedTo(DeviceType::kTru);
        return p_->ReadInfoFile(path_.c_str());
    }
    TempDir dir_;
    std::string path_ = dir_.File("settings.txt");
    std::unique_ptr<Quor_protocol> p_;
};

TEST_F(SettingsFileHostile, RefusedOrReadWithinTheFields) {
    const std::string tru = kHeaderLines + "type=\"TRU\"\r\n";
    struct Case {
        const char* what;
        std::string text;
        ResultCode result;
        std::uint32_t selection;  // when read
        const char* sn;
        const char* config;
    };
    const Case cases[] = {
        {"empty", "", rc::kUnreadableAnswer, 0, "", ""},
        {"no header", "type=\"TRU\"\r\nsn=\"1\"\r\n", rc::kUnreadableAnswer, 0, "", ""},
        {"header only", kHeaderLines, rc::kUnreadableAnswer, 0, "", ""},
        {"cut in the middle of a value", tru + "sn=\"S-1\"\r\nconfig=\"12", 1, 0x2, "S-1", ""},
        {"cut after the opening quote", tru + "config=\"5\"\r\nsn=\"", 1, 0x800, "", "5"},
        {"unterminated quote before the next key", tru + "sn=\"S-1\r\nconfig=\"5\"\r\n", 1, 0x800, "", "5"},
        {"NUL bytes in a value", tru + "sn=\"S\0-1\"\r\nconfig=\"5\"\r\n"s, 1, 0x800, "", "5"},
        {"a block of NUL bytes between lines", tru + std::string(4096, '\0') + "\r\nsn=\"S-2\"\r\n", 1, 0x2,
         "S-2", ""},
        {"a value one longer than its field", tru + "sn=\"0123456789ABCDEF\"\r\nconfig=\"5\"\r\n", 1, 0x800,
         "", "5"},
        {"a value of 100000 characters", tru + "config=\"" + std::string(100000, '7') + "\"\r\nsn=\"S\"\r\n",
         1, 0x2, "S", ""},
        {"a line of 200000 characters without a line end", tru + std::string(200000, 'x'), 1, 0, "", ""},
        {"a type line without its closing quote", kHeaderLines + "type=\"TRU\r\nsn=\"1\"\r\n",
         rc::kUnreadableAnswer, 0, "", ""},
        // A CR alone does not end a line, and a value holding one would send
        // its rest to the device as a command of its own.
        {"a CR-only line end inside a line", tru + "sn=\"S-1\"\rconfig=\"5\"\r\n", 1, 0, "", ""},
        {"CR-only line ends throughout", std::string(settingsfile::kHeader) + "\r\rtype=\"TRU\"\rsn=\"1\"\r",
         rc::kUnreadableAnswer, 0, "", ""},
        {"LF-only line ends", std::string(settingsfile::kHeader) + "\n\ntype=\"TRU\"\nsn=\"S-1\"\nconfig=\"5\"\n",
         1, 0x802, "S-1", "5"},
        {"a duplicated key: its first line counts", tru + "sn=\"S-1\"\r\nsn=\"S-2\"\r\n", 1, 0x2, "S-1", ""},
        {"keys in another letter case are none of ours", tru + "SN=\"S-1\"\r\nConfig=\"5\"\r\n", 1, 0, "", ""},
        {"a type line in another letter case", kHeaderLines + "TYPE=\"TRU\"\r\nsn=\"1\"\r\n",
         rc::kUnreadableAnswer, 0, "", ""},
        {"a selection claiming the bits of absent keys", tru + "sn=\"S-1\"\r\nselection=\"4294967295\"\r\n", 1,
         0x2, "S-1", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(Read(c.text), c.result);
        if (c.result != 1) continue;
        EXPECT_EQ(p_->Instrument().selection, c.selection);
        EXPECT_EQ(p_->Instrument().serialNumber, c.sn);
        EXPECT_EQ(p_->Instrument().config, c.config);
    }
}

// The trait's set sends only its low byte: a wider value would restore as
// some other trait.
TEST_F(SettingsFileHostile, ATraitNoCaptureCanHoldIsNotRestored) {
    struct Case {
        const char* line;
        std::uint32_t bits;  // restored
    };
    const Case cases[] = {
        {"trait=\"-1\"", 0},
        {"trait=\"-2147483648\"", 0},
        {"trait=\"16640\"", 0},  // 0x4100
        {"trait=\"1639\"", 0},   // 0x667: bits between the byte and the known bit
        {"trait=\"16639\"", req::kTrait},
        {"trait=\"0\"", req::kTrait},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        WriteFile(path_, kHeaderLines + "type=\"Rv70\"\r\n" + c.line + "\r\n");
        auto p = ConnectedTo(DeviceType::kRv70);
        ASSERT_EQ(p->ReadInfoFile(path_.c_str()), 1);
        EXPECT_EQ(p->CapturedSelection(), c.bits);
        if (!c.bits) {
            EXPECT_EQ(p->LoggerSettingsRecord().trait, 0u);
        }
    }
}

TEST_F(SettingsFileHostile, AFileLargerThanAnyWeWriteIsRefusedUnread) {
    std::string path = dir_.File("huge.txt");
    WriteFile(path, kHeaderLines + "type=\"TRU\"\r\nsn=\"S\"\r\n");
    std::filesystem::resize_file(path, 50u * 1024 * 1024);  // sparse: no 50 MB written
    auto p = ConnectedTo(DeviceType::kTru);
    EXPECT_EQ(p->ReadInfoFile(path.c_str()), rc::kSettingsFileTooLarge);
    EXPECT_EQ(p->Instrument().serialNumber, "");

    // The limit itself is still read.
    std::filesystem::resize_file(path, settingsfile::kMaxFileBytes);
    EXPECT_EQ(p->ReadInfoFile(path.c_str()), 1);
    EXPECT_EQ(p->Instrument().serialNumber, "S");
    std::filesystem::resize_file(path, settingsfile::kMaxFileBytes + 1);
    EXPECT_EQ(p->ReadInfoFile(path.c_str()), rc::kSettingsFileTooLarge);
}

TEST_F(SettingsFileHostile, RecordListsStopAtAHundredAndAtTheFirstBadValue) {
    std::string text = kHeaderLines + "type=\"DM9\"\r\n";
    for (int i = 0; i < 150; ++i) text += "eqn" + std::to_string(100 + i).substr(1) + "=\"e" + std::to_string(i) + "\"\r\n";
    text += "user00=\"u0\"\r\nuser01=\"" + std::string(101, 'u') + "\"\r\nuser02=\"u2\"\r\n";
    text += "selection=\"402653184\"\r\n";  // both record bits
    WriteFile(path_, text);
    auto p = ConnectedTo(DeviceType::kDm9);
    ASSERT_EQ(p->ReadInfoFile(path_.c_str()), 1);
    EXPECT_EQ(p->EquationRecords().count, 100);
    EXPECT_EQ(p->EquationRecords().records[99].value, "e99");
    EXPECT_EQ(p->UserRecords().count, 1);  // a value longer than its field ends the list
    EXPECT_EQ(p->Instrument().selection, inst::kEqnRecords | inst::kUserRecords);
}

TEST(SettingsFileRecords, GetRecordsFileRefusesAnUnknownKindAndReplacesTheSet) {
    auto p = ConnectedTo(DeviceType::kDm9);
    RecordSet set;
    EXPECT_EQ(p->GetRecords_File(&set, 3, "user00=\"a\"\r\n"), rc::kOutOfRange);
    set.records = std::make_unique<Record[]>(5);
    set.count = 5;
    EXPECT_EQ(p->GetRecords_File(&set, kUserRecordKind, "x=\"1\"\r\n"), 0);
    EXPECT_EQ(set.count, 0);
    EXPECT_FALSE(set.HasArray());
    EXPECT_EQ(p->GetRecords_File(&set, kUserRecordKind, "user00=\"a\"\r\nuser01=\"\"\r\nuser02=\"c\"\r\n"), 1);
    EXPECT_EQ(set.count, 1);
    EXPECT_EQ(set.records[0].value, "a");
}

TEST(SettingsFileErrors, ReadInfoFileTellsWhyItCouldNotRead) {
    TempDir dir;
    std::string good = dir.File("dm9.txt");
    WriteFile(good, kHeaderLines + "type=\"DM9\"\r\nsn=\"D\"\r\n");

    auto tru = ConnectedTo(DeviceType::kTru);
    EXPECT_EQ(tru->ReadInfoFile(nullptr), rc::kMissingArgument);
    EXPECT_EQ(tru->ReadInfoFile(""), rc::kMissingArgument);
    EXPECT_EQ(tru->ReadInfoFile(dir.File("none.txt").c_str()), rc::kSettingsFileMissing);
    EXPECT_EQ(tru->ReadInfoFile(good.c_str()), rc::kUnreadableAnswer);  // a DM9's file, a TRU connected
    EXPECT_EQ(tru->Instrument().serialNumber, "");
    EXPECT_EQ(tru->ReadInfoFile(dir.Path().c_str()), rc::kSettingsFileUnreadable);  // a folder

    for (DeviceType t : {DeviceType::kUnknown, DeviceType::kRv7, DeviceType::kWk}) {
        SCOPED_TRACE(DeviceTypeCode(t));
        EXPECT_EQ(ConnectedTo(t)->ReadInfoFile(good.c_str()), rc::kNotForThisDevice);
    }
    EXPECT_EQ(ConnectedTo(DeviceType::kPlothub)->ReadInfoFile(good.c_str()), rc::kUnreadableAnswer);
    EXPECT_EQ(ConnectedTo(DeviceType::kDm9)->ReadInfoFile(good.c_str()), 1);
}

TEST(SettingsFileErrors, AFileWithoutReadPermissionIsAccessDenied) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
    TempDir dir;
    std::string path = dir.File("locked.txt");
    WriteFile(path, kHeaderLines + "type=\"TRU\"\r\n");
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    EXPECT_EQ(ConnectedTo(DeviceType::kTru)->ReadInfoFile(path.c_str()), rc::kSettingsFileUnreadable);
}

}  // namespace
}  // namespace quor::testing
