// Every logger get command against a logger that answers with the fuzz
// input. A simulated logger of the kind the first byte picks takes the
// connect (the byte also picks the retries and a cellular trait); then every command line is answered with the rest of the input,
// and each get command runs in read direction on the virtual clock (the
// whole settings capture, the identification, the clock). What was read
// is then written back to the simulated logger.
//
// Properties: what was read is in range and holds no line end; and every
// command line the logger protocol writes, for a get or for a set of what
// it read, has exactly one carriage return, at its end.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "logger/AQVEN_Protocol.h"
#include "sim/core/SimWorld.h"
#include "sim/logger/LoggerModel.h"

using namespace quor;

namespace {

constexpr std::uint64_t kAnswerDelayUs = 2000;
constexpr std::uint32_t kEveryRequest = 0x0FFFFFFF;
// Bits of the input's first byte besides the logger kind.
constexpr std::uint8_t kAllTries = 0x40;
constexpr std::uint8_t kCellular = 0x80;

// A real simulated logger until armed; then a device that answers every
// line (and the radio escape) with one scripted reply.
class ScriptedLogger final : public sim::DeviceModel {
public:
    explicit ScriptedLogger(sim::SimLoggerKind kind) : logger_(kind) {}

    void Arm(std::string reply) {
        reply_ = std::move(reply);
        armed_ = true;
        line_.clear();
    }
    void Disarm() { armed_ = false; }

    void Attach(sim::DeviceSide& side) override {
        DeviceModel::Attach(side);
        logger_.Attach(side);
    }
    void OnDtrChange(bool on) override { logger_.OnDtrChange(on); }
    void OnReceive(std::uint8_t byte) override {
        if (!armed_) return logger_.OnReceive(byte);
        line_.push_back(static_cast<char>(byte));
        if (byte != '\r' && line_ != "+++") return;
        line_.clear();
        side_->Schedule(kAnswerDelayUs, [this] { side_->Send(reply_); });
    }

private:
    sim::LoggerModel logger_;
    bool armed_ = false;
    std::string reply_;
    std::string line_;
};

constexpr sim::SimLoggerKind kKinds[] = {
    sim::SimLoggerKind::kRv70,  sim::SimLoggerKind::kRv7b,       sim::SimLoggerKind::kCorvalink,
    sim::SimLoggerKind::kKL3,   sim::SimLoggerKind::kZRL2,       sim::SimLoggerKind::kCommDevice,
    sim::SimLoggerKind::kPalomet, sim::SimLoggerKind::kOldRv7,
};

template <std::size_t N>
void CheckText(const FixedText<N>& value, const char* what) {
    const std::string_view v = value.view();
    FUZZ_CHECK(v.find('\r') == std::string_view::npos, "%s \"%s\" holds a carriage return", what, value.c_str());
    FUZZ_CHECK(v.empty() || (v.front() != '\n' && v.back() != '\n'), "%s \"%s\" keeps a line feed", what,
               value.c_str());
}

void CheckRead(const LoggerSettings& s, std::uint32_t read) {
    if (read & req::kName) CheckText(s.deviceName, "name");
    if (read & req::kSerialNumber) CheckText(s.serialNumber, "serial number");
    if (read & req::kVersion) {
        CheckText(s.versionText, "version");
        FUZZ_CHECK(s.firmwareVersion >= 0, "firmware version %d", s.firmwareVersion);
    }
    if (read & req::kDeviceId) CheckText(s.deviceId, "device id");
    if (read & req::kSite) CheckText(s.site, "site");
    if (read & req::kApn) CheckText(s.apn, "apn");
    if (read & req::kApnUser) CheckText(s.apnUser, "apn user");
    if (read & req::kApnPassword) CheckText(s.apnPassword, "apn password");
    if (read & req::kHost) CheckText(s.remoteHost, "host");
    if (read & req::kAuthKey) CheckText(s.authKey, "auth key");
    if (read & req::kQuorBuild) CheckText(s.quorBuild, "build");
    if (read & req::kRadioVersion) CheckText(s.radioVersion, "radio version");
    if (read & req::kLatitude)
        FUZZ_CHECK(std::isfinite(s.latitude) && std::fabs(s.latitude) <= 90, "latitude %g", s.latitude);
    if (read & req::kLongitude)
        FUZZ_CHECK(std::isfinite(s.longitude) && std::fabs(s.longitude) <= 180, "longitude %g", s.longitude);
}

// Every write is one command line; only the radio's escape has no line end.
void CheckWrites(const sim::SimLink& link) {
    for (const std::string& w : link.HostWrites()) {
        if (w == "+++") continue;
        std::size_t crs = 0;
        for (char c : w) crs += c == '\r';
        FUZZ_CHECK(crs == 1 && w.back() == '\r', "the command line \"%s\" has %zu carriage returns%s", w.c_str(), crs,
                   !w.empty() && w.back() == '\r' ? "" : " and none at its end");
    }
}

}  // namespace

void FuzzOne(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return;
    const std::uint8_t select = data[0];
    const std::string reply(reinterpret_cast<const char*>(data + 1), size - 1);

    sim::SimWorld world;
    ScriptedLogger device(kKinds[select % (sizeof kKinds / sizeof kKinds[0])]);
    sim::SimLink& link = world.AddDevice("SIM1", device);
    AQVEN_Protocol proto(nullptr);
    ConnectionParams params;
    params.portName = "SIM1";
    params.linkType = kLinkSerial;
    if (proto.ConnectDevice(&params) < 0) return;
    // Most inputs get one try per command: an answer without its prompt
    // then costs one timeout, not three, and the fuzzer tries more inputs.
    if (!(select & kAllTries)) {
        ProtocolConfig config;
        proto.Configure(&config, 0);
        config.serialRetries = 1;
        proto.Configure(&config, 1);
    }
    // A cellular logger has the cellular settings too.
    if (select & kCellular) proto.MutableSettings().trait |= kTraitKnown | kTraitCellular;

    link.ClearRecords();
    device.Arm(reply);
    LoggerSettings captured;
    std::uint32_t request = kEveryRequest;
    proto.DeviceSettings(&captured, &request, 0);
    const LoggerSettings read = captured;
    const std::uint32_t readBits = request & captured.validMask;
    std::int32_t seconds = 0;
    proto.DeviceTime(&seconds, 0);
    FixedText<8> name;
    proto.ParseShowCommand(&name);
    std::int32_t channel = 0, subchannel = 0;
    FixedText<8> radioVersion;
    std::uint32_t radioRequest = req::kRadioAll;
    proto.MSRadioCommand(&channel, &subchannel, &radioVersion, 0, &radioRequest);

    // What was read goes back to the logger, which answers as itself again.
    device.Disarm();
    std::uint32_t restore = captured.validMask;
    proto.DeviceSettings(&captured, &restore, 1);
    // The lines first: a value read out of range shows where it goes.
    CheckWrites(link);
    CheckRead(read, readBits);
    CheckText(name, "show name");
    proto.DisconnectDevice(true);
}

QUOR_FUZZ_TARGET(FuzzOne)
