#pragma once
// The records of the datalogger command protocol: its configuration, the
// parameters of one link, and everything known about the connected logger.
// Plain values, copied whole between the protocol object and its callers.

#include <cstdint>
#include <string>

#include "common/FixedText.h"
#include "common/ResultCode.h"

namespace quor {

// Codes raised by the datalogger protocol only (the cross-layer ones are in
// common/ResultCode.h).
namespace lrc {
inline constexpr ResultCode kNoCapability = -1;       // the logger lacks it; nothing handled
inline constexpr ResultCode kCannotSet = -12;         // rejected set, or not settable here
inline constexpr ResultCode kNoCommandMode = -23;     // radio module or radio not reachable
inline constexpr ResultCode kIdentityMismatch = -37;  // not the device whose settings we hold
inline constexpr ResultCode kNoRadio = -45;           // the logger reports it has no radio
inline constexpr ResultCode kNameBadChar = -50;
inline constexpr ResultCode kNameForbiddenChar = -51;
inline constexpr ResultCode kNameReserved = -52;
inline constexpr ResultCode kNameEmpty = -53;
inline constexpr ResultCode kNameTooLong = -54;
inline constexpr ResultCode kNameHighChar = -56;
}  // namespace lrc

struct ProtocolConfig {
    bool keepPortOpen = false;
    std::uint32_t serialRetries = 3;  // at most 12; 0 means 3
    std::uint32_t radioRetries = 5;   // at most 12; 0 means 5
    bool progressReporting = false;
    std::int8_t traceMode = 0;        // 0 none, 1 received, 2 sent, 3 both
    std::uint32_t extraReplyTimeMs = 0;  // at most 30000
};

inline constexpr std::uint32_t kMaxRetries = 12;
inline constexpr std::uint32_t kDefaultSerialRetries = 3;
inline constexpr std::uint32_t kDefaultRadioRetries = 5;
inline constexpr std::uint32_t kMaxExtraReplyTimeMs = 30000;

// Link types.
inline constexpr std::uint8_t kLinkNone = 0;
inline constexpr std::uint8_t kLinkSerial = 10;
inline constexpr std::uint8_t kLinkRadio = 30;

struct ConnectionParams {
    std::string portName;  // kept whole: a cut path could open another device
    std::uint8_t linkType = kLinkNone;
    std::uint8_t baudIndex = 0;  // into kBaudRates; 0 means 2 (9600)
    FixedText<8> deviceName;
    std::int32_t radioChannel = 0;
    std::int32_t radioSubchannel = 0;
    bool programRadio = false;
};

inline constexpr std::uint32_t kBaudRates[] = {0, 1200, 9600, 19200, 38400, 57600, 115200, 230400, 460800};
inline constexpr std::uint8_t kBaudIndexCount = sizeof(kBaudRates) / sizeof(kBaudRates[0]);
inline constexpr std::uint8_t kBaudIndex9600 = 2;

// Logger families (the kind field).
enum LoggerKind : std::int8_t {
    kKindUnknown = 0,
    kKindUnknownLogger = 1,
    kKindRv7 = 2,
    kKindRv70 = 3,
    kKindCorvalink = 4,
    kKindMeshkeep = 5,
    kKindRv7b = 6,
    kKindGeneric = 7,
    kKindHJD = 8,
    kKindCalibrator = 9,
    kKindPalomet = 10,
    kKindKL3 = 11,
    kKindZRL2 = 12,
};

// Capability bits the commands test.
namespace cap {
inline constexpr std::uint32_t kBaudChange = 0x1;
inline constexpr std::uint32_t kWakeAndPadc = 0x10;
inline constexpr std::uint32_t kPorts = 0x20;
inline constexpr std::uint32_t kTraitQuery = 0x40;
inline constexpr std::uint32_t kRadio = 0x100;
inline constexpr std::uint32_t kRmode = 0x200;
inline constexpr std::uint32_t kClock = 0x1000;
inline constexpr std::uint32_t kAdcCal = 0x10000;
inline constexpr std::uint32_t kDataParameter = 0x20000;
inline constexpr std::uint32_t kQuorBuild = 0x40000;
inline constexpr std::uint32_t kQuorSeconds = 0x80000;
inline constexpr std::uint32_t kAdcOnePair = 0x100000;
inline constexpr std::uint32_t kExtended = 0x1000000;  // devid, report, depths, site, tz, trait set
inline constexpr std::uint32_t kPosition = 0x4000000;  // latitude and longitude
}  // namespace cap

// Request bits of DeviceSettings (and the valid mask).
namespace req {
inline constexpr std::uint32_t kName = 0x1;
inline constexpr std::uint32_t kSerialNumber = 0x2;
inline constexpr std::uint32_t kVersion = 0x4;
inline constexpr std::uint32_t kTrait = 0x8;
inline constexpr std::uint32_t kWake = 0x10;
inline constexpr std::uint32_t kPorts = 0x20;
inline constexpr std::uint32_t kPadc = 0x40;
inline constexpr std::uint32_t kDeviceId = 0x80;
inline constexpr std::uint32_t kDataParameter = 0x100;
inline constexpr std::uint32_t kRmode = 0x200;
inline constexpr std::uint32_t kRadioChannel = 0x400;
inline constexpr std::uint32_t kRadioSubchannel = 0x800;
inline constexpr std::uint32_t kRadioVersion = 0x1000;
inline constexpr std::uint32_t kRadioAll = 0x1C00;
inline constexpr std::uint32_t kDepth = 0x2000;
inline constexpr std::uint32_t kSite = 0x4000;
inline constexpr std::uint32_t kLatitude = 0x8000;
inline constexpr std::uint32_t kLongitude = 0x10000;
inline constexpr std::uint32_t kTimeZone = 0x20000;
inline constexpr std::uint32_t kApn = 0x40000;
inline constexpr std::uint32_t kApnUser = 0x80000;
inline constexpr std::uint32_t kApnPassword = 0x100000;
inline constexpr std::uint32_t kHost = 0x200000;
inline constexpr std::uint32_t kAuthKey = 0x400000;
inline constexpr std::uint32_t kIpPort = 0x800000;
inline constexpr std::uint32_t kReport = 0x1000000;
inline constexpr std::uint32_t kAdc30 = 0x2000000;
inline constexpr std::uint32_t kAdc15 = 0x4000000;
inline constexpr std::uint32_t kQuorBuild = 0x8000000;
}  // namespace req

// Trait bits.
inline constexpr std::uint32_t kTraitKnown = 0x4000;
inline constexpr std::uint32_t kTraitRadio = 0x1;
inline constexpr std::uint32_t kTraitCellular = 0x8;

inline constexpr int kPortCount = 5;
inline constexpr int kAdcPairs = 5;

struct LoggerSettings {
    std::uint32_t validMask = 0;
    std::uint32_t capabilities = 0;
    std::int8_t kind = kKindUnknown;
    FixedText<31> familyName;
    std::uint8_t newFirmware = 0;
    FixedText<8> deviceId;
    FixedText<8> deviceName;
    FixedText<15> serialNumber;
    FixedText<20> versionText;
    std::int32_t firmwareVersion = 0;
    std::uint32_t trait = 0;
    FixedText<16> quorBuild;
    std::int32_t wakeInterval = 0;
    std::uint8_t ports[kPortCount] = {};
    std::uint8_t depths[kPortCount] = {};
    std::int32_t padc = 0;
    FixedText<25> site;
    double latitude = 0;
    double longitude = 0;
    std::int32_t timeZone = 0;
    std::uint8_t adc30Slopes[kAdcPairs] = {};
    std::uint8_t adc30Offsets[kAdcPairs] = {};
    std::uint8_t adc15Slopes[kAdcPairs] = {};
    std::uint8_t adc15Offsets[kAdcPairs] = {};
    std::int32_t dataParameter = 0;
    std::int32_t reportMode = 0;
    std::int32_t rmode = 0;
    std::int32_t radioChannel = 0;
    std::int32_t radioSubchannel = 0;
    FixedText<8> radioVersion;
    FixedText<35> apn;
    FixedText<35> apnUser;
    FixedText<35> apnPassword;
    FixedText<32> authKey;
    FixedText<63> remoteHost;
    std::int32_t ipPort = 0;
};

}  // namespace quor
