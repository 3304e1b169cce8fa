#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "device/DeviceType.h"

namespace quor {
namespace {

// The device table as the product documentation prints it, one row per
// type; the test reads the cells and compares each with what the code
// builds. Rows 10 and 14 show the loader values of the built record.
constexpr const char* kDocumentedRows = R"(
| 0 | UNKNOWN | 7000 | 0 | 0 | 0 | 0 | 0 | 0 | 0 | 0 | 0x1100 | 0xF9FF | 0 | 0x1000 | 2 | 128 | 9600 | (none) |
| 1 | RV7 | 1000 | 1 | 0 | 1 | 1 | 0 | 1 | 1 | 0 | 0x1100 | 0xF9FF | 0 | 0x1000 | 2 | 128 | 9600 | "/versionfinder/Rv7-Firmware.html" |
| 2 | RV7B | 1000 | 1 | 0 | 1 | 1 | 0 | 1 | 1 | 0 | 0x1100 | 0xF9FF | 0 | 0x1000 | 2 | 128 | 9600 | "/versionfinder/Rv7b-Firmware.html" |
| 3 | RV70 | 6000 | 1 | 1 | 1 | 1 | 0 | 1 | 1 | 0 | 0x1100 | 0xF9FF | 0 | 0x1000 | 2 | 128 | 9600 | "/versionfinder/Rv70-Firmware.html" |
| 4 | CK | 6000 | 1 | 1 | 1 | 1 | 0 | 0 | 1 | 0 | 0x1100 | 0xF9FF | 0 | 0x1000 | 2 | 128 | 9600 | "/versionfinder/Corvalink-Firmware.html" |
| 5 | WK | 4000 | 1 | 1 | 1 | 0 | 0 | 0 | 1 | 0 | 0x1100 | 0xF9FF | 0 | 0x1000 | 2 | 128 | 9600 | (none) |
| 6 | DMINI | 8500 | 1 | 0 | 0 | 0 | 1 | 0 | 0 | 0 | 0x1100 | 0xF9FF | 0 | 0x1000 | 2 | 128 | 9600 | "/versionfinder/DMini-Firmware.txt" |
| 7 | TQ | 7000 | 1 | 1 | 1 | 1 | 0 | 1 | 0 | 0 | 0x1100 | 0xF9FF | 0 | 0x1000 | 2 | 128 | 9600 | "/versionfinder/tq9pro-firmware.html" |
| 8 | LG40 | 3000 | 1 | 1 | 1 | 0 | 0 | 1 | 0 | 1 | 0x1100 | 0xF9FF | 0 | 0x1000 | 2 | 128 | 9600 | "/versionfinder/LG40Firmware.txt" |
| 9 | FG | 7000 | 1 | 1 | 1 | 1 | 0 | 1 | 0 | 1 | 0x1100 | 0xF9FF | 0 | 0x1000 | 2 | 128 | 9600 | "/versionfinder/frondstomagraph-firmware.html" |
| 10 | AQVEN-HX | 1000 | 0 | 0 | 0 | 0 | 0 | 0 | 0 | 0 | 0x8000 | 0x88000 | 1 | 0x1800 | 4 | 128 | 9600 | (none) |
| 11 | DSKT | 2000 | 1 | 1 | 1 | 0 | 0 | 1 | 0 | 0 | 0x1100 | 0xF9FF | 0 | 0x1000 | 2 | 128 | 9600 | "/versionfinder/DSKT-Firmware.txt" |
| 12 | S7K | 2000 | 1 | 0 | 0 | 0 | 1 | 0 | 0 | 0 | 0x1100 | 0xF9FF | 0 | 0x1000 | 2 | 128 | 9600 | "/versionfinder/DMS7-Firmware.txt" |
| 13 | HJD | 7000 | 1 | 0 | 0 | 1 | 0 | 0 | 0 | 0 | 0x1100 | 0xF9FF | 0 | 0x1000 | 2 | 128 | 9600 | (none) |
| 14 | JQ | 2000 | 1 | 1 | 1 | 1 | 0 | 1 | 0 | 0 | 0x2100 | 0x1FF00 | 1 | 0x1000 | 3 | 64 | 57600 | "/versionfinder/Palomet-Firmware.html" |
| 15 | DM9 | 14000 | 1 | 1 | 1 | 0 | 1 | 1 | 0 | 0 | 0x2100 | 0x1FF00 | 1 | 0x1000 | 3 | 64 | 57600 | "/versionfinder/DewmarkSeries9.txt" |
| 16 | HSR | 8000 | 1 | 1 | 1 | 0 | 0 | 1 | 0 | 0 | 0x5C00 | 0x3BFFF | 1 | 0x1800 | 3 | 128 | 57600 | "/versionfinder/HSRFirmware.txt" |
| 17 | PX7T | 2000 | 1 | 0 | 0 | 0 | 1 | 0 | 0 | 0 | 0x1100 | 0xF9FF | 0 | 0x1000 | 2 | 128 | 9600 | "/versionfinder/PX7T-Firmware.txt" |
| 18 | KL3 | 6000 | 1 | 1 | 1 | 1 | 0 | 1 | 1 | 0 | 0x1100 | 0xF9FF | 0 | 0x1000 | 2 | 128 | 9600 | "/versionfinder/kL3-Firmware.html" |
| 19 | ZRL | 6000 | 1 | 1 | 1 | 0 | 0 | 1 | 1 | 0 | 0x1100 | 0xF9FF | 0 | 0x1000 | 2 | 128 | 9600 | "/versionfinder/ZRL2-Firmware.html" |
| 20 | TRU | 2000 | 1 | 0 | 0 | 0 | 1 | 0 | 0 | 0 | 0x1100 | 0xF9FF | 0 | 0x1000 | 2 | 128 | 9600 | "/versionfinder/Tru-Firmware.txt" |
| 21 | PLOTHUB | 6000 | 1 | 0 | 0 | 0 | 0 | 1 | 1 | 0 | 0x2100 | 0x1FF00 | 1 | 0x1000 | 3 | 64 | 57600 | (none) |
| 22 | DM9LSR | 8000 | 1 | 1 | 1 | 0 | 0 | 1 | 0 | 0 | 0x8000 | 0x27FFF | 1 | 0x1800 | 4 | 128 | 57600 | "/versionfinder/DM9LSR-Firmware.txt" |
| 23 | TWI | 8000 | 1 | 1 | 1 | 1 | 0 | 1 | 0 | 0 | 0x2100 | 0x1FF00 | 1 | 0x1000 | 3 | 64 | 57600 | "/versionfinder/TWI-Firmware.txt" |
| 24 | FLOWPACK | 2000 | 1 | 0 | 0 | 1 | 0 | 0 | 0 | 0 | 0x8000 | 0xF9FF | 0 | 0x1000 | 3 | 64 | 9600 | "/versionfinder/FlowPack-Firmware.txt" |
)";

constexpr const char* kDocumentedNames = R"(
| 0 | "UNKNOWN" | "UNKNOWN" |
| 1 | "RV7" | "Rv7" |
| 2 | "RV7B" | "Rv7b" |
| 3 | "RV70" | "Rv70" |
| 4 | "CK" | "Corvalink" |
| 5 | "WK" | "Meshkeep" |
| 6 | "DMINI" | "Dewmark Mini" |
| 7 | "TQ" | "TQ9 Pro" |
| 8 | "LG40" | "Lumigrid LG-40" |
| 9 | "FG" | "Frond Stomagraph" |
| 10 | "AQVEN-HX" | "Digital Sensor" |
| 11 | "DSKT" | "Dewsorb KT" |
| 12 | "S7K" | "Dewmark Series 7" |
| 13 | "HJD" | "HJD" |
| 14 | "JQ" | "Palomet" |
| 15 | "DM9" | "Dewmark 9" |
| 16 | "HSR" | "Dewmark HSR" |
| 17 | "PX7T" | "PX7T" |
| 18 | "KL3" | "kL3" |
| 19 | "ZRL" | "ZRL2 Logger" |
| 20 | "TRU" | "Dewmark Tru" |
| 21 | "PLOTHUB" | "plothub" |
| 22 | "DM9LSR" | "Dewmark 9 LSR" |
| 23 | "TWI" | "Twinring Infiltrometer" |
| 24 | "FLOWPACK" | "FlowPack" |
| 25 | "END" | "END" |
)";

constexpr const char* kDocumentedSensors = R"(
| 93 | ']' | "ZEPRA 51 Sensor Suite" |
| 94 | '^' | "RNQ-5 Rain Gauge" |
| 95 | '_' | "WN-3 Anemometer" |
| 102 | 'f' | "HT-7 Sensor" |
| 103 | 'g' | "SOLRA 14 Sensor" |
| 104 | 'h' | "SOLRA 13 Sensor" |
| 107 | 'k' | "SOLRA 31 Sensor" |
| 108 | 'l' | "WPX-8 Sensor" |
| 109 | 'm' | "QC-5F Sensor" |
| 112 | 'p' | "HT-6 Sensor" |
| 113 | 'q' | "QC-5 Sensor" |
| 116 | 't' | "WLD Sensor" |
| 117 | 'u' | "P7 Drain Gauge" |
| 119 | 'w' | "HR4 Sensor" |
| 120 | 'x' | "7QM Sensor" |
| 121 | 'y' | "WPX-4 Sensor" |
| 122 | 'z' | "7QA Sensor" |
| 124 | (vertical bar) | "AQVEN-HX Sensor" |
| 125 | '}' | "HV-KN Sensor" |
| 126 | '~' | "AQVEN-HX Sensor" |
| 127 | (DEL) | "AQVEN-HX Sensor" |
| 260 | | "NDV Family" |
| 261 | | "WPX-4 WPX-8 SOLRA 31" |
| 262 | | "WLD Family" |
| 264 | | "SOLRA 1x Family" |
)";

std::string Trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(' ');
    std::size_t e = s.find_last_not_of(' ');
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

std::string Unquote(const std::string& s) {
    return s.size() >= 2 && s.front() == '"' && s.back() == '"' ? s.substr(1, s.size() - 2) : s;
}

// The cells of every "| a | b |" line of a table.
std::vector<std::vector<std::string>> Cells(const char* table) {
    std::vector<std::vector<std::string>> out;
    std::istringstream in(table);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] != '|') continue;
        std::vector<std::string> cells;
        std::size_t pos = 1;
        for (std::size_t bar; (bar = line.find('|', pos)) != std::string::npos; pos = bar + 1) {
            cells.push_back(Trim(line.substr(pos, bar - pos)));
        }
        out.push_back(cells);
    }
    return out;
}

unsigned long Num(const std::string& cell) { return std::strtoul(cell.c_str(), nullptr, 0); }
bool Flag(const std::string& cell) { return cell == "1"; }

TEST(DeviceTypeTable, EveryRowMatchesTheDocumentedTable) {
    auto rows = Cells(kDocumentedRows);
    ASSERT_EQ(rows.size(), 25u);
    for (const auto& c : rows) {
        ASSERT_EQ(c.size(), 19u);
        const int value = std::atoi(c[0].c_str());
        const auto type = static_cast<DeviceType>(value);
        SCOPED_TRACE("type " + c[0] + " " + c[1]);
        EXPECT_STREQ(DeviceTypeCode(type), c[1].c_str());
        DeviceTypeInfo info;
        BuildDeviceTypeInfo(type, 100, info);
        EXPECT_EQ(static_cast<int>(info.type), value);
        EXPECT_EQ(info.firmwareVersion, 100);
        EXPECT_TRUE(info.versionText.empty());
        EXPECT_EQ(info.restartDelayMs, Num(c[2]));
        EXPECT_EQ(info.saveSettings, Flag(c[3]));
        EXPECT_EQ(info.eraseData, Flag(c[4]));
        EXPECT_EQ(DeviceTypeEraseWarning(type), Flag(c[5]));
        EXPECT_EQ(info.checkBattery, Flag(c[6]));
        EXPECT_EQ(info.needsLogin, Flag(c[7]));
        EXPECT_EQ(info.setTime, Flag(c[8]));
        EXPECT_EQ(info.firmwareCheckMode, Flag(c[9]));
        EXPECT_EQ(info.showNotice, Flag(c[10]));
        EXPECT_EQ(info.flashStart, Num(c[11]));
        EXPECT_EQ(info.flashEnd, Num(c[12]));
        EXPECT_EQ(info.loaderOption, Flag(c[13]));
        EXPECT_EQ(info.infoStart, Num(c[14]));
        EXPECT_EQ(info.infoSegments, Num(c[15]));
        EXPECT_EQ(info.infoSegmentSize, Num(c[16]));
        EXPECT_EQ(info.loaderBaud, Num(c[17]));
        std::string path = c[18] == "(none)" ? "" : Unquote(c[18]);
        EXPECT_STREQ(DeviceTypeVersionFinderPath(type), path.c_str());
    }
}

TEST(DeviceTypeTable, CodesAndDisplayNamesMatchTheDocumentedList) {
    auto rows = Cells(kDocumentedNames);
    ASSERT_EQ(rows.size(), 26u);
    for (const auto& c : rows) {
        ASSERT_EQ(c.size(), 3u);
        const auto type = static_cast<DeviceType>(std::atoi(c[0].c_str()));
        SCOPED_TRACE("type " + c[0]);
        EXPECT_STREQ(DeviceTypeCode(type), Unquote(c[1]).c_str());
        EXPECT_STREQ(DeviceTypeName(type), Unquote(c[2]).c_str());
        if (type == DeviceType::kEnd) continue;
        DeviceTypeInfo info;
        BuildDeviceTypeInfo(type, 0, info);
        EXPECT_EQ(info.name, Unquote(c[2]));
    }
}

TEST(DeviceTypeTable, StoredLoaderColumnsOfSensorAndReaderAreRowZeros) {
    for (DeviceType t : {DeviceType::kAqvenHx, DeviceType::kJq}) {
        const DeviceTypeRow& row = DeviceTypeRowOf(t);
        const DeviceTypeRow& zero = DeviceTypeRowOf(DeviceType::kUnknown);
        EXPECT_EQ(row.flashStart, zero.flashStart);
        EXPECT_EQ(row.flashEnd, zero.flashEnd);
        EXPECT_EQ(row.loaderOption, zero.loaderOption);
        EXPECT_EQ(row.infoStart, zero.infoStart);
        EXPECT_EQ(row.infoSegments, zero.infoSegments);
        EXPECT_EQ(row.infoSegmentSize, zero.infoSegmentSize);
        EXPECT_EQ(row.loaderBaud, zero.loaderBaud);
    }
}

TEST(DeviceTypeFromCode, FindsOnlyTypesOneToTwentyFourExactly) {
    EXPECT_EQ(DeviceTypeFromCode("RV7"), DeviceType::kRv7);
    EXPECT_EQ(DeviceTypeFromCode("RV7B"), DeviceType::kRv7b);
    EXPECT_EQ(DeviceTypeFromCode("DM9LSR"), DeviceType::kDm9Lsr);
    EXPECT_EQ(DeviceTypeFromCode("FLOWPACK"), DeviceType::kFlowPack);
    EXPECT_EQ(DeviceTypeFromCode("AQVEN-HX"), DeviceType::kAqvenHx);
    for (const char* code : {"UNKNOWN", "END", "rv70", "RV7 ", "", "DM"}) {
        EXPECT_EQ(DeviceTypeFromCode(code), DeviceType::kUnknown) << code;
    }
    EXPECT_EQ(DeviceTypeFromCode(nullptr), DeviceType::kUnknown);
}

struct UpdatableCase {
    DeviceType type;
    std::int32_t version;
    bool updatable;
};

TEST(BuildDeviceTypeInfo, UpdatableFollowsTheTypesRule) {
    const UpdatableCase cases[] = {
        {DeviceType::kUnknown, 999, false}, {DeviceType::kRv7, 999, false},    {DeviceType::kWk, 999, false},
        {DeviceType::kRv70, 102, false},    {DeviceType::kRv70, 103, true},    {DeviceType::kCk, 104, false},
        {DeviceType::kCk, 105, true},       {DeviceType::kDMini, 117, false},  {DeviceType::kDMini, 118, true},
        {DeviceType::kLg40, 149, false},    {DeviceType::kLg40, 150, true},    {DeviceType::kS7k, 350, false},
        {DeviceType::kS7k, 351, true},      {DeviceType::kRv7b, 0, true},      {DeviceType::kTq, 0, true},
        {DeviceType::kFg, 0, true},         {DeviceType::kDskt, 0, true},      {DeviceType::kHjd, 0, true},
        {DeviceType::kHsr, 0, true},        {DeviceType::kPx7t, 0, true},      {DeviceType::kKl3, 0, true},
        {DeviceType::kZrl, 0, true},        {DeviceType::kTru, 0, true},       {DeviceType::kPlothub, 0, true},
        {DeviceType::kDm9Lsr, 0, true},     {DeviceType::kTwi, 0, true},       {DeviceType::kFlowPack, 0, true},
        {DeviceType::kAqvenHx, 0, true},    {DeviceType::kJq, 0, true},        {DeviceType::kDm9, 0, true},
        {DeviceType::kRv70, -500, false},
    };
    for (const UpdatableCase& c : cases) {
        DeviceTypeInfo info;
        BuildDeviceTypeInfo(c.type, c.version, info);
        EXPECT_EQ(info.updatable, c.updatable) << "type " << static_cast<int>(c.type) << " version " << c.version;
    }
}

TEST(BuildDeviceTypeInfo, OnlyDm9IsVersionLimited) {
    for (int t = 0; t < kDeviceTypeRowCount; ++t) {
        DeviceTypeInfo info;
        BuildDeviceTypeInfo(static_cast<DeviceType>(t), 201, info);
        const bool dm9 = t == static_cast<int>(DeviceType::kDm9);
        EXPECT_EQ(info.versionLimited, dm9) << t;
        EXPECT_EQ(info.minVersion, dm9 ? 202u : 0u) << t;
        EXPECT_EQ(info.maxVersion, dm9 ? 999u : 0u) << t;
    }
}

TEST(BuildDeviceTypeInfo, TypesOutsideTheTableGiveUnknownAndClearTheRecord) {
    for (int t : {25, 26, 127, -1, -128}) {
        DeviceTypeInfo info;
        info.versionText = "RV70 2.07";
        info.versionLimited = true;
        info.maxVersion = 5;
        BuildDeviceTypeInfo(static_cast<DeviceType>(t), 207, info);
        EXPECT_EQ(info.type, DeviceType::kUnknown) << t;
        EXPECT_EQ(info.name, "UNKNOWN");
        EXPECT_FALSE(info.updatable);
        EXPECT_EQ(info.firmwareVersion, 207);
        EXPECT_TRUE(info.versionText.empty());
        EXPECT_FALSE(info.versionLimited);
        EXPECT_EQ(info.maxVersion, 0u);
        EXPECT_EQ(info.restartDelayMs, 7000u);
    }
}

struct ParseCase {
    const char* text;
    ResultCode result;
    DeviceType type;
    std::int32_t version;
};

TEST(ParseVersionText, ReadsCodeAndVersion) {
    const ParseCase cases[] = {
        {"RV70 2.07", 1, DeviceType::kRv70, 207},
        {"DM9 1.5", 1, DeviceType::kDm9, 150},
        {"TRU 3.651", 1, DeviceType::kTru, 365},
        {"TRU 3.65", 1, DeviceType::kTru, 365},
        {"rv70 1.03", 1, DeviceType::kRv70, 103},
        {"Dm9lsr 4.10 build 7", 1, DeviceType::kDm9Lsr, 410},
        {"  JQ\t 1.2x", 1, DeviceType::kJq, 120},
        {"XYZ 1.00", -30, DeviceType::kUnknown, 100},
        {"UNKNOWN 1.00", -30, DeviceType::kUnknown, 100},
        {"END 1.00", -30, DeviceType::kUnknown, 100},
        {"RV70 2", 1, DeviceType::kUnknown, 0},
        {"RV70", 1, DeviceType::kUnknown, 0},
    };
    for (const ParseCase& c : cases) {
        DeviceTypeInfo info;
        EXPECT_EQ(ParseVersionText(c.text, &info), c.result) << c.text;
        EXPECT_EQ(info.type, c.type) << c.text;
        EXPECT_EQ(info.firmwareVersion, c.version) << c.text;
        EXPECT_EQ(info.versionText, c.text) << c.text;
        EXPECT_STREQ(info.name.c_str(), DeviceTypeName(c.type)) << c.text;
    }
}

TEST(ParseVersionText, BuildsTheWholeRecordOfTheFoundType) {
    DeviceTypeInfo info;
    ASSERT_EQ(ParseVersionText("RV70 1.02", &info), 1);
    EXPECT_EQ(info.type, DeviceType::kRv70);
    EXPECT_FALSE(info.updatable);
    EXPECT_EQ(info.restartDelayMs, 6000u);

    ASSERT_EQ(ParseVersionText("DM9 2.01", &info), 1);
    EXPECT_EQ(info.name, "Dewmark 9");
    EXPECT_TRUE(info.versionLimited);
    EXPECT_EQ(info.minVersion, 202u);
    EXPECT_EQ(info.maxVersion, 999u);
    EXPECT_EQ(info.firmwareVersion, 201);

    ASSERT_EQ(ParseVersionText("JQ 1.00", &info), 1);
    EXPECT_EQ(info.loaderBaud, 57600u);
    EXPECT_TRUE(info.loaderOption);

    // The parse replaces everything a previous device left in the record.
    ASSERT_EQ(ParseVersionText("XYZ 1.00", &info), -30);
    EXPECT_EQ(info.loaderBaud, 9600u);
    EXPECT_FALSE(info.loaderOption);
    EXPECT_FALSE(info.updatable);
}

TEST(ParseVersionText, RejectsWithoutTouchingTheRecord) {
    const char* unreadable[] = {
        "RV70 2.",       // nothing after the point
        "RV70 2.x7",     // no minor digit
        "RV70 .07",      // no major number
        "RV70 2 .07",    // blank before the point
        "2.07",          // a number with no code before it
        "RV70 99999999999.12",     // more than a version number can hold
        "Rv70 99999999.11",        // major x 100 alone is past 32 bits
        "RV70 -99999999.11",
        "RV70 -2147483648.11",
        "RV70 -2.51",    // a signed number is no firmware version
        "RV70 +2.51",
        "TRU -0.9",
        "RV70 99999999999999999999999.11",
        "ABCDEFGHIJKLMNOPQRST 1.00",  // a first word of 20 characters is no code
    };
    for (const char* text : unreadable) {
        DeviceTypeInfo info;
        BuildDeviceTypeInfo(DeviceType::kTru, 365, info);
        info.versionText = "TRU 3.65";
        EXPECT_EQ(ParseVersionText(text, &info), -30) << text;
        EXPECT_EQ(info.type, DeviceType::kTru) << text;
        EXPECT_EQ(info.firmwareVersion, 365) << text;
        EXPECT_EQ(info.versionText, "TRU 3.65") << text;
    }
    DeviceTypeInfo info;
    info.firmwareVersion = 42;
    EXPECT_EQ(ParseVersionText(nullptr, &info), -10);
    EXPECT_EQ(ParseVersionText("", &info), -10);
    EXPECT_EQ(info.firmwareVersion, 42);
    EXPECT_EQ(ParseVersionText("RV70 2.07", nullptr), -10);
}

TEST(ParseVersionText, LongTextsAreReadWholeAndKeptCut) {
    DeviceTypeInfo info;
    // 19 characters is still a code (unknown here, so -30 with its version).
    EXPECT_EQ(ParseVersionText("ABCDEFGHIJKLMNOPQRS 1.23", &info), -30);
    EXPECT_EQ(info.firmwareVersion, 123);
    EXPECT_EQ(info.versionText, "ABCDEFGHIJKLMNOPQRS 1");

    const char* longText = "FLOWPACK 2.31 rev B 2021-07-14";
    EXPECT_EQ(ParseVersionText(longText, &info), 1);
    EXPECT_EQ(info.type, DeviceType::kFlowPack);
    EXPECT_EQ(info.firmwareVersion, 231);
    EXPECT_EQ(info.versionText, "FLOWPACK 2.31 rev B 2");
    EXPECT_EQ(info.versionText.size(), 21u);
}

TEST(SensorTypeName, NamesEveryDocumentedTypeAndNumbersTheRest) {
    auto rows = Cells(kDocumentedSensors);
    ASSERT_EQ(rows.size(), 25u);
    for (const auto& c : rows) {
        ASSERT_EQ(c.size(), 3u);
        const SensorType t = std::atoi(c[0].c_str());
        EXPECT_EQ(SensorTypeName(t), Unquote(c[2])) << t;
    }
    EXPECT_EQ(SensorTypeName(118), "Unknown Sensor (type 118)");
    EXPECT_EQ(SensorTypeName(126), "AQVEN-HX Sensor");
    for (SensorType t : {0, 101, 105, 106, 123, 128, 263, 265}) {
        EXPECT_EQ(SensorTypeName(t), "Unknown Sensor (type " + std::to_string(t) + ")");
    }
    // The widest number still fits the 31-character name.
    EXPECT_EQ(SensorTypeName(-1), "Unknown Sensor (type 4294967295");
}

}  // namespace
}  // namespace quor
