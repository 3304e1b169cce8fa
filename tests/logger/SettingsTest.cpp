#include <gtest/gtest.h>

#include <string>

#include "LoggerFixture.h"

namespace quor {
namespace {

using sim::SimLoggerKind;
using testing::LoggerBench;
using testing::ScopedZone;

class Settings : public LoggerBench {
protected:
    ResultCode Connect(std::uint8_t link) {
        ConnectionParams p = Params(link);
        return proto.ConnectDevice(&p);
    }
};

TEST_F(Settings, CaptureAndRestoreOverASerialLink) {
    struct Case {
        SimLoggerKind kind;
        std::uint32_t request;
        std::uint32_t doneOnGet;  // the trait is read too where radio values are asked
        std::uint32_t doneOnSet;
        ResultCode setResult;
        const char* notRequested;  // a setting the request leaves out, or null
    };
    const Case cases[] = {
        // The version is the firmware's own: a set leaves it alone.
        {SimLoggerKind::kRv70, 0x7FFEFFF, 0x7FFEFFF, 0x7FFEFFF & ~0x4u, 1, "build"},
        // kL3: rmode is fixed, the radio version cannot be written.
        {SimLoggerKind::kKL3, 0x703FFFF, 0x703FFFF, 0x703FFFF & ~0x1004u, 1, nullptr},
        {SimLoggerKind::kRv7b, 0x8000077, 0x8000077, 0x8000077 & ~0x4u, 1, nullptr},
        // A Corvalink's trait is worked out, and it cannot be set.
        {SimLoggerKind::kCorvalink, 0xD07, 0xD0F, 0xD0F & ~0xCu, -35, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        sim::SimWorld bench;
        sim::LoggerModel logger(c.kind);
        bench.AddDevice("SIM1", logger);
        AQVEN_Protocol p(&log);
        ConnectionParams params = Params(kLinkSerial);
        ASSERT_EQ(p.ConnectDevice(&params), 1);

        const sim::SettingsStore before = logger.Store();
        LoggerSettings captured;
        std::uint32_t request = c.request;
        EXPECT_EQ(p.DeviceSettings(&captured, &request, 0), 1);
        EXPECT_EQ(request, c.doneOnGet);
        EXPECT_EQ(captured.validMask & c.doneOnGet, c.doneOnGet);

        logger.ResetSettings();
        if (c.notRequested) logger.Store()[c.notRequested] = before.at(c.notRequested);
        ASSERT_NE(logger.Store(), before);
        request = captured.validMask;
        EXPECT_EQ(p.DeviceSettings(&captured, &request, 1), c.setResult);
        EXPECT_EQ(request, c.doneOnSet);
        EXPECT_EQ(logger.Store(), before);  // nothing lost, nothing changed
        EXPECT_EQ(p.DisconnectDevice(false), 1);
    }
}

TEST_F(Settings, CapturedValuesLandInTheRecord) {
    SerialLogger(SimLoggerKind::kRv70);
    ASSERT_EQ(Connect(kLinkSerial), 1);
    LoggerSettings s;
    std::uint32_t request = 0x7FFEFFF;
    ASSERT_EQ(proto.DeviceSettings(&s, &request, 0), 1);
    EXPECT_EQ(s.deviceName, "RV70A");
    EXPECT_EQ(s.serialNumber, "R70-000123");
    EXPECT_EQ(s.wakeInterval, 900);
    EXPECT_EQ(s.padc, 1000);
    EXPECT_TRUE(Logged("PADCCommand found device PADC 1000 Hz ("));
    EXPECT_EQ(s.ports[4], 5);
    EXPECT_EQ(s.depths[0], 10);
    EXPECT_EQ(s.site, "North Field");
    EXPECT_DOUBLE_EQ(s.latitude, 45.12345);
    EXPECT_DOUBLE_EQ(s.longitude, -122.54321);
    EXPECT_EQ(s.timeZone, -32);
    EXPECT_EQ(s.trait, 0x4009u);
    EXPECT_EQ(s.radioChannel, 3);
    EXPECT_EQ(s.radioSubchannel, 0x1A2B);
    EXPECT_EQ(s.apn, "internet.example");
    EXPECT_EQ(s.authKey, "0123456789ABCDEF0123456789ABCDEF");
    EXPECT_EQ(s.remoteHost, "data.example.com");
    EXPECT_EQ(s.ipPort, 5050);
    EXPECT_EQ(s.adc30Slopes[0], 101);
    EXPECT_EQ(s.adc15Offsets[4], 25);
    EXPECT_TRUE(Logged("ADCcalCommand found (valid) -adc30 101 11 102 12 103 13 104 14 105 15"));
}

TEST_F(Settings, CaptureAndRestoreOverTheRadio) {
    sim::LoggerModel& logger = RadioLogger(SimLoggerKind::kRv70);
    Radio().Module().channel = 0;
    ConnectionParams p = Params(kLinkRadio);
    p.deviceName = "RV70A";
    ASSERT_EQ(proto.ConnectDevice(&p), 1);
    const sim::SettingsStore before = logger.Store();
    LoggerSettings captured;
    std::uint32_t request = 0x7FFEFFF;
    EXPECT_EQ(proto.DeviceSettings(&captured, &request, 0), 1);
    EXPECT_EQ(request, 0x7FFEFFFu);
    // Over the radio the channel is the module's own; the trait is emulated.
    EXPECT_EQ(captured.radioChannel, 0);
    EXPECT_TRUE(Logged("MSRadioCommand asked the Zt4 and found the RCH is 0 and RSCH is 0 (can't get RVER)"));
    logger.ResetSettings();
    logger.Store()["build"] = before.at("build");  // not part of the request
    // Radio values cannot be set over the radio.
    request = captured.validMask & ~0x1C00u;
    EXPECT_EQ(proto.DeviceSettings(&captured, &request, 1), 1);
    sim::SettingsStore expected = before;
    expected["rch"] = "0";  // as the reset left them
    expected["rsch"] = "0";
    EXPECT_EQ(logger.Store(), expected);

    std::uint32_t radio = 0x400;
    EXPECT_EQ(proto.DeviceSettings(&captured, &radio, 1), -35);
    EXPECT_TRUE(Logged("MSRadioCommand can't set radio parameters while connected over the radio"));
}

TEST_F(Settings, EmptyRequestRunsOnlyTheVersion) {
    SerialLogger(SimLoggerKind::kRv70);
    ASSERT_EQ(proto.DSOpen("SIM1", 9600), 1);
    LoggerSettings s;
    std::uint32_t request = 0;
    EXPECT_EQ(proto.DeviceSettings(&s, &request, 0), 1);
    EXPECT_EQ(request, 0x4u);
    EXPECT_EQ(s.kind, kKindRv70);
    EXPECT_EQ(Link().HostWrites().size(), 1u);
}

TEST_F(Settings, AFailedIdentificationIsAskedAgainNotTakenAsRead) {
    SerialLogger(SimLoggerKind::kRv70);
    ASSERT_EQ(proto.DSOpen("SIM1", 9600), 1);
    proto.MutableSettings().firmwareVersion = -1;  // what a failed identification leaves
    LoggerSettings s;
    std::uint32_t request = 0;
    EXPECT_EQ(proto.DeviceSettings(&s, &request, 0), 1);
    EXPECT_EQ(Link().HostWrites().size(), 1u);  // the version query went out
    EXPECT_GT(s.firmwareVersion, 0);
    EXPECT_EQ(s.kind, kKindRv70);
}

TEST_F(Settings, RadioRequestReadsTheTraitFirst) {
    SerialLogger(SimLoggerKind::kKL3);
    ASSERT_EQ(Connect(kLinkSerial), 1);
    LoggerSettings s;
    std::uint32_t request = 0x400;
    EXPECT_EQ(proto.DeviceSettings(&s, &request, 0), 1);
    EXPECT_EQ(request, 0x40Cu);
    EXPECT_EQ(s.radioChannel, 5);
}

TEST_F(Settings, OldFirmwareRv7ThroughShowAndItsRadioModule) {
    sim::LoggerModel& logger = SerialLogger(SimLoggerKind::kOldRv7);
    logger.OwnRadio().channel = 2;
    logger.OwnRadio().subchannel = 0x33;
    ASSERT_EQ(Connect(kLinkSerial), 1);
    LoggerSettings s;
    std::uint32_t request = 0x1E55;
    EXPECT_EQ(proto.DeviceSettings(&s, &request, 0), 1);
    EXPECT_EQ(request, 0x1E5Du);
    EXPECT_EQ(s.padc, 1200);
    EXPECT_EQ(s.radioChannel, 2);
    EXPECT_EQ(s.radioSubchannel, 0x33);
    EXPECT_EQ(s.radioVersion, "1A2B");
    EXPECT_EQ(s.trait, 0x4001u);

    const sim::SettingsStore before = logger.Store();
    logger.ResetSettings();
    logger.OwnRadio().channel = 0;
    s.radioChannel = 4;
    request = s.validMask & ~0x8u;  // an old Rv7's trait cannot be set
    EXPECT_EQ(proto.DeviceSettings(&s, &request, 1), 1);
    EXPECT_EQ(logger.Store(), before);
    EXPECT_EQ(logger.OwnRadio().channel, 4);
    EXPECT_EQ(logger.OwnRadio().saves, 1);
}

TEST_F(Settings, SilenceMidwayOnSerialLogsInAgainAndAsksAgain) {
    sim::LoggerModel& logger = SerialLogger(SimLoggerKind::kRv70);
    ASSERT_EQ(Connect(kLinkSerial), 1);
    logger.SilenceAfterCommands(3, 6300);  // past the whole failed command, into the re-login
    LoggerSettings s;
    std::uint32_t request = 0x7FFEFFF;
    EXPECT_EQ(proto.DeviceSettings(&s, &request, 0), 1);
    EXPECT_EQ(request, 0x7FFEFFFu);
    EXPECT_TRUE(Logged("******: DeviceSettings re-connected to device"));
    EXPECT_EQ(s.site, "North Field");
}

TEST_F(Settings, SilenceMidwayOverTheRadioEndsTheRun) {
    sim::LoggerModel& logger = RadioLogger(SimLoggerKind::kRv70);
    ConnectionParams p = Params(kLinkRadio);
    p.deviceName = "RV70A";
    ASSERT_EQ(proto.ConnectDevice(&p), 1);
    logger.SilenceAfterCommands(2, 600'000);
    LoggerSettings s;
    std::uint32_t request = 0x7FFEFFF;
    EXPECT_EQ(proto.DeviceSettings(&s, &request, 0), -21);
    EXPECT_NE(request, 0u);
    EXPECT_NE(request & 0x4u, 0u);
    EXPECT_FALSE(Logged("DeviceSettings re-connected"));
}

TEST_F(Settings, UninitialisedLoggerEndsTheRun) {
    sim::LoggerModel& logger = SerialLogger(SimLoggerKind::kRv70);
    logger.Store()["i"] = "";
    ASSERT_EQ(Connect(kLinkSerial), 1);
    LoggerSettings s;
    std::uint32_t request = 0x7;
    EXPECT_EQ(proto.DeviceSettings(&s, &request, 0), -36);
    EXPECT_EQ(request, 0x4u);
    EXPECT_EQ(HostWritesStartingWith("get -sn"), 0);
}

TEST_F(Settings, PerCommandRules) {
    sim::LoggerModel& logger = SerialLogger(SimLoggerKind::kRv70);
    ASSERT_EQ(Connect(kLinkSerial), 1);
    LoggerSettings s;
    std::uint32_t request = 0x8;
    ASSERT_EQ(proto.DeviceSettings(&s, &request, 0), 1);

    // Latitude 0 means "not set".
    double lat = 0;
    EXPECT_EQ(proto.LatitudeCommand(&lat, 1), 1);
    EXPECT_EQ(HostWritesStartingWith("set -lat \r"), 1);
    EXPECT_EQ(logger.Store()["lat"], "");
    lat = -1.5;
    EXPECT_EQ(proto.LatitudeCommand(&lat, 1), 1);
    EXPECT_EQ(logger.Store()["lat"], "-1.50000");

    // A time zone of -2 is the computer's, in quarter hours.
    {
        ScopedZone zone("UTC-1");  // one hour east of UTC, no daylight saving
        std::int32_t tz = -2;
        EXPECT_EQ(proto.TimeZoneCommand(&tz, 1), 1);
        EXPECT_EQ(tz, 4);
        EXPECT_EQ(logger.Store()["tz"], "4");
    }

    // The auth key is exactly 32 hexadecimal digits.
    FixedText<32> key = "0123456789ABCDEF0123456789ABCDE";
    const std::size_t writes = Link().HostWrites().size();
    EXPECT_EQ(proto.AuthKeyCommand(&key, 1), -11);
    std::int32_t negative = -5;
    EXPECT_EQ(proto.WakeCommand(&negative, 1), -11);
    EXPECT_EQ(Link().HostWrites().size(), writes);
    std::int32_t padc = 1500;
    EXPECT_EQ(proto.PADCCommand(&padc, 1), 1);
    EXPECT_EQ(logger.Store()["padc"], "1500");
    EXPECT_TRUE(Logged("PADCCommand set device PADC 1500 Hz ("));

    // Ports: all five are needed.
    logger.Store()["ports"] = "1 2 3";
    std::uint8_t ports[5] = {};
    EXPECT_EQ(proto.PortsCommand(ports, 0), -30);
    EXPECT_TRUE(Logged("PortsCommand only found 3 of 5 ports"));
    logger.Store()["ports"] = "1 2 3 4 999";
    EXPECT_EQ(proto.PortsCommand(ports, 0), 1);
    EXPECT_EQ(ports[4], 255);

    // An ADC calibration whose checksum does not add up.
    logger.Store()["adc30"] = "101 11 102 12 103 13 104 14 105 15 7";
    std::uint8_t slopes[5], offsets[5];
    EXPECT_EQ(proto.ADCcalCommand(1, slopes, offsets, 0), -1);
    EXPECT_TRUE(Logged("ADCcalCommand found (not valid) -adc30"));
    EXPECT_EQ(proto.ADCcalCommand(3, slopes, offsets, 0), -11);
    // The written checksum is the sum of the ten values mod 256.
    EXPECT_EQ(proto.ADCcalCommand(2, slopes, offsets, 1), 1);
    EXPECT_EQ(logger.Store()["adc15"], "101 11 102 12 103 13 104 14 105 15 68");

    // A rejected set passes the device's error on.
    FixedText<25> site = "x";
    logger.SetErrorAnswers(true);
    EXPECT_EQ(proto.SiteCommand(&site, 1), -34);
    EXPECT_TRUE(Logged("SiteCommand failed with error -34"));
    logger.SetErrorAnswers(false);

    // Names are checked before they are sent.
    FixedText<8> name = "A:B";
    EXPECT_EQ(proto.NameCommand(&name, 1), -51);
    EXPECT_TRUE(Logged("NameCommand: \"A:B\" is an illegal device name (error -51)"));
}

TEST_F(Settings, CellularCommandsNeedAnRv70WithAModem) {
    sim::LoggerModel& logger = SerialLogger(SimLoggerKind::kRv70);
    logger.Store()["trait"] = "254";  // a radio, no modem
    ASSERT_EQ(Connect(kLinkSerial), 1);
    FixedText<35> apn;
    EXPECT_EQ(proto.APNCommand(&apn, 0), -1);  // trait not known yet
    std::uint32_t request = 0x8;
    LoggerSettings s;
    ASSERT_EQ(proto.DeviceSettings(&s, &request, 0), 1);
    EXPECT_EQ(proto.APNCommand(&apn, 0), -1);
    EXPECT_EQ(HostWritesStartingWith("get -apn"), 0);
    logger.Store()["trait"] = "246";
    ASSERT_EQ(proto.TraitCommand(&proto.MutableSettings().trait, 0), 1);
    EXPECT_EQ(proto.APNCommand(&apn, 0), 1);
    EXPECT_EQ(apn, "internet.example");
}

TEST_F(Settings, AuthKeyFallsBackToTeakey) {
    sim::LoggerProfile profile = sim::ProfileFor(SimLoggerKind::kRv70);
    profile.authKeyAsTeakey = true;
    logger_ = std::make_unique<sim::LoggerModel>(profile);
    link_ = &world.AddDevice("SIM1", *logger_);
    ASSERT_EQ(Connect(kLinkSerial), 1);
    LoggerSettings s;
    std::uint32_t request = 0x400008;
    EXPECT_EQ(proto.DeviceSettings(&s, &request, 0), 1);
    EXPECT_EQ(s.authKey, "0123456789ABCDEF0123456789ABCDEF");
    EXPECT_TRUE(Logged("AuthKeyCommand found authkey (as teakey)"));
}

TEST_F(Settings, KL3RmodeIsFixedAndNeverAsked) {
    SerialLogger(SimLoggerKind::kKL3);
    ASSERT_EQ(Connect(kLinkSerial), 1);
    std::int32_t rmode = 0;
    EXPECT_EQ(proto.RmodeCommand(&rmode, 0), 1);
    EXPECT_EQ(rmode, 16);
    EXPECT_EQ(proto.RmodeCommand(&rmode, 1), 1);
    EXPECT_EQ(HostWritesStartingWith("get -r\r") + HostWritesStartingWith("set -r "), 0);
    EXPECT_TRUE(Logged("RmodeCommand found an kL3 that is always mode 16"));
}

TEST_F(Settings, RadioAnswersOnANewFirmwareLogger) {
    sim::LoggerModel& logger = SerialLogger(SimLoggerKind::kKL3);
    ASSERT_EQ(Connect(kLinkSerial), 1);
    std::int32_t ch = -1, sch = -1;
    FixedText<8> ver;
    // A channel above 6 is not taken.
    logger.Store()["rch"] = "7";
    std::uint32_t bits = 0x400;
    EXPECT_EQ(proto.MSRadioCommand(&ch, &sch, &ver, 0, &bits), -30);
    EXPECT_EQ(bits, 0u);
    EXPECT_EQ(ch, -1);
    EXPECT_TRUE(Logged("MSRadioCommand could not find rch"));
    // A version word beginning with 00 means no radio.
    logger.Store()["rver"] = "0012";
    bits = 0x1C00;
    EXPECT_EQ(proto.MSRadioCommand(&ch, &sch, &ver, 0, &bits), -45);
    EXPECT_EQ(bits, 0u);
    EXPECT_EQ(HostWritesStartingWith("get -rsch"), 0);
    EXPECT_TRUE(Logged("MSRadioCommand couldn't find a radio"));
    // Old firmware that is not an Rv7 has no way to its radio: nothing is
    // handled, so no bit may come back as done.
    proto.MutableSettings().newFirmware = 0;
    const std::size_t writes = Link().HostWrites().size();
    bits = 0xC00;
    EXPECT_EQ(proto.MSRadioCommand(&ch, &sch, &ver, 0, &bits), -21);
    EXPECT_EQ(bits, 0u);
    EXPECT_EQ(Link().HostWrites().size(), writes);
}

}  // namespace
}  // namespace quor
