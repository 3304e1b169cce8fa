// The instrument types: what each one's firmware has, the values a device
// in use holds and the values a freshly programmed one starts with.

#include <cstdlib>
#include <initializer_list>

#include "sim/instrument/InstrumentModel.h"

namespace quor::sim {

namespace {

// One setting of a type: its check, the value of a device in use and the
// factory value.
struct Row {
    const char* key;
    ValueKind kind;
    long min;
    long max;
    const char* initial;
    const char* factory;
    std::int32_t fromVersion;
};

constexpr Row Text(const char* key, const char* initial, const char* factory,
                   std::int32_t from = 0) {
    return {key, ValueKind::kText, 0, 0, initial, factory, from};
}
constexpr Row Int(const char* key, long min, long max, const char* initial, const char* factory,
                  std::int32_t from = 0) {
    return {key, ValueKind::kInteger, min, max, initial, factory, from};
}
constexpr Row Digits(const char* key, const char* initial, const char* factory,
                     std::int32_t from = 0) {
    return {key, ValueKind::kDigits, 0, 0, initial, factory, from};
}
constexpr Row Serial(const char* initial, std::int32_t from = 0) {
    return {"sn", ValueKind::kSerial, 0, 0, initial, "000000", from};
}

// The loader column of the type table: rates, address form and memory map.
struct LoaderRow {
    std::uint32_t restartDelayMs;  // what the updater waits; the device is back in half of it
    std::uint32_t loaderBaud;
    bool fiveDigits;
    std::uint32_t infoStart;
    std::uint32_t infoSegments;
    std::uint32_t infoSegmentSize;
};

constexpr LoaderRow kSmallMap(std::uint32_t delayMs) {
    return {delayMs, 9600, false, 0x1000, 2, 128};
}

struct TypeRow {
    const char* code;
    std::int32_t number;
    const char* version;
    bool login;
    bool battery;
    bool erase;
    bool quorSeconds;
    bool dateTime;
    LoaderRow loader;
};

// clang-format off
constexpr TypeRow kTypes[] = {
    // code       number version          login  battery erase  qsec   date   loader
    {"DMINI",     6,  "DMINI 1.22",     true,  false, false, false, false, kSmallMap(8500)},
    {"TQ",        7,  "TQ 2.31",        false, true,  true,  false, true,  kSmallMap(7000)},
    {"LG40",      8,  "LG40 2.03",      false, false, true,  true,  false, kSmallMap(3000)},
    {"FG",        9,  "FG 1.42",        false, true,  true,  false, true,  kSmallMap(7000)},
    {"DSKT",      11, "DSKT 1.12",      false, false, true,  true,  false, kSmallMap(2000)},
    {"S7K",       12, "S7K 3.58",       true,  false, false, false, false, kSmallMap(2000)},
    {"HJD",       13, "HJD 1.30",       false, true,  false, false, false, kSmallMap(7000)},
    {"JQ",        14, "JQ 3.12",        false, true,  true,  true,  false, {2000, 57600, true, 0x1000, 3, 64}},
    {"DM9",       15, "DM9 2.07",       true,  false, true,  true,  false, {14000, 57600, true, 0x1000, 3, 64}},
    {"HSR",       16, "HSR 1.16",       false, false, true,  true,  false, {8000, 57600, true, 0x1800, 3, 128}},
    {"PX7T",      17, "PX7T 1.05",      true,  false, false, false, false, kSmallMap(2000)},
    {"TRU",       20, "TRU 3.64",       true,  false, false, false, false, kSmallMap(2000)},
    {"DM9LSR",    22, "DM9LSR 1.03",    false, false, true,  true,  false, {8000, 57600, true, 0x1800, 4, 128}},
    {"TWI",       23, "TWI 1.21",       false, true,  true,  true,  false, {8000, 57600, true, 0x1000, 3, 64}},
    {"FLOWPACK",  24, "FLOWPACK 1.02",  false, true,  false, false, false, {2000, 9600, false, 0x1000, 3, 64}},
};
// clang-format on

std::vector<Row> SettingsOf(const std::string& code) {
    if (code == "DMINI")
        return {Serial("DMN-20931"),
                Int("lang", 0, 9, "2", "0"),
                Int("contr", 0, 63, "38", "32"),
                Text("fvals", "0.9981 1.0042 -0.0031", "1.0000 1.0000 0.0000"),
                Text("uvals", "12.5 80.0 3", "0 0 0"),
                Text("hadj", "1.0125", "1.0000"),
                Int("tau", 0, 3600, "45", "30")};
    if (code == "TQ")
        return {Serial("TQ9-118204"), Int("contr", 0, 63, "20", "32"), Int("units", 0, 3, "1", "0"),
                Text("adc", "512 498 1", "500 500 0"), Text("sample", "10 3 avg", "1 1 avg")};
    if (code == "LG40")
        return {Text("adccal", "1.0021 -0.0043", "1.0000 0.0000"),
                Text("loc", "Greenhouse 4, bench 2", "Unnamed"),
                Text("x", "0.412", "0.500"),
                Text("ext", "1", "0"),
                Serial("LG4-3310", 200),
                Int("contr", 0, 63, "41", "32", 200),
                Digits("config", "18", "0", 200)};
    if (code == "FG")
        return {Serial("FG-00731"), Int("contr", 0, 63, "30", "32"),
                Text("fvals", "1.013 0.987 0.002", "1.000 1.000 0.000"),
                Int("units", 0, 3, "2", "0")};
    if (code == "DSKT")
        return {Serial("KT-5521"),
                Text("adccal", "0.9974 0.0012", "1.0000 0.0000"),
                Text("wtoffset", "-0.015", "0.000"),
                Text("auto", "600", "0"),
                Text("wtfactory", "1.0021", "1.0000"),
                Text("sys", "3 1 0 2", "0 0 0 0")};
    if (code == "S7K")
        return {Text("adccal", "1.0004 -0.0019", "1.0000 0.0000"), Digits("config", "4127", "0")};
    if (code == "HJD") return {Text("i", "FIELD7", "NONAME"), Serial("HJD-0912")};
    if (code == "JQ")
        return {Text("i", "PALO3", "NONAME"), Serial("JQ-31277"), Int("contr", 0, 63, "25", "32"),
                Text("adc15", "121 21 122 22 30", "128 1 128 1 2"),
                Text("adc30", "101 11 102 12 226", "128 1 128 1 2")};
    if (code == "DM9")
        return {Serial("DM9-40117"), Digits("config", "3046712345", "1000000000"),
                Text("tadj", "0.35", "0.00"),
                Text("pvuser", "1.02 0.98 0.01", "1.00 1.00 0.00", 205)};
    if (code == "HSR")
        return {Serial("HSR-7720"),
                Digits("config", "77120", "0"),
                Text("p", "101.325", "100.000"),
                Text("pv", "2.338", "0.000"),
                Text("c76", "7.6 1.2 0.3", "0 0 0"),
                Text("tadj", "-0.12", "0.00")};
    if (code == "PX7T") return {Serial("PX7-0415"), Digits("config", "2210", "0")};
    if (code == "TRU") return {Serial("TRU-004711"), Digits("config", "1123", "0")};
    if (code == "DM9LSR")
        return {Serial("LSR-1182"),
                Text("p0", "12.01", "0.00"),
                Text("p3", "3.30", "0.00"),
                Text("p5", "5.07", "0.00"),
                Text("lwidth", "0.85", "1.00"),
                Text("ltemp", "24.6", "25.0"),
                Text("current", "41.2", "40.0"),
                Digits("config", "2046713", "1000000000"),
                Text("tadj", "0.18", "0.00")};
    if (code == "TWI")
        return {Serial("TWI-0077"),
                Int("contr", 0, 63, "35", "32"),
                Text("usage", "inner 10cm outer 20cm", "default"),
                Text("p", "2.5", "0.0"),
                Text("units", "cm/h", "mm/h"),
                Text("tadj", "0.05", "0.00")};
    if (code == "FLOWPACK") return {Serial("FP-2291")};
    return {};
}

void ListsOf(const std::string& code, InstrumentProfile& p) {
    if (code == "JQ") {
        p.calibrationCapacity = 20;
        p.initial.calibration = {"0.1012 3.21", "0.2230 3.05", "0.3318 2.97", "0.4473 2.90",
                                 "0.5521 2.81", "0.6690 2.77", "0.7714 2.70", "0.8830 2.64"};
        p.factory.calibration.assign(p.initial.calibration.size(), "0.0000 1.00");
    }
    const bool equations = code == "DM9" || code == "DM9LSR";
    const bool users = equations || code == "HSR";
    if (equations) {
        p.equationCapacity = 100;
        // Names are the first word, '_' for a blank and '`' for a comma; kept unsorted.
        p.initial.equations = {"Potting_Mix 0.2 2.887e-4 -0.7243",
                               "Mineral_Soil 0.1 3.879e-4 -0.6956", "rockwool 0.3 1.210e-4 -0.1120",
                               "Coir`Perlite 0.4 2.100e-4 -0.5500"};
        p.factory.equations = {"Mineral_Soil 0.1 3.879e-4 -0.6956"};
    }
    if (users) {
        p.userCapacity = 25;
        p.initial.users = {EncodeUserRecord("beta"), EncodeUserRecord("Alpha"),
                           EncodeUserRecord("alpha")};
    }
}

}  // namespace

const std::vector<std::string>& InstrumentCodes() {
    static const std::vector<std::string> codes = [] {
        std::vector<std::string> c;
        for (const TypeRow& t : kTypes) c.emplace_back(t.code);
        return c;
    }();
    return codes;
}

std::string InstrumentCodeOf(std::int32_t typeNumber) {
    for (const TypeRow& t : kTypes) {
        if (t.number == typeNumber) return t.code;
    }
    return {};
}

std::unique_ptr<InstrumentProfile> InstrumentProfileFor(std::string_view code,
                                                        std::string_view versionText) {
    for (const TypeRow& t : kTypes) {
        if (code != t.code) continue;
        auto p = std::make_unique<InstrumentProfile>();
        p->code = t.code;
        p->typeNumber = t.number;
        p->versionText = versionText.empty() ? std::string(t.version) : std::string(versionText);
        p->needsLogin = t.login;
        p->hasBattery = t.battery;
        p->hasDataErase = t.erase;
        p->quorSecondsClock = t.quorSeconds;
        p->dateTimeClock = t.dateTime;
        p->hasSensorType = p->code == "DM9";
        for (const Row& r : SettingsOf(p->code)) {
            p->settings.push_back({r.key, r.kind, r.min, r.max, r.fromVersion});
            p->initial.settings[r.key] = r.initial;
            p->factory.settings[r.key] = r.factory;
        }
        ListsOf(p->code, *p);
        p->loader.applicationBaud = 9600;
        p->loader.loaderBaud = t.loader.loaderBaud;
        p->loader.fiveDigitAddresses = t.loader.fiveDigits;
        p->loader.infoStart = t.loader.infoStart;
        p->loader.infoSegments = t.loader.infoSegments;
        p->loader.infoSegmentSize = t.loader.infoSegmentSize;
        p->loader.restartDelayUs = std::uint64_t{t.loader.restartDelayMs} * 1000 / 2;
        return p;
    }
    return nullptr;
}

}  // namespace quor::sim
