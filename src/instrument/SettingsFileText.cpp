#include "instrument/SettingsFileText.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "sdi12/QuorSDI12.h"

namespace quor::settingsfile {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

std::string_view StripCr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

}  // namespace

bool HasHeader(std::string_view text) {
    std::string_view header(kHeader);
    if (text.substr(0, header.size()) != header) return false;
    text.remove_prefix(header.size());
    return text.starts_with("\r\n") || text.starts_with("\n");
}

std::optional<std::string_view> FindValue(std::string_view text, std::string_view key) {
    if (key.empty()) return std::nullopt;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = StripCr(text.substr(pos, end - pos));
        if (line.size() >= key.size() + 2 && line.substr(0, key.size()) == key && line[key.size()] == '=' &&
            line[key.size() + 1] == '"') {
            std::string_view rest = line.substr(key.size() + 2);
            std::size_t close = rest.rfind('"');
            if (close == std::string_view::npos) return std::nullopt;
            return rest.substr(0, close);
        }
        pos = end + 1;
    }
    return std::nullopt;
}

Lookup ReadText(std::string_view text, std::string_view key, char* destination, std::size_t capacity) {
    std::optional<std::string_view> value = FindValue(text, key);
    if (!value) return Lookup::kMissing;
    if (value->empty()) return Lookup::kEmpty;
    if (value->find('\0') != std::string_view::npos) return Lookup::kBadText;
    if (capacity == 0 || value->size() > capacity - 1) return Lookup::kTooLong;
    std::memcpy(destination, value->data(), value->size());
    destination[value->size()] = '\0';
    return Lookup::kFound;
}

bool ParseInteger(std::string_view s, std::int64_t min, std::int64_t max, std::int64_t* value) {
    std::int64_t v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 10);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || v < min || v > max) return false;
    *value = v;
    return true;
}

Lookup ReadInteger(std::string_view text, std::string_view key, std::int64_t min, std::int64_t max,
                   std::int64_t* value) {
    std::optional<std::string_view> raw = FindValue(text, key);
    if (!raw) return Lookup::kMissing;
    return ParseInteger(*raw, min, max, value) ? Lookup::kFound : Lookup::kBadText;
}

Lookup ReadDouble(std::string_view text, std::string_view key, double min, double max, double* value) {
    std::optional<std::string_view> raw = FindValue(text, key);
    if (!raw) return Lookup::kMissing;
    std::string_view s = *raw;
    // "%+.5f" writes a plus sign, which from_chars does not take.
    if (s.size() > 1 && s[0] == '+' && s[1] != '-') s.remove_prefix(1);
    double v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::fixed);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v) || v < min || v > max) {
        return Lookup::kBadText;
    }
    *value = v;
    return Lookup::kFound;
}

Lookup ReadByteList(std::string_view text, std::string_view key, std::uint8_t (&values)[kPortCount]) {
    std::optional<std::string_view> raw = FindValue(text, key);
    if (!raw) return Lookup::kMissing;
    std::uint8_t read[kPortCount] = {};
    std::string_view s = *raw;
    for (int i = 0; i < kPortCount; ++i) {
        std::size_t start = s.find_first_not_of(' ');
        if (start == std::string_view::npos) return Lookup::kBadText;
        s.remove_prefix(start);
        std::size_t stop = s.find(' ');
        std::string_view word = s.substr(0, stop);
        std::int64_t v = 0;
        if (!ParseInteger(word, 0, 255, &v)) return Lookup::kBadText;
        read[i] = static_cast<std::uint8_t>(v);
        s.remove_prefix(word.size());
    }
    if (s.find_first_not_of(' ') != std::string_view::npos) return Lookup::kBadText;
    std::memcpy(values, read, sizeof read);
    return Lookup::kFound;
}

FileLines::FileLines() {
    lines.push_back(std::string(kHeader) + "\r\n\r\n");
}

void FileLines::Add(std::string_view key, std::string_view value) {
    std::string line(key);
    line += "=\"";
    if (value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos) {
        line += value;
    } else {
        leftOut.emplace_back(key);
    }
    line += '"';
    line += kLineEnd;
    lines.push_back(std::move(line));
}

void FileLines::AddFormatted(std::string_view key, const char* format, ...) {
    char value[512];
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(value, sizeof value, format, ap);
    va_end(ap);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof value) {
        // No number of ours is that long; an unreadable value is left out
        // rather than cut.
        leftOut.emplace_back(key);
        value[0] = '\0';
    }
    Add(key, value);
}

std::string FileLines::Text() const {
    std::string text;
    for (const std::string& line : lines) text += line;
    return text;
}

const char* LoggerFileTypeName(DeviceType type) {
    switch (type) {
        case DeviceType::kRv7b: return "Rv7b";
        case DeviceType::kRv70: return "Rv70";
        case DeviceType::kCk: return "Corvalink";
        case DeviceType::kKl3: return "kL3";
        case DeviceType::kZrl: return "ZRL2";
        default: return "";
    }
}

namespace {

void AddByteList(FileLines& out, std::string_view key, const std::uint8_t (&v)[kPortCount]) {
    out.AddFormatted(key, "%u %u %u %u %u", v[0], v[1], v[2], v[3], v[4]);
}

void AddRecords(FileLines& out, const char* name, const RecordSet& set) {
    if (!set.HasArray()) return;
    int count = set.count < kMaxRecords ? set.count : kMaxRecords;
    for (int i = 0; i < count && !set.records[i].value.empty(); ++i) {
        char key[16];
        std::snprintf(key, sizeof key, "%s%02d", name, i);
        out.Add(key, set.records[i].value.view());
    }
}

void AddCal(FileLines& out, int index, const FixedText<128>& value) {
    char key[8];
    std::snprintf(key, sizeof key, "cal%02d", index);
    out.Add(key, value.view());
}

}  // namespace

void BuildLoggerLines(DeviceType type, const LoggerSettings& s, FileLines& out) {
    out.Add("type", s.familyName.empty() ? LoggerFileTypeName(type) : s.familyName.c_str());
    out.Add("deviceid", s.deviceId.view());
    out.Add("name", s.deviceName.view());
    out.Add("sn", s.serialNumber.view());
    out.AddFormatted("trait", "%d", static_cast<int>(static_cast<std::int32_t>(s.trait)));
    out.AddFormatted("wake", "%d", static_cast<int>(s.wakeInterval));
    out.AddFormatted("padc", "%d", static_cast<int>(s.padc));
    AddByteList(out, "ports", s.ports);
    AddByteList(out, "depth", s.depths);
    if (s.validMask & req::kAdc15) {
        AddByteList(out, "ADC15 slopes", s.adc15Slopes);
        AddByteList(out, "ADC15 offsets", s.adc15Offsets);
    }
    if (s.validMask & req::kAdc30) {
        AddByteList(out, "ADC30 slopes", s.adc30Slopes);
        AddByteList(out, "ADC30 offsets", s.adc30Offsets);
    }
    out.AddFormatted("rmode", "%d", static_cast<int>(s.rmode));
    out.AddFormatted("rch", "%d", static_cast<int>(s.radioChannel));
    out.AddFormatted("rsch", "%d", static_cast<int>(s.radioSubchannel));
    out.AddFormatted("data", "%d", static_cast<int>(s.dataParameter));
    out.Add("site", s.site.view());
    out.AddFormatted("lat", "%+.5f", s.latitude);
    out.AddFormatted("lon", "%+.5f", s.longitude);
    out.AddFormatted("timezone", "%d", static_cast<int>(s.timeZone));
    out.AddFormatted("report", "%u", static_cast<unsigned>(s.reportMode));
    out.Add("apn", s.apn.view());
    out.Add("user", s.apnUser.view());
    out.Add("passwd", s.apnPassword.view());
    out.Add("host", s.remoteHost.view());
    out.Add("authkey", s.authKey.view());
    out.AddFormatted("ipport", "%u", static_cast<unsigned>(s.ipPort));
    if (s.validMask & req::kQuorBuild) out.Add("QuorBuild", s.quorBuild.view());
    out.AddFormatted(kSelectionKey, "%u", static_cast<unsigned>(s.validMask));
}

void BuildInstrumentLines(DeviceType type, const InstrumentSettings& s, const RecordSet& userRecords,
                          const RecordSet& eqnRecords, FileLines& out) {
    out.Add("type", DeviceTypeCode(type));
    out.Add("name", s.name.view());
    out.Add("sn", s.serialNumber.view());
    out.AddFormatted("lang", "%ld", static_cast<long>(s.lang));
    out.Add("QuorBuild", s.quorBuild.view());
    out.AddFormatted("contr", "%ld", static_cast<long>(s.contr));
    out.Add("config", s.config.view());
    out.Add("fvals", s.fvals.view());
    out.Add("uvals", s.uvals.view());
    out.AddFormatted("units", "%ld", static_cast<long>(s.units));
    out.Add("adc", s.adc.view());
    out.Add("adccal", s.adccal.view());
    out.Add("calprefs", s.calprefs.view());
    out.Add("PCUnits", s.pcUnits.view());
    out.Add("sample", s.sample.view());
    out.Add("usage", s.usage.view());
    out.Add("adc15", s.adc15.view());
    out.Add("adc30", s.adc30.view());
    out.Add("location", s.location.view());
    out.Add("chai", s.chai.view());
    out.Add("extCal", s.extCal.view());
    out.Add("tadj", s.tadj.view());
    out.AddFormatted("tau", "%ld", static_cast<long>(s.tau));
    out.Add("hadj", s.hadj.view());
    if (type == DeviceType::kJq) {
        for (int i = 0; i < inst::kCalEntries && !s.cal[i].empty(); ++i) AddCal(out, i, s.cal[i]);
    } else if (type == DeviceType::kDm9Lsr) {
        // All six tuning values, numbered from cal00 as the reader takes them.
        for (int i = 0; i < inst::kTuningValues; ++i) AddCal(out, i, s.cal[i]);
    }
    AddRecords(out, "user", userRecords);
    AddRecords(out, "eqn", eqnRecords);
    // Settings that older files did not carry.
    out.Add("wtoffset", s.wtoffset.view());
    out.Add("auto", s.autoSec.view());
    out.Add("wtfactory", s.wtfactory.view());
    out.Add("sys", s.sys.view());
    out.AddFormatted(kSelectionKey, "%u", static_cast<unsigned>(s.selection));
}

void BuildSensorLines(const QuorSDI12& sensor, FileLines& out) {
    out.Add("type", "Digital Sensor");
    out.Add("identity", sensor.Identification());
    char address = sensor.Address();
    out.Add("address", std::string_view(&address, address == '\0' ? 0 : 1));
    out.AddFormatted("addressInt", "%i", static_cast<int>(static_cast<unsigned char>(address)));
    out.Add("calibration", sensor.X5Calibration());
    out.Add("calibration2", sensor.XaCalibration());
    out.Add("sn", sensor.SerialNumber());
    // Keys older files lack: without them a restore cannot tell the type's
    // calibration parts, nor write Xg back.
    if (sensor.SensorTypeKnown()) out.AddFormatted("sensortype", "%d", static_cast<int>(sensor.SensorType()));
    if (sensor.XgPresent()) out.Add("calibration3", sensor.XgCalibration());
}

}  // namespace quor::settingsfile
