#pragma once
// The device kinds this updater knows, one static row each, and the
// per-connection device information record built from a row and the
// firmware version a device reports. Constant data and pure functions only.

#include <cstdint>

#include "common/FixedText.h"
#include "common/ResultCode.h"
#include "bsl/LoaderMemoryMap.h"

namespace quor {

// The value is the row index of the static table.
enum class DeviceType : std::int8_t {
    kUnknown = 0,
    kRv7 = 1,
    kRv7b = 2,
    kRv70 = 3,
    kCk = 4,
    kWk = 5,
    kDMini = 6,
    kTq = 7,
    kLg40 = 8,
    kFg = 9,
    kAqvenHx = 10,  // the digital sensor behind a relaying reader
    kDskt = 11,
    kS7k = 12,
    kHjd = 13,
    kJq = 14,
    kDm9 = 15,
    kHsr = 16,
    kPx7t = 17,
    kKl3 = 18,
    kZrl = 19,
    kTru = 20,      // the instrument edition's product
    kPlothub = 21,
    kDm9Lsr = 22,
    kTwi = 23,
    kFlowPack = 24,
    kEnd = 25,      // sentinel: a code and a name, no row, never looked up
};

inline constexpr int kDeviceTypeRowCount = 25;  // rows 0 .. 24

// One static row. Texts are string literals with static lifetime.
struct DeviceTypeRow {
    const char* code;  // first word of the version text, upper case
    const char* name;  // display name
    std::uint32_t restartDelayMs;
    bool saveSettings;
    bool eraseData;
    bool eraseWarning;  // read only for the product's own type
    bool checkBattery;
    bool needsLogin;
    bool setTime;
    bool firmwareCheckMode;  // self-test with "post -init\r"
    bool showNotice;
    std::uint32_t flashStart;
    std::uint32_t flashEnd;
    bool loaderOption;  // flash above 0xFFFF
    std::uint32_t infoStart;
    std::uint32_t infoSegments;
    std::uint32_t infoSegmentSize;
    std::uint32_t loaderBaud;
    const char* versionFinderPath;  // "" where the device has none
};

// The per-connection device information record.
struct DeviceTypeInfo {
    DeviceType type = DeviceType::kUnknown;
    FixedText<32> name;
    FixedText<21> versionText;
    std::int32_t firmwareVersion = 0;  // major * 100 + minor * 10 + patch
    std::uint32_t restartDelayMs = 0;
    bool saveSettings = false;
    bool eraseData = false;
    bool checkBattery = false;
    bool needsLogin = false;
    bool setTime = false;
    bool updatable = false;
    bool firmwareCheckMode = false;
    bool showNotice = false;
    std::uint32_t flashStart = 0;
    std::uint32_t flashEnd = 0;
    bool loaderOption = false;
    std::uint32_t infoStart = 0;
    std::uint32_t infoSegments = 0;
    std::uint32_t infoSegmentSize = 0;
    std::uint32_t loaderBaud = 0;
    bool versionLimited = false;
    std::uint32_t minVersion = 0;
    std::uint32_t maxVersion = 0;
};

// The stored row of type; any value outside 0 .. 24 (END included) gives row 0.
const DeviceTypeRow& DeviceTypeRowOf(DeviceType type);
// Code and display name; END has both ("END"), other values outside the
// table give those of UNKNOWN.
const char* DeviceTypeCode(DeviceType type);
const char* DeviceTypeName(DeviceType type);
// Path of the version file on the maker's software host; "" for none.
const char* DeviceTypeVersionFinderPath(DeviceType type);
bool DeviceTypeEraseWarning(DeviceType type);

// The first of types 1 .. 24 whose code equals code exactly (callers
// upper-case first); UNKNOWN when none does, or when code is null.
DeviceType DeviceTypeFromCode(const char* code);

// Fills the whole record for type and firmware version; versionText empty.
void BuildDeviceTypeInfo(DeviceType type, std::int32_t version, DeviceTypeInfo& record);

// The loader's view of the record's memory: flash, information memory and
// the loader's rate, as the loader host checks and programs an image.
LoaderMemoryMap LoaderMemoryMapOf(const DeviceTypeInfo& record);

// Longest first word that can name a device code.
inline constexpr std::size_t kMaxDeviceCodeChars = 19;

// Reads a version text ("RV70 2.07") into record. Returns 1 for a known
// code; -10 for a missing record or text (record untouched); -30 for a text
// that is not "code major.minor[patch]" (record untouched) or whose code is
// unknown (record then describes an UNKNOWN device with the parsed version).
// A text without a '.' gives an UNKNOWN record with version 0 and 1.
// Texts longer than versionText's 21 characters are parsed whole and kept
// cut to 21; a first word longer than 19 characters is not a code (-30).
ResultCode ParseVersionText(const char* text, DeviceTypeInfo* record);

// Digital (SDI-12) sensor types: single sensors by the code of their
// character, groups of the sensor-type menu above 255.
using SensorType = std::int32_t;

// The display name; "Unknown Sensor (type %u)" for a number not named.
FixedText<31> SensorTypeName(SensorType type);

}  // namespace quor
