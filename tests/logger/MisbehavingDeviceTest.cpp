// Loggers and radio modules that misbehave as real ones do: CR LF line ends,
// a "show" without its labels, refused radio settings, a set lost during a
// restore, numbers out of range.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "LoggerFixture.h"
#include "sim/core/ScriptedDevice.h"

namespace quor {
namespace {

using sim::SimLoggerKind;
using testing::LoggerBench;

class Misbehaving : public LoggerBench {
protected:
    ResultCode Connect() {
        ConnectionParams p = Params(kLinkSerial);
        return proto.ConnectDevice(&p);
    }
};

TEST_F(Misbehaving, OldFirmwareRestoreWithALostSetSendsTheCallersValues) {
    sim::LoggerModel& logger = SerialLogger(SimLoggerKind::kOldRv7);
    ASSERT_EQ(Connect(), 1);
    LoggerSettings captured;
    std::uint32_t request = 0x251;  // name, wake, PADC, rmode
    ASSERT_EQ(proto.DeviceSettings(&captured, &request, 0), 1);
    const sim::SettingsStore before = logger.Store();

    // The update reset the logger; the first wake set is lost in all its
    // attempts, so the restore logs in again, which reads "show" (the
    // factory wake and rmode) on the way.
    logger.ResetSettings();
    logger.MissCommands("set -w ", 3);
    request = captured.validMask;
    EXPECT_EQ(proto.DeviceSettings(&captured, &request, 1), 1);
    EXPECT_TRUE(Logged("******: DeviceSettings re-connected to device"));
    EXPECT_EQ(HostWritesStartingWith("show"), 2);  // the capture's and the re-login's
    EXPECT_EQ(HostWritesStartingWith("set -w 60\r"), 4);
    EXPECT_EQ(HostWritesStartingWith("set -w 30\r"), 0);
    EXPECT_EQ(logger.Store(), before);
    // Ours holds what was written, so a later erase checks the right name.
    EXPECT_EQ(proto.Settings().deviceName, "OLDRV7");
    EXPECT_EQ(proto.Settings().wakeInterval, 60);
    EXPECT_EQ(proto.Settings().rmode, 1);
}

TEST_F(Misbehaving, ShowWithoutItsLabelsIsUnreadableAndErasesNothing) {
    sim::LoggerModel& logger = SerialLogger(SimLoggerKind::kOldRv7);
    ASSERT_EQ(Connect(), 1);
    logger.SetShowText("\rAQVEN data logger\rready\r>");
    EXPECT_EQ(proto.ParseShowCommand(nullptr), -30);
    EXPECT_EQ(proto.Settings().firmwareVersion, -1);
    EXPECT_TRUE(Logged("ParseShowCommand failed with errors -30 and 0"));

    LoggerSettings s;
    std::uint32_t request = 0x211;
    EXPECT_EQ(proto.DeviceSettings(&s, &request, 0), -35);
    EXPECT_EQ(request & 0x211u, 0u);
    EXPECT_TRUE(s.deviceName.empty());
    EXPECT_EQ(s.validMask & 0x1u, 0u);

    // The empty captured name never matches the empty name heard.
    EXPECT_EQ(proto.EraseData(), -37);
    EXPECT_EQ(HostWritesStartingWith("yes"), 0);
    EXPECT_EQ(logger.Erases(), 0);
}

TEST_F(Misbehaving, ShowWithoutAnIdLineErasesNothing) {
    sim::LoggerModel& logger = SerialLogger(SimLoggerKind::kOldRv7);
    ASSERT_EQ(Connect(), 1);
    logger.SetShowText("\rVersion: 1.65\rRadio: 1\rWake: 60\rResets: 3\r>");
    LoggerSettings s;
    std::uint32_t request = 0x1;
    EXPECT_EQ(proto.DeviceSettings(&s, &request, 0), 1);  // a missing label is no error
    EXPECT_TRUE(s.deviceName.empty());
    EXPECT_EQ(proto.EraseData(), -37);
    EXPECT_EQ(HostWritesStartingWith("yes"), 0);
    EXPECT_TRUE(Logged("EraseData: Identity mismatch. Class: , Device: "));
}

TEST_F(Misbehaving, ShowNameIsReadOnItsOwnLine) {
    sim::LoggerModel& logger = SerialLogger(SimLoggerKind::kOldRv7);
    ASSERT_EQ(Connect(), 1);
    logger.Store()["i"] = "";  // "ID: " with nothing after it
    EXPECT_EQ(proto.ParseShowCommand(nullptr), -30);
    EXPECT_TRUE(proto.Settings().deviceName.empty());  // not the next label's "Version:"
    FixedText<8> heard;
    EXPECT_EQ(proto.ParseShowCommand(&heard), -30);
}

TEST_F(Misbehaving, RefusedRadioSettingFailsTheConfiguration) {
    struct Case {
        bool refuseChannel;
        bool refuseSubchannel;
        ResultCode result;
        std::uint32_t bits;
    };
    const Case cases[] = {
        {true, false, -35, 0x800},
        {false, true, -35, 0x400},
        {true, true, -34, 0},
        {false, false, 1, 0xC00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        sim::SimWorld bench;
        sim::LoggerModel far(SimLoggerKind::kRv70);
        sim::Zt4RadioModel radio(far);
        bench.AddDevice("SIM2", radio);
        radio.Module().refuseChannel = c.refuseChannel;
        radio.Module().refuseSubchannel = c.refuseSubchannel;
        AQVEN_Protocol p(&log);
        ASSERT_EQ(p.DSOpen("SIM2", 9600), 1);
        std::int32_t ch = 4, sch = 0x77;
        std::uint32_t bits = 0xC00;
        EXPECT_EQ(p.Zt4Config(&ch, &sch, nullptr, 1, &bits), c.result);
        EXPECT_EQ(bits, c.bits);
        EXPECT_EQ(radio.Module().saves, 1);  // the good save does not undo the refusal
        EXPECT_FALSE(radio.Module().CommandMode());
    }
}

TEST_F(Misbehaving, ConnectStopsWhenTheModuleRefusesTheChannel) {
    sim::LoggerModel& logger = RadioLogger(SimLoggerKind::kRv70);
    // Both refused and nothing set: the save still answers OK.
    Radio().Module().refuseChannel = true;
    Radio().Module().refuseSubchannel = true;
    ConnectionParams p = Params(kLinkRadio);
    p.programRadio = true;
    p.radioChannel = 4;
    p.radioSubchannel = 0x77;
    p.deviceName = "RV70A";
    EXPECT_EQ(proto.ConnectDevice(&p), -23);
    EXPECT_EQ(HostWritesStartingWith("login"), 0);
    EXPECT_EQ(HostWritesStartingWith("\rquery"), 0);
    EXPECT_FALSE(logger.LoggedIn());
    EXPECT_FALSE(Link().HostOpen());
    EXPECT_TRUE(Radio().InTune());  // a logger sits on the old channel, and stays unreached
}

TEST_F(Misbehaving, RadioValuesOutOfRangeAreNeverSent) {
    RadioLogger(SimLoggerKind::kRv70);
    ASSERT_EQ(proto.DSOpen("SIM1", 9600), 1);
    const std::int32_t channels[][2] = {{7, 0}, {-1, 0}, {0, 0x10000}, {0, -2147483647 - 1}};
    for (const auto& v : channels) {
        std::int32_t ch = v[0], sch = v[1];
        std::uint32_t bits = 0xC00;
        EXPECT_EQ(proto.Zt4Config(&ch, &sch, nullptr, 1, &bits), -11) << v[0] << " " << v[1];
        EXPECT_EQ(bits, 0u);
    }
    EXPECT_TRUE(Link().HostWrites().empty());
}

TEST_F(Misbehaving, CrLfLoggerCapturesAndRestoresCleanValues) {
    for (SimLoggerKind kind : {SimLoggerKind::kRv70, SimLoggerKind::kOldRv7}) {
        SCOPED_TRACE(static_cast<int>(kind));
        sim::SimWorld bench;
        sim::LoggerModel logger(kind);
        logger.SetCrLf(true);
        bench.AddDevice("SIM2", logger);
        AQVEN_Protocol p(&log);
        ConnectionParams params = Params(kLinkSerial, 5);
        params.portName = "SIM2";
        ASSERT_EQ(p.ConnectDevice(&params), 1);
        LoggerSettings s;
        std::uint32_t request = kind == SimLoggerKind::kRv70 ? 0xFFFFFFFu : 0x255u;
        EXPECT_EQ(p.DeviceSettings(&s, &request, 0), 1);
        if (kind == SimLoggerKind::kRv70) {
            EXPECT_EQ(s.versionText, "Rv70 2.05");
            EXPECT_EQ(s.firmwareVersion, 205);
            EXPECT_EQ(s.deviceName, "RV70A");
            EXPECT_EQ(s.serialNumber, "R70-000123");
            EXPECT_EQ(s.site, "North Field");
            EXPECT_EQ(s.remoteHost, "data.example.com");
            EXPECT_EQ(s.quorBuild, "B2020-05");
            EXPECT_EQ(s.radioVersion, "2A1F");
            EXPECT_EQ(logger.Baud(), 57600u);
        } else {
            EXPECT_EQ(s.versionText, "1.65");
            EXPECT_EQ(s.deviceName, "OLDRV7");
            EXPECT_EQ(s.wakeInterval, 60);
        }
        for (const char* text : {s.deviceName.c_str(), s.versionText.c_str(), s.serialNumber.c_str(), s.site.c_str(),
                                 s.quorBuild.c_str(), s.apn.c_str(), s.remoteHost.c_str(), s.deviceId.c_str()}) {
            EXPECT_EQ(std::string(text).find_first_of("\r\n"), std::string::npos) << text;
        }
        const sim::SettingsStore before = logger.Store();
        logger.ResetSettings();
        request = s.validMask & ~0x1004u;  // not the version, not the radio version
        EXPECT_EQ(p.DeviceSettings(&s, &request, 1), 1);
        EXPECT_EQ(logger.Store(), before);
        EXPECT_EQ(p.EraseData(), 1);
    }
}

// Each out-of-range answer leaves the setting unread and its value alone.
TEST_F(Misbehaving, OutOfRangeNumbersAreUnreadable) {
    struct Case {
        const char* key;
        const char* stored;
        std::uint32_t bit;
    };
    const Case cases[] = {
        {"w", "99999999999999999999", 0x10},
        {"w", "-5", 0x10},
        {"padc", "2147483648", 0x40},
        {"data", "-2147483649", 0x100},
        {"report", "99999999999999999999", 0x1000000},
        {"tz", "97", 0x20000},
        {"ipport", "65536", 0x800000},
        {"r", "99999999999", 0x200},
        {"ports", "1 2 3 4 99999999999", 0x20},
        {"depth", "-1 2 3 4 5", 0x2000},
        {"lat", "1e300", 0x8000},
        {"lat", "-90.5", 0x8000},
        {"lat", "nan", 0x8000},
        {"long", "inf", 0x10000},
        {"long", "180.00001", 0x10000},
        {"adc30", "101 11 102 12 103 13 104 14 105 15 99999999999", 0x2000000},
        {"rch", "FFFFFFFFFFFFFFFFFF", 0x400},
        {"rsch", "-1", 0x800},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " " + c.stored);
        sim::SimWorld bench;
        sim::LoggerModel logger(SimLoggerKind::kRv70);
        logger.Store()[c.key] = c.stored;
        bench.AddDevice("SIM2", logger);
        AQVEN_Protocol p(nullptr);
        ConnectionParams params = Params(kLinkSerial);
        params.portName = "SIM2";
        ASSERT_EQ(p.ConnectDevice(&params), 1);
        LoggerSettings s;
        std::uint32_t request = 0x7FFEFFF;
        EXPECT_EQ(p.DeviceSettings(&s, &request, 0), -35);
        EXPECT_EQ(request & c.bit, 0u);
        EXPECT_EQ(request | c.bit, 0x7FFEFFFu);  // everything else was read
        const LoggerSettings fresh;
        EXPECT_EQ(s.wakeInterval == fresh.wakeInterval, c.bit == 0x10);
        EXPECT_TRUE(std::isfinite(s.latitude) && std::fabs(s.latitude) <= 90);
        EXPECT_TRUE(std::isfinite(s.longitude) && std::fabs(s.longitude) <= 180);
        EXPECT_LE(s.radioChannel, 6);
        EXPECT_GE(s.radioSubchannel, 0);
    }
}

TEST_F(Misbehaving, OutOfRangeIdentityAndClockNumbers) {
    // A version whose number cannot be held.
    {
        sim::LoggerProfile profile = sim::ProfileFor(SimLoggerKind::kRv70);
        profile.versionLine = "Rv70 99999999.11";
        sim::SimWorld bench;
        sim::LoggerModel logger(profile);
        bench.AddDevice("SIM2", logger);
        AQVEN_Protocol p(nullptr);
        ASSERT_EQ(p.DSOpen("SIM2", 9600), 1);
        EXPECT_EQ(p.VerCommand(true), -30);
        EXPECT_EQ(p.Settings().firmwareVersion, 0);
        EXPECT_EQ(p.Settings().kind, kKindUnknown);
    }
    // The same in "show", and its other numbers.
    const char* shows[] = {
        "\rID: OLDRV7\rVersion: 99999999.11\rRadio: 1\rWake: 60\rResets: 3\r>",
        "\rID: OLDRV7\rVersion: 1.65\rRadio: 99999999999\rWake: 60\rResets: 3\r>",
        "\rID: OLDRV7\rVersion: 1.65\rRadio: 1\rWake: -2147483648\rResets: 3\r>",
        "\rID: OLDRV7\rVersion: 1.65\rRadio: 1\rWake: 60\rResets: 99999999999999999999\r>",
    };
    for (const char* show : shows) {
        SCOPED_TRACE(show);
        sim::SimWorld bench;
        sim::LoggerModel logger(SimLoggerKind::kOldRv7);
        bench.AddDevice("SIM2", logger);
        AQVEN_Protocol p(nullptr);
        ConnectionParams params = Params(kLinkSerial);
        params.portName = "SIM2";
        ASSERT_EQ(p.ConnectDevice(&params), 1);
        logger.SetShowText(show);
        EXPECT_EQ(p.ParseShowCommand(nullptr), -30);
        EXPECT_EQ(p.Settings().wakeInterval, -1);
        EXPECT_EQ(p.Settings().firmwareVersion, -1);
    }
    // A trait byte out of range, and a date that cannot be one.
    sim::LoggerModel& logger = SerialLogger(SimLoggerKind::kRv70);
    ASSERT_EQ(Connect(), 1);
    for (const char* trait : {"300", "-2147483648", "99999999999"}) {
        logger.Store()["trait"] = trait;
        std::uint32_t t = 0;
        EXPECT_EQ(proto.TraitCommand(&t, 0), -30) << trait;
        EXPECT_EQ(t, 0u);
    }
    proto.MutableSettings().capabilities &= ~cap::kQuorSeconds;
    auto owned = std::make_unique<sim::ScriptedDevice>();  // the world keeps it past the port
    sim::ScriptedDevice& clock = *owned;
    world.AddDevice("SIM3", std::move(owned));
    AQVEN_Protocol p(nullptr);
    ASSERT_EQ(p.DSOpen("SIM3", 9600), 1);
    p.MutableSettings() = proto.Settings();
    for (const char* date : {"\rDate\\Time: -2147483648-1-1 0:00:00\r>", "\rDate\\Time: 2017-13-1 0:00:00\r>",
                             "\rDate\\Time: 2017-5-4 99999999999:00:00\r>", "\rDate\\Time: 1999-12-31 23:59:59\r>"}) {
        clock.On("get -t", date);
        std::int32_t v = 0;
        EXPECT_EQ(p.DeviceTime(&v, 0), -30) << date;
        EXPECT_EQ(v, -1);
    }
    p.MutableSettings().capabilities |= cap::kQuorSeconds;
    for (const char* seconds : {"\r99999999999999999999\r>", "\r-1\r>", "\r2147483648\r>"}) {
        clock.On("get -sec", seconds);
        std::int32_t v = 0;
        EXPECT_EQ(p.DeviceTime(&v, 0), -30) << seconds;
        EXPECT_EQ(v, -1);
    }
}

TEST_F(Misbehaving, SetsThatCannotBeSentAreRefusedUnsent) {
    sim::LoggerModel& logger = SerialLogger(SimLoggerKind::kRv70);
    ASSERT_EQ(Connect(), 1);
    LoggerSettings s;
    std::uint32_t request = 0x8;
    ASSERT_EQ(proto.DeviceSettings(&s, &request, 0), 1);
    const std::size_t writes = Link().HostWrites().size();
    for (double lat : {1e300, -90.00001, std::nan(""), HUGE_VAL}) {
        double v = lat;
        EXPECT_EQ(proto.LatitudeCommand(&v, 1), -11) << lat;
    }
    for (double lon : {-1e300, 180.5}) {
        double v = lon;
        EXPECT_EQ(proto.LongitudeCommand(&v, 1), -11) << lon;
    }
    std::int32_t tz = 97, port = 70000, wake = -1;
    EXPECT_EQ(proto.TimeZoneCommand(&tz, 1), -11);
    EXPECT_EQ(proto.IPPortCommand(&port, 1), -11);
    EXPECT_EQ(proto.WakeCommand(&wake, 1), -11);
    // A text with a line end in it would be two commands.
    FixedText<25> site = "North\rset -i EVIL";
    EXPECT_EQ(proto.SiteCommand(&site, 1), -11);
    std::int32_t seconds = -5;
    EXPECT_EQ(proto.DeviceTime(&seconds, 1), -11);
    EXPECT_EQ(Link().HostWrites().size(), writes);
    EXPECT_EQ(logger.Store()["lat"], "+45.12345");
    EXPECT_TRUE(Logged("LatitudeCommand failed with error -11"));

    // A whole restore: the out-of-range latitude fails alone.
    s.latitude = 1e300;
    request = 0x8000 | 0x4000;
    EXPECT_EQ(proto.DeviceSettings(&s, &request, 1), -35);
    EXPECT_EQ(request, 0x4000u);
    EXPECT_EQ(HostWritesStartingWith("set -lat"), 0);
}

TEST_F(Misbehaving, CancelledCaptureHandsBackWhatWasRead) {
    SerialLogger(SimLoggerKind::kRv70);
    ASSERT_EQ(Connect(), 1);
    ProtocolConfig c;
    c.progressReporting = true;
    ASSERT_EQ(proto.Configure(&c, 1), 1);
    int calls = 0;
    proto.SetProgressHook([&](std::uint32_t, std::uint32_t, int phase) { return phase != 1 || ++calls <= 2; });
    LoggerSettings s;
    std::uint32_t request = 0x1 | 0x80 | 0x1000000 | 0x2000;  // name, device ID, report, depths
    EXPECT_EQ(proto.DeviceSettings(&s, &request, 0), -40);
    // The version was known, name and device ID were read, then the cancel.
    EXPECT_EQ(request, 0x4u | 0x1u | 0x80u);
    EXPECT_EQ(s.deviceName, "RV70A");
    EXPECT_EQ(s.deviceId, "D0001");
    EXPECT_EQ(s.validMask & 0x1000000u, 0u);
    EXPECT_EQ(s.validMask & 0x85u, 0x85u);
    EXPECT_EQ(s.kind, kKindRv70);
    EXPECT_TRUE(Logged("DeviceSettings canceled by user after getting 2 of 4 settings"));
}

}  // namespace
}  // namespace quor
