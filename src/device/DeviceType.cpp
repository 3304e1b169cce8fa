#include "device/DeviceType.h"

#include <cctype>
#include <climits>
#include <cstring>

namespace quor {

namespace {

constexpr bool T = true;
constexpr bool F = false;

// Rows 10 and 14 store row 0's loader columns; BuildDeviceTypeInfo puts
// their own memory maps into the record.
// clang-format off
constexpr DeviceTypeRow kRows[kDeviceTypeRowCount] = {
//  code        name                      delay  save erase warn batt login time check notice flashStart flashEnd opt infoStart segs segSize baud   version finder path
    {"UNKNOWN",  "UNKNOWN",                 7000, F, F, F, F, F, F, F, F, 0x1100, 0xF9FF,  F, 0x1000, 2, 128, 9600,  ""},
    {"RV7",      "Rv7",                     1000, T, F, T, T, F, T, T, F, 0x1100, 0xF9FF,  F, 0x1000, 2, 128, 9600,  "/versionfinder/Rv7-Firmware.html"},
    {"RV7B",     "Rv7b",                    1000, T, F, T, T, F, T, T, F, 0x1100, 0xF9FF,  F, 0x1000, 2, 128, 9600,  "/versionfinder/Rv7b-Firmware.html"},
    {"RV70",     "Rv70",                    6000, T, T, T, T, F, T, T, F, 0x1100, 0xF9FF,  F, 0x1000, 2, 128, 9600,  "/versionfinder/Rv70-Firmware.html"},
    {"CK",       "Corvalink",               6000, T, T, T, T, F, F, T, F, 0x1100, 0xF9FF,  F, 0x1000, 2, 128, 9600,  "/versionfinder/Corvalink-Firmware.html"},
    {"WK",       "Meshkeep",                4000, T, T, T, F, F, F, T, F, 0x1100, 0xF9FF,  F, 0x1000, 2, 128, 9600,  ""},
    {"DMINI",    "Dewmark Mini",            8500, T, F, F, F, T, F, F, F, 0x1100, 0xF9FF,  F, 0x1000, 2, 128, 9600,  "/versionfinder/DMini-Firmware.txt"},
    {"TQ",       "TQ9 Pro",                 7000, T, T, T, T, F, T, F, F, 0x1100, 0xF9FF,  F, 0x1000, 2, 128, 9600,  "/versionfinder/tq9pro-firmware.html"},
    {"LG40",     "Lumigrid LG-40",          3000, T, T, T, F, F, T, F, T, 0x1100, 0xF9FF,  F, 0x1000, 2, 128, 9600,  "/versionfinder/LG40Firmware.txt"},
    {"FG",       "Frond Stomagraph",        7000, T, T, T, T, F, T, F, T, 0x1100, 0xF9FF,  F, 0x1000, 2, 128, 9600,  "/versionfinder/frondstomagraph-firmware.html"},
    {"AQVEN-HX", "Digital Sensor",          1000, F, F, F, F, F, F, F, F, 0x1100, 0xF9FF,  F, 0x1000, 2, 128, 9600,  ""},
    {"DSKT",     "Dewsorb KT",              2000, T, T, T, F, F, T, F, F, 0x1100, 0xF9FF,  F, 0x1000, 2, 128, 9600,  "/versionfinder/DSKT-Firmware.txt"},
    {"S7K",      "Dewmark Series 7",        2000, T, F, F, F, T, F, F, F, 0x1100, 0xF9FF,  F, 0x1000, 2, 128, 9600,  "/versionfinder/DMS7-Firmware.txt"},
    {"HJD",      "HJD",                     7000, T, F, F, T, F, F, F, F, 0x1100, 0xF9FF,  F, 0x1000, 2, 128, 9600,  ""},
    {"JQ",       "Palomet",                 2000, T, T, T, T, F, T, F, F, 0x1100, 0xF9FF,  F, 0x1000, 2, 128, 9600,  "/versionfinder/Palomet-Firmware.html"},
    {"DM9",      "Dewmark 9",              14000, T, T, T, F, T, T, F, F, 0x2100, 0x1FF00, T, 0x1000, 3,  64, 57600, "/versionfinder/DewmarkSeries9.txt"},
    {"HSR",      "Dewmark HSR",             8000, T, T, T, F, F, T, F, F, 0x5C00, 0x3BFFF, T, 0x1800, 3, 128, 57600, "/versionfinder/HSRFirmware.txt"},
    {"PX7T",     "PX7T",                    2000, T, F, F, F, T, F, F, F, 0x1100, 0xF9FF,  F, 0x1000, 2, 128, 9600,  "/versionfinder/PX7T-Firmware.txt"},
    {"KL3",      "kL3",                     6000, T, T, T, T, F, T, T, F, 0x1100, 0xF9FF,  F, 0x1000, 2, 128, 9600,  "/versionfinder/kL3-Firmware.html"},
    {"ZRL",      "ZRL2 Logger",             6000, T, T, T, F, F, T, T, F, 0x1100, 0xF9FF,  F, 0x1000, 2, 128, 9600,  "/versionfinder/ZRL2-Firmware.html"},
    {"TRU",      "Dewmark Tru",             2000, T, F, F, F, T, F, F, F, 0x1100, 0xF9FF,  F, 0x1000, 2, 128, 9600,  "/versionfinder/Tru-Firmware.txt"},
    {"PLOTHUB",  "plothub",                 6000, T, F, F, F, F, T, T, F, 0x2100, 0x1FF00, T, 0x1000, 3,  64, 57600, ""},
    {"DM9LSR",   "Dewmark 9 LSR",           8000, T, T, T, F, F, T, F, F, 0x8000, 0x27FFF, T, 0x1800, 4, 128, 57600, "/versionfinder/DM9LSR-Firmware.txt"},
    {"TWI",      "Twinring Infiltrometer",  8000, T, T, T, T, F, T, F, F, 0x2100, 0x1FF00, T, 0x1000, 3,  64, 57600, "/versionfinder/TWI-Firmware.txt"},
    {"FLOWPACK", "FlowPack",                2000, T, F, F, T, F, F, F, F, 0x8000, 0xF9FF,  F, 0x1000, 3,  64, 9600,  "/versionfinder/FlowPack-Firmware.txt"},
};
// clang-format on

constexpr const char* kEndCode = "END";

// How a type decides whether this updater may update it.
enum class UpdateRule : std::uint8_t { kNever, kAlways, kFromVersion };
struct Updatability {
    UpdateRule rule;
    std::int32_t minVersion;  // for kFromVersion
};
constexpr Updatability kNever{UpdateRule::kNever, 0};
constexpr Updatability kAlways{UpdateRule::kAlways, 0};
constexpr Updatability FromVersion(std::int32_t v) { return {UpdateRule::kFromVersion, v}; }

constexpr Updatability kUpdatability[kDeviceTypeRowCount] = {
    kNever,            kNever,            kAlways,           FromVersion(103),  // 0 .. 3
    FromVersion(105),  kNever,            FromVersion(118),  kAlways,           // 4 .. 7
    FromVersion(150),  kAlways,           kAlways,           kAlways,           // 8 .. 11
    FromVersion(351),  kAlways,           kAlways,           kAlways,           // 12 .. 15
    kAlways,           kAlways,           kAlways,           kAlways,           // 16 .. 19
    kAlways,           kAlways,           kAlways,           kAlways,           // 20 .. 23
    kAlways,                                                                    // 24
};

// The loader memory map of a processor family.
struct LoaderMap {
    std::uint32_t flashStart, flashEnd, infoStart, infoSegments, infoSegmentSize, loaderBaud;
};
constexpr LoaderMap kJqLoaderMap{0x2100, 0x1FF00, 0x1000, 3, 64, 57600};
// The digital sensors' processor; the loader rate stays the row's.
constexpr LoaderMap kSensorLoaderMap{0x8000, 0x88000, 0x1800, 4, 128, 0};

constexpr std::uint32_t kDm9MinVersion = 202;
constexpr std::uint32_t kDm9MaxVersion = 999;

bool InTable(DeviceType type) {
    int v = static_cast<int>(type);
    return v >= 0 && v < kDeviceTypeRowCount;
}

void ApplyLoaderMap(const LoaderMap& map, DeviceTypeInfo& record) {
    record.loaderOption = true;
    record.flashStart = map.flashStart;
    record.flashEnd = map.flashEnd;
    record.infoStart = map.infoStart;
    record.infoSegments = map.infoSegments;
    record.infoSegmentSize = map.infoSegmentSize;
    if (map.loaderBaud) record.loaderBaud = map.loaderBaud;
}

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The reading of "%s %d.%1d%1d": how many items were read, and the values.
struct VersionFields {
    int items = 0;
    FixedText<kMaxDeviceCodeChars> code;
    long long major = 0;
    int minor = 0;
    int patch = 0;
};

VersionFields ScanVersion(const char* s) {
    VersionFields f;
    // %s: a first word after any blanks.
    while (*s && IsBlank(*s)) ++s;
    const char* word = s;
    while (*s && !IsBlank(*s)) ++s;
    std::size_t wordLen = static_cast<std::size_t>(s - word);
    if (wordLen == 0) return f;
    // A longer first word cannot be a device code: the text is not read.
    if (wordLen > kMaxDeviceCodeChars) return f;
    f.code.Assign(std::string_view(word, wordLen));
    f.items = 1;
    // " %d": blanks, then digits. A firmware version carries no sign, so a
    // signed number is no version (a negative one would pass every range).
    while (*s && IsBlank(*s)) ++s;
    if (!IsDigit(*s)) return f;
    long long major = 0;
    while (IsDigit(*s)) {
        if (major <= INT_MAX) major = major * 10 + (*s - '0');  // stays far inside long long
        ++s;
    }
    f.major = major;
    f.items = 2;
    // ".": the point itself, nothing before it.
    if (*s != '.') return f;
    ++s;
    // %1d twice: each skips blanks and takes exactly one digit.
    while (*s && IsBlank(*s)) ++s;
    if (!IsDigit(*s)) return f;
    f.minor = *s++ - '0';
    f.items = 3;
    while (*s && IsBlank(*s)) ++s;
    if (!IsDigit(*s)) return f;
    f.patch = *s - '0';
    f.items = 4;
    return f;
}

struct SensorName {
    SensorType type;
    const char* name;
};
constexpr SensorName kSensorNames[] = {
    {93, "ZEPRA 51 Sensor Suite"}, {94, "RNQ-5 Rain Gauge"},     {95, "WN-3 Anemometer"},
    {102, "HT-7 Sensor"},          {103, "SOLRA 14 Sensor"},     {104, "SOLRA 13 Sensor"},
    {107, "SOLRA 31 Sensor"},      {108, "WPX-8 Sensor"},        {109, "QC-5F Sensor"},
    {112, "HT-6 Sensor"},          {113, "QC-5 Sensor"},         {116, "WLD Sensor"},
    {117, "P7 Drain Gauge"},       {119, "HR4 Sensor"},          {120, "7QM Sensor"},
    {121, "WPX-4 Sensor"},         {122, "7QA Sensor"},          {124, "AQVEN-HX Sensor"},
    {125, "HV-KN Sensor"},         {126, "AQVEN-HX Sensor"},     {127, "AQVEN-HX Sensor"},
    {260, "NDV Family"},           {261, "WPX-4 WPX-8 SOLRA 31"}, {262, "WLD Family"},
    {264, "SOLRA 1x Family"},
};

}  // namespace

const DeviceTypeRow& DeviceTypeRowOf(DeviceType type) {
    return kRows[InTable(type) ? static_cast<int>(type) : 0];
}

const char* DeviceTypeCode(DeviceType type) {
    return type == DeviceType::kEnd ? kEndCode : DeviceTypeRowOf(type).code;
}

const char* DeviceTypeName(DeviceType type) {
    return type == DeviceType::kEnd ? kEndCode : DeviceTypeRowOf(type).name;
}

const char* DeviceTypeVersionFinderPath(DeviceType type) { return DeviceTypeRowOf(type).versionFinderPath; }

bool DeviceTypeEraseWarning(DeviceType type) { return DeviceTypeRowOf(type).eraseWarning; }

DeviceType DeviceTypeFromCode(const char* code) {
    if (!code) return DeviceType::kUnknown;
    for (int i = 1; i < kDeviceTypeRowCount; ++i) {
        if (std::strcmp(kRows[i].code, code) == 0) return static_cast<DeviceType>(i);
    }
    return DeviceType::kUnknown;
}

LoaderMemoryMap LoaderMemoryMapOf(const DeviceTypeInfo& r) {
    LoaderMemoryMap m;
    m.flashStart = r.flashStart;
    m.flashEnd = r.flashEnd;
    m.loaderOption = r.loaderOption;
    m.infoStart = r.infoStart;
    m.infoSegments = r.infoSegments;
    m.infoSegmentSize = r.infoSegmentSize;
    m.loaderBaud = r.loaderBaud;
    return m;
}

void BuildDeviceTypeInfo(DeviceType type, std::int32_t version, DeviceTypeInfo& record) {
    record = DeviceTypeInfo{};
    if (!InTable(type)) type = DeviceType::kUnknown;
    const int index = static_cast<int>(type);
    const DeviceTypeRow& row = kRows[index];
    record.type = type;
    record.firmwareVersion = version;
    record.name = row.name;
    record.restartDelayMs = row.restartDelayMs;
    record.saveSettings = row.saveSettings;
    record.eraseData = row.eraseData;
    record.checkBattery = row.checkBattery;
    record.needsLogin = row.needsLogin;
    record.setTime = row.setTime;
    record.firmwareCheckMode = row.firmwareCheckMode;
    record.showNotice = row.showNotice;
    record.flashStart = row.flashStart;
    record.flashEnd = row.flashEnd;
    record.loaderOption = row.loaderOption;
    record.infoStart = row.infoStart;
    record.infoSegments = row.infoSegments;
    record.infoSegmentSize = row.infoSegmentSize;
    record.loaderBaud = row.loaderBaud;

    const Updatability& u = kUpdatability[index];
    record.updatable = u.rule == UpdateRule::kAlways || (u.rule == UpdateRule::kFromVersion && version >= u.minVersion);

    switch (type) {
        case DeviceType::kJq:
            ApplyLoaderMap(kJqLoaderMap, record);
            break;
        case DeviceType::kDm9:
            record.versionLimited = true;
            record.minVersion = kDm9MinVersion;
            record.maxVersion = kDm9MaxVersion;
            break;
        case DeviceType::kAqvenHx:
            ApplyLoaderMap(kSensorLoaderMap, record);
            break;
        default:
            break;
    }
}

ResultCode ParseVersionText(const char* text, DeviceTypeInfo* record) {
    if (!record || !text || !text[0]) return rc::kMissingArgument;
    if (!std::strchr(text, '.')) {
        BuildDeviceTypeInfo(DeviceType::kUnknown, 0, *record);
        record->versionText = text;
        return rc::kOk;
    }
    VersionFields f = ScanVersion(text);
    if (f.items < 3) return rc::kUnreadableAnswer;
    // A version beyond what the record's number can hold is no version.
    const long long version = f.major * 100 + f.minor * 10 + f.patch;
    if (version > INT_MAX || version < INT_MIN) return rc::kUnreadableAnswer;
    char* code = f.code.data();
    for (char* c = code; *c; ++c) *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    DeviceType type = DeviceTypeFromCode(code);
    BuildDeviceTypeInfo(type, static_cast<std::int32_t>(version), *record);
    record->versionText = text;
    return type == DeviceType::kUnknown ? rc::kUnreadableAnswer : rc::kOk;
}

FixedText<31> SensorTypeName(SensorType type) {
    FixedText<31> name;
    for (const SensorName& s : kSensorNames) {
        if (s.type == type) {
            name = s.name;
            return name;
        }
    }
    name.Format("Unknown Sensor (type %u)", static_cast<unsigned>(type));
    return name;
}

}  // namespace quor
