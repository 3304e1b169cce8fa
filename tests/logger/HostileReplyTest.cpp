// Every get command against one table of hostile reply shapes: nothing
// overruns (the sanitizer build watches), nothing out of range is kept,
// nothing hangs (each command ends within a bound of virtual time).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "LoggerFixture.h"
#include "logger/ValueRanges.h"
#include "sim/core/ScriptedDevice.h"

namespace quor {
namespace {

struct Shape {
    const char* name;
    std::string reply;
};

std::string Repeat(const std::string& piece, int times) {
    std::string s;
    for (int i = 0; i < times; ++i) s += piece;
    return s;
}

const Shape kShapes[] = {
    {"2000 digits", "\r" + std::string(2000, '9') + "\r>"},
    {"2000 letters", "\r" + std::string(2000, 'A') + "\r>"},
    {"2000 characters, no carriage return, no prompt", std::string(2000, '7')},
    {"no carriage return", "12345>"},
    {"no line end, no prompt", "OK 2A1F"},
    {"NUL before the value", std::string("\r\0" "123\r>", 7)},
    {"NUL inside a number", std::string("\r12\0" "99999999999\r>", 16)},
    {"huge numbers", "\r" + Repeat("99999999999999999999 ", 11) + "\r>"},
    {"most negative numbers", "\r" + Repeat("-2147483648 ", 11) + "\r>"},
    {"just past 32 bits", "\r" + Repeat("2147483648 ", 11) + "\r>"},
    {"huge hexadecimal", "\rOK FFFFFFFFFFFFFFFFFFFF\r>"},
    {"reals out of range", "\r1e308 1e309 nan inf -inf\r>"},
    {"CR LF around a number", "\r\n4294967296\r\n>"},
    {"only line ends", "\r\n\r\n\r\n>"},
    {"2000 line feeds", std::string(2000, '\n') + ">"},
    {"show with numbers out of range",
     "\rID: ABCDEFGHIJKLMNOP\rVersion: 99999999.11\rRadio: 99999999999\rWake: -1\rResets: 1e99\r>"},
    {"version out of range", "\rRv70 99999999.11\r>"},
    {"version most negative", "\rRv70 -2147483648.11\r>"},
    {"date out of range", "\rDate\\Time: -2147483648-1-1 99999999999:0:0\r>"},
};

constexpr std::uint64_t kMostMsPerCommand = 300'000;

class HostileReplies : public testing::LoggerBench {
protected:
    void SetUp() override {
        // The world keeps the device, so that it outlives the port.
        auto owned = std::make_unique<sim::ScriptedDevice>();
        device = owned.get();
        world.AddDevice("SIM1", std::move(owned));
        ASSERT_EQ(proto.DSOpen("SIM1", 9600), 1);
    }

    // A current Rv70 with a cellular modem that claims every capability.
    void Identify(bool oldFirmware = false, bool quorSeconds = false) {
        LoggerSettings& s = proto.MutableSettings();
        s = LoggerSettings{};
        s.kind = kKindRv70;
        s.newFirmware = 1;
        s.firmwareVersion = 205;
        s.versionText = "Rv70 2.05";
        s.capabilities = ~(cap::kAdcOnePair | cap::kQuorSeconds);
        if (quorSeconds) s.capabilities |= cap::kQuorSeconds;
        s.trait = kTraitKnown | kTraitCellular | kTraitRadio;
        if (oldFirmware) {
            s.kind = kKindRv7;
            s.newFirmware = 0;
        }
    }

    sim::ScriptedDevice* device = nullptr;
};

void ExpectInRange(const LoggerSettings& s, const char* where) {
    SCOPED_TRACE(where);
    auto inRange = [](range::IntRange r, std::int64_t v) { return r.Holds(v); };
    EXPECT_TRUE(inRange(range::kWake, s.wakeInterval) || s.wakeInterval == -1) << s.wakeInterval;
    EXPECT_TRUE(inRange(range::kPadc, s.padc) || s.padc == -1) << s.padc;
    EXPECT_TRUE(inRange(range::kTimeZone, s.timeZone)) << s.timeZone;
    EXPECT_TRUE(inRange(range::kIpPort, s.ipPort)) << s.ipPort;
    EXPECT_TRUE(inRange(range::kRadioChannel, s.radioChannel)) << s.radioChannel;
    EXPECT_TRUE(inRange(range::kRadioSubchannel, s.radioSubchannel)) << s.radioSubchannel;
    EXPECT_TRUE(std::isfinite(s.latitude) && std::fabs(s.latitude) <= 90) << s.latitude;
    EXPECT_TRUE(std::isfinite(s.longitude) && std::fabs(s.longitude) <= 180) << s.longitude;
    EXPECT_EQ(s.trait & ~0x40FFu, 0u) << s.trait;
    EXPECT_GE(s.firmwareVersion, -1);
    for (const char* text : {s.deviceName.c_str(), s.deviceId.c_str(), s.serialNumber.c_str(), s.versionText.c_str(),
                             s.quorBuild.c_str(), s.site.c_str(), s.radioVersion.c_str(), s.apn.c_str(),
                             s.apnUser.c_str(), s.apnPassword.c_str(), s.authKey.c_str(), s.remoteHost.c_str()}) {
        EXPECT_EQ(std::string(text).find_first_of("\r\n"), std::string::npos) << text;
    }
}

TEST_F(HostileReplies, EveryGetCommandStaysInItsBounds) {
    using Command = std::function<ResultCode(LoggerSettings&)>;
    struct Get {
        const char* name;
        bool oldFirmware;
        bool quorSeconds;
        Command run;
    };
    std::int32_t seconds = 0;
    char raw[64] = {};
    const Get gets[] = {
        {"VerCommand", false, false,
         [&](LoggerSettings&) {
             proto.MutableSettings() = LoggerSettings{};  // not identified yet
             return proto.VerCommand(true);
         }},
        {"ParseShowCommand", true, false, [&](LoggerSettings&) { return proto.ParseShowCommand(nullptr); }},
        {"ParseShowCommand name", true, false,
         [&](LoggerSettings& r) { return proto.ParseShowCommand(&r.deviceName); }},
        {"NameCommand", false, false, [&](LoggerSettings& r) { return proto.NameCommand(&r.deviceName, 0); }},
        {"SNCommand", false, false, [&](LoggerSettings& r) { return proto.SNCommand(&r.serialNumber, 0); }},
        {"WakeCommand", false, false, [&](LoggerSettings& r) { return proto.WakeCommand(&r.wakeInterval, 0); }},
        {"WakeCommand old", true, false, [&](LoggerSettings& r) { return proto.WakeCommand(&r.wakeInterval, 0); }},
        {"PortsCommand", false, false, [&](LoggerSettings& r) { return proto.PortsCommand(r.ports, 0); }},
        {"PADCCommand", false, false, [&](LoggerSettings& r) { return proto.PADCCommand(&r.padc, 0); }},
        {"DeviceIDCommand", false, false, [&](LoggerSettings& r) { return proto.DeviceIDCommand(&r.deviceId, 0); }},
        {"DataParameterCommand", false, false,
         [&](LoggerSettings& r) { return proto.DataParameterCommand(&r.dataParameter, 0); }},
        {"RmodeCommand", false, false, [&](LoggerSettings& r) { return proto.RmodeCommand(&r.rmode, 0); }},
        {"DepthCommand", false, false, [&](LoggerSettings& r) { return proto.DepthCommand(r.depths, 0); }},
        {"SiteCommand", false, false, [&](LoggerSettings& r) { return proto.SiteCommand(&r.site, 0); }},
        {"LatitudeCommand", false, false, [&](LoggerSettings& r) { return proto.LatitudeCommand(&r.latitude, 0); }},
        {"LongitudeCommand", false, false, [&](LoggerSettings& r) { return proto.LongitudeCommand(&r.longitude, 0); }},
        {"TimeZoneCommand", false, false, [&](LoggerSettings& r) { return proto.TimeZoneCommand(&r.timeZone, 0); }},
        {"APNCommand", false, false, [&](LoggerSettings& r) { return proto.APNCommand(&r.apn, 0); }},
        {"APNUserCommand", false, false, [&](LoggerSettings& r) { return proto.APNUserCommand(&r.apnUser, 0); }},
        {"APNPasswdCommand", false, false,
         [&](LoggerSettings& r) { return proto.APNPasswdCommand(&r.apnPassword, 0); }},
        {"HostCommand", false, false, [&](LoggerSettings& r) { return proto.HostCommand(&r.remoteHost, 0); }},
        {"AuthKeyCommand", false, false, [&](LoggerSettings& r) { return proto.AuthKeyCommand(&r.authKey, 0); }},
        {"IPPortCommand", false, false, [&](LoggerSettings& r) { return proto.IPPortCommand(&r.ipPort, 0); }},
        {"ReportCommand", false, false, [&](LoggerSettings& r) { return proto.ReportCommand(&r.reportMode, 0); }},
        {"QuorBuildCommand", false, false, [&](LoggerSettings& r) { return proto.QuorBuildCommand(&r.quorBuild, 0); }},
        {"TraitCommand", false, false, [&](LoggerSettings& r) { return proto.TraitCommand(&r.trait, 0); }},
        {"ADCcalCommand 30", false, false,
         [&](LoggerSettings& r) { return proto.ADCcalCommand(1, r.adc30Slopes, r.adc30Offsets, 0); }},
        {"ADCcalCommand 15", false, false,
         [&](LoggerSettings& r) { return proto.ADCcalCommand(2, r.adc15Slopes, r.adc15Offsets, 0); }},
        {"DeviceTime date", false, false, [&](LoggerSettings&) { return proto.DeviceTime(&seconds, 0); }},
        {"DeviceTime old", true, false, [&](LoggerSettings&) { return proto.DeviceTime(&seconds, 0); }},
        {"DeviceTime QuorSeconds", false, true, [&](LoggerSettings&) { return proto.DeviceTime(&seconds, 0); }},
        {"MSRadioCommand", false, false,
         [&](LoggerSettings& r) {
             std::uint32_t bits = 0x1C00;
             return proto.MSRadioCommand(&r.radioChannel, &r.radioSubchannel, &r.radioVersion, 0, &bits);
         }},
        {"Zt4Config", false, false,
         [&](LoggerSettings& r) {
             std::uint32_t bits = 0x1C00;
             return proto.Zt4Config(&r.radioChannel, &r.radioSubchannel, &r.radioVersion, 0, &bits);
         }},
        {"QueryCommand name", false, false, [&](LoggerSettings&) { return proto.QueryCommand(raw, 1); }},
        {"QueryCommand raw", false, false, [&](LoggerSettings&) { return proto.QueryCommand(raw, sizeof raw); }},
        {"DeviceSettings", false, false,
         [&](LoggerSettings& r) {
             std::uint32_t request = 0xFFFFFFF;
             return proto.DeviceSettings(&r, &request, 0);
         }},
    };

    for (const Shape& shape : kShapes) {
        SCOPED_TRACE(shape.name);
        device->OnAnyOther(shape.reply);
        for (const Get& get : gets) {
            SCOPED_TRACE(get.name);
            Identify(get.oldFirmware, get.quorSeconds);
            LoggerSettings rec;
            seconds = 0;
            const std::uint64_t start = world.NowMs();
            const ResultCode r = get.run(rec);
            EXPECT_LT(world.NowMs() - start, kMostMsPerCommand);
            ExpectInRange(rec, "the caller's record");
            ExpectInRange(proto.Settings(), "the object's record");
            EXPECT_TRUE(seconds == -1 || seconds == 0 || range::kQuorSeconds.Holds(seconds)) << seconds;
            if (r > 0 && std::string(get.name).rfind("DeviceTime", 0) == 0) {
                EXPECT_GE(seconds, 0);
            }
            EXPECT_LE(std::strlen(raw), sizeof raw - 1);
        }
    }
}

}  // namespace
}  // namespace quor
