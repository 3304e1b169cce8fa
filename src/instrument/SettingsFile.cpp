// The settings file: WriteInfoFile, ReadInfoFile and GetRecords_File.
//
// The file is the only copy of a device's settings once its flash is
// erased, so it is never rewritten in place: the new text goes to a
// temporary file in the same folder, is flushed to the disk and then
// renamed over the old file. Any failure removes the temporary file and
// leaves the previous file as it was.

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "instrument/Quor_protocol.h"
#include "instrument/SettingsFileText.h"
#include "logger/ValueRanges.h"
#include "platform/FileOps.h"

namespace quor {

namespace sf = settingsfile;

namespace {

bool IsLoggerType(DeviceType t) {
    return t == DeviceType::kRv7b || t == DeviceType::kRv70 || t == DeviceType::kCk || t == DeviceType::kKl3 ||
           t == DeviceType::kZrl;
}

bool HasNoSettingsFile(DeviceType t) {
    int n = static_cast<int>(t);
    return n < 1 || n > 24 || t == DeviceType::kRv7 || t == DeviceType::kWk;
}

const char* RecordName(int kind) {
    return kind == kEqnRecordKind ? "eqn" : (kind == kUserRecordKind ? "user" : nullptr);
}

// Where a safe replacement failed: the step and its errno.
struct WriteFailure {
    int error = 0;  // errno, positive; 0: no failure
    const char* step = "";
};

WriteFailure WriteAll(platform::FileOps& ops, int handle, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        long n = ops.Write(handle, data.data() + done, data.size() - done);
        // A write that takes nothing would never finish: a disk problem.
        if (n <= 0) return {n < 0 ? static_cast<int>(-n) : EIO, "write"};
        done += static_cast<std::size_t>(n);
    }
    return {};
}

// Writes the lines to a temporary file next to path, flushes it to the
// disk and renames it over path. On failure path is untouched.
WriteFailure ReplaceFile(platform::FileOps& ops, const std::string& path, const std::vector<std::string>& lines) {
    std::string temp;
    int handle = ops.CreateTemp(path, &temp);
    if (handle < 0) return {-handle, "open"};
    WriteFailure failure;
    for (const std::string& line : lines) {
        failure = WriteAll(ops, handle, line);
        if (failure.error) break;
    }
    if (!failure.error) {
        int r = ops.Sync(handle);
        if (r < 0) failure = {-r, "flush to disk"};
    }
    int closed = ops.Close(handle);
    if (!failure.error && closed < 0) failure = {-closed, "close"};
    if (!failure.error) {
        int r = ops.Rename(temp, path);
        if (r < 0) failure = {-r, "replace"};
    }
    if (failure.error) ops.Remove(temp);
    return failure;
}

// One family reader's view of the file: the lookups, the bits of what was
// found, and what deserves a log line. With a selection key in the file a
// value counts only when the capture had read it.
class FileReader {
public:
    explicit FileReader(std::string_view text) : text_(text) {
        std::optional<std::string_view> raw = sf::FindValue(text, sf::kSelectionKey);
        std::int64_t v = 0;
        if (raw && sf::ParseInteger(*raw, 0, std::numeric_limits<std::uint32_t>::max(), &v)) {
            selection_ = static_cast<std::uint32_t>(v);
        } else if (raw) {
            notes_.push_back("ReadInfoFile found an unreadable selection; every key found is restored");
        }
    }

    std::string_view text() const { return text_; }
    bool HasSelection() const { return selection_.has_value(); }
    bool Allowed(std::uint32_t bit) const { return !selection_ || (*selection_ & bit) == bit; }
    std::uint32_t found = 0;

    template <std::size_t N>
    bool Text(const char* key, FixedText<N>& field, std::uint32_t bit) {
        if (!Allowed(bit)) return false;
        return Count(key, sf::ReadText(text_, key, field), bit, N);
    }

    // An integer of the setting's range into a signed 32-bit field. The
    // logger refuses to send most values outside their range by itself.
    bool Int32(const char* key, std::int32_t& field, std::uint32_t bit, range::IntRange limits = range::kAnyInt32) {
        std::int64_t v = 0;
        if (!Number(key, limits.min, limits.max, &v, bit)) return false;
        field = static_cast<std::int32_t>(v);
        return true;
    }

    // A number written with "%u" from a 32-bit field; it goes back bit for bit.
    template <typename T>
    bool Unsigned32(const char* key, T& field, std::uint32_t bit) {
        std::int64_t v = 0;
        if (!Number(key, 0, std::numeric_limits<std::uint32_t>::max(), &v, bit)) return false;
        field = static_cast<T>(static_cast<std::uint32_t>(v));
        return true;
    }

    bool Number(const char* key, std::int64_t min, std::int64_t max, std::int64_t* value, std::uint32_t bit) {
        if (!Allowed(bit)) return false;
        return Count(key, sf::ReadInteger(text_, key, min, max, value), bit, 0);
    }

    bool Double(const char* key, double min, double max, double& field, std::uint32_t bit) {
        if (!Allowed(bit)) return false;
        return Count(key, sf::ReadDouble(text_, key, min, max, &field), bit, 0);
    }

    bool Bytes(const char* key, std::uint8_t (&field)[kPortCount], std::uint32_t bit) {
        if (!Allowed(bit)) return false;
        return Count(key, sf::ReadByteList(text_, key, field), bit, 0);
    }

    const std::vector<std::string>& notes() const { return notes_; }

private:
    bool Count(const char* key, sf::Lookup lookup, std::uint32_t bit, std::size_t capacity) {
        char note[160];
        switch (lookup) {
            case sf::Lookup::kFound:
                found |= bit;
                return true;
            case sf::Lookup::kTooLong:
                std::snprintf(note, sizeof note, "ReadInfoFile found %s longer than its %zu characters; not restored",
                              key, capacity);
                notes_.emplace_back(note);
                return false;
            case sf::Lookup::kBadText:
                std::snprintf(note, sizeof note, "ReadInfoFile found an unreadable %s value; not restored", key);
                notes_.emplace_back(note);
                return false;
            default:
                return false;
        }
    }

    std::string_view text_;
    std::optional<std::uint32_t> selection_;
    std::vector<std::string> notes_;
};

bool TypeLineIs(std::string_view text, std::initializer_list<const char*> accepted, std::string* seen) {
    std::optional<std::string_view> value = sf::FindValue(text, "type");
    *seen = value ? std::string(*value) : std::string();
    if (!value) return false;
    for (const char* name : accepted) {
        if (*value == name) return true;
    }
    return false;
}

constexpr std::uint32_t kTraitBits = kTraitKnown | 0xFF;
constexpr range::IntRange kTraitRange{0, kTraitBits};

bool IsSdi12Address(std::int64_t c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

ResultCode Quor_protocol::WriteInfoFile(const char* path) {
    if (!path || !*path) return rc::kMissingArgument;
    sf::FileLines lines;
    if (IsLoggerType(deviceType_)) {
        sf::BuildLoggerLines(deviceType_, loggerSettings_, lines);
    } else if (deviceType_ == DeviceType::kAqvenHx) {
        sf::BuildSensorLines(*sdi12_, lines);
    } else {
        sf::BuildInstrumentLines(deviceType_, instrument_, userRecords_, eqnRecords_, lines);
    }
    for (const std::string& key : lines.leftOut) {
        Log(1, "WriteInfoFile left %s out of the settings file: its value holds a line end or a NUL", key.c_str());
    }
    platform::FileOps& ops = fileOps_ ? *fileOps_ : platform::SystemFileOps();
    WriteFailure failure = ReplaceFile(ops, path, lines.lines);
    if (failure.error) {
        if (std::string_view(failure.step) == "open") {
            Log(1, "WriteInfoFile got error %d trying to open settings file %s", failure.error, path);
        } else {
            Log(1, "WriteInfoFile got error %d trying to %s settings file %s; the previous file is kept",
                failure.error, failure.step, path);
        }
        return -failure.error;
    }
    // The file is complete in place; only its survival of a power loss in
    // the next moments is in doubt.
    int synced = ops.SyncFolderOf(path);
    if (synced < 0) Log(10, "WriteInfoFile got error %d trying to flush the folder of settings file %s", -synced, path);
    return rc::kOk;
}

ResultCode Quor_protocol::ReadInfoFile(const char* path) {
    if (!path || !*path) return rc::kMissingArgument;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        int error = errno;
        Log(30, "ReadInfoFile got error %d trying to open settings file %s", error, path);
        switch (error) {
            case ENOENT: return rc::kSettingsFileMissing;
            case EACCES: return rc::kSettingsFileUnreadable;
            case EBADF: return rc::kSettingsFileUnreadable2;
            default: return error > 0 ? -error : rc::kSettingsFileUnreadable;
        }
    }
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[sf::kMaxFileBytes + 1]);
    if (!buffer) {
        std::fclose(file);
        return rc::kOutOfMemory;
    }
    // One byte more than allowed tells a file that is too large.
    std::size_t size = std::fread(buffer.get(), 1, sf::kMaxFileBytes + 1, file);
    bool failed = std::ferror(file) != 0;
    int error = errno;
    std::fclose(file);
    if (failed) {
        Log(1, "ReadInfoFile got error %d trying to read settings file %s", error, path);
        return rc::kSettingsFileUnreadable;
    }
    if (size > sf::kMaxFileBytes) {
        Log(1, "ReadInfoFile refused settings file %s: larger than %zu bytes", path, sf::kMaxFileBytes);
        return rc::kSettingsFileTooLarge;
    }
    std::string_view text(buffer.get(), size);

    if (HasNoSettingsFile(deviceType_)) return rc::kNotForThisDevice;
    if (!sf::HasHeader(text)) {
        Log(1, "ReadInfoFile found no settings file header in %s", path);
        return rc::kUnreadableAnswer;
    }
    if (IsLoggerType(deviceType_)) return ReadLoggerFile(text);
    if (deviceType_ == DeviceType::kAqvenHx) return ReadSensorFile(text);
    return ReadInstrumentFile(text);
}

ResultCode Quor_protocol::ReadLoggerFile(std::string_view text) {
    std::string seen;
    bool typeOk = false;
    switch (deviceType_) {
        case DeviceType::kRv70:
        case DeviceType::kKl3: typeOk = TypeLineIs(text, {"Rv70", "kL3"}, &seen); break;
        // A ZRL writes its own family name; files naming the Rv70 family
        // were read for it before.
        case DeviceType::kZrl: typeOk = TypeLineIs(text, {"ZRL2", "Rv70", "kL3"}, &seen); break;
        case DeviceType::kRv7b: typeOk = TypeLineIs(text, {"Rv7b"}, &seen); break;
        case DeviceType::kCk: typeOk = TypeLineIs(text, {"Corvalink"}, &seen); break;
        default: break;
    }
    if (!typeOk) {
        Log(1, "ReadInfoFile found a settings file of type \"%s\", not one for a %s", seen.c_str(),
            DeviceTypeCode(deviceType_));
        return rc::kUnreadableAnswer;
    }

    FileReader r(text);
    LoggerSettings s;
    s.familyName = seen;
    auto radioSubchannel = [&](bool exactTrait) {
        if (!r.Int32("rsch", s.radioSubchannel, req::kRadioSubchannel)) return;
        // A radio subchannel means a radio is present.
        r.found |= req::kRadioSubchannel | req::kTrait;
        s.trait = exactTrait ? (kTraitKnown | kTraitRadio) : (s.trait | kTraitKnown | kTraitRadio);
    };

    if (deviceType_ == DeviceType::kRv7b) {
        r.Text("name", s.deviceName, req::kName);
        r.Text("sn", s.serialNumber, req::kSerialNumber);
        r.Int32("wake", s.wakeInterval, req::kWake);
        r.Int32("padc", s.padc, req::kPadc);
        if (!r.Bytes("ports", s.ports, req::kPorts) && r.Allowed(req::kPorts)) {
            // An older form: one key per port; a missing one repeats the
            // number before it.
            std::int64_t number = 0;
            for (int i = 0; i < kPortCount; ++i) {
                char key[32];
                std::snprintf(key, sizeof key, "Port number=\"%d\" value", i + 1);
                std::int64_t v = 0;
                if (sf::ReadInteger(text, key, 0, 255, &v) == sf::Lookup::kFound) number = v;
                s.ports[i] = static_cast<std::uint8_t>(number);
            }
            if (s.ports[kPortCount - 1] > 0) r.found |= req::kPorts;
        }
        r.Text("QuorBuild", s.quorBuild, req::kQuorBuild);
        s.capabilities = 0x474BE;
    } else if (deviceType_ == DeviceType::kCk) {
        r.Text("name", s.deviceName, req::kName);
        r.Text("sn", s.serialNumber, req::kSerialNumber);
        r.Int32("rch", s.radioChannel, req::kRadioChannel);
        radioSubchannel(true);
        r.Int32("data", s.dataParameter, req::kDataParameter);
        s.capabilities = 0x24583;
    } else {
        r.Text("deviceid", s.deviceId, req::kDeviceId);
        r.Text("name", s.deviceName, req::kName);
        r.Text("sn", s.serialNumber, req::kSerialNumber);
        // Written with "%d"; a trait is the feature byte and its known bit,
        // nothing else. Its set sends only the byte, so a wider value would
        // go out as some other trait.
        std::int32_t trait = 0;
        if (r.Int32("trait", trait, req::kTrait, kTraitRange)) {
            if ((static_cast<std::uint32_t>(trait) & ~kTraitBits) == 0) {
                s.trait = static_cast<std::uint32_t>(trait);
            } else {
                r.found &= ~req::kTrait;  // bits between the byte and the known bit: no capture's
            }
        }
        r.Int32("wake", s.wakeInterval, req::kWake);
        r.Int32("padc", s.padc, req::kPadc);
        r.Bytes("ports", s.ports, req::kPorts);
        r.Bytes("depth", s.depths, req::kDepth);
        auto adcPair = [&](const char* slopesKey, const char* offsetsKey, std::uint8_t (&slopes)[kAdcPairs],
                           std::uint8_t (&offsets)[kAdcPairs], std::uint32_t bit) {
            if (!r.Allowed(bit)) return;
            sf::ReadByteList(text, slopesKey, slopes);
            bool offsetsRead = sf::ReadByteList(text, offsetsKey, offsets) == sf::Lookup::kFound;
            auto plausible = [](std::uint8_t v) { return v != 0 && v != 255; };
            if (offsetsRead && plausible(slopes[0]) && plausible(offsets[0])) r.found |= bit;
        };
        adcPair("ADC15 slopes", "ADC15 offsets", s.adc15Slopes, s.adc15Offsets, req::kAdc15);
        adcPair("ADC30 slopes", "ADC30 offsets", s.adc30Slopes, s.adc30Offsets, req::kAdc30);
        r.Text("QuorBuild", s.quorBuild, req::kQuorBuild);
        r.Int32("data", s.dataParameter, req::kDataParameter);
        r.Int32("rmode", s.rmode, req::kRmode);
        r.Int32("rch", s.radioChannel, req::kRadioChannel);
        radioSubchannel(false);
        r.Text("site", s.site, req::kSite);
        r.Double("lat", -90.0, 90.0, s.latitude, req::kLatitude);
        r.Double("lon", -180.0, 180.0, s.longitude, req::kLongitude);
        r.Int32("timezone", s.timeZone, req::kTimeZone);
        r.Unsigned32("report", s.reportMode, req::kReport);
        r.Text("apn", s.apn, req::kApn);
        r.Text("user", s.apnUser, req::kApnUser);
        r.Text("passwd", s.apnPassword, req::kApnPassword);
        r.Text("host", s.remoteHost, req::kHost);
        r.Text("authkey", s.authKey, req::kAuthKey);
        r.Unsigned32("ipport", s.ipPort, req::kIpPort);
        s.capabilities = 0x707FFF7;
    }
    for (const std::string& note : r.notes()) Log(10, "%s", note.c_str());
    s.validMask = r.found;
    loggerSettings_ = s;
    capturedSelection_ = r.found;
    return rc::kOk;
}

ResultCode Quor_protocol::ReadInstrumentFile(std::string_view text) {
    std::string seen;
    bool typeOk = false;
    switch (deviceType_) {
        // The FG's files name it by its device code; the reader once asked
        // for "ZK", so both are read.
        case DeviceType::kFg: typeOk = TypeLineIs(text, {"FG", "ZK"}, &seen); break;
        case DeviceType::kDMini:
        case DeviceType::kTq:
        case DeviceType::kLg40:
        case DeviceType::kDskt:
        case DeviceType::kS7k:
        case DeviceType::kHjd:
        case DeviceType::kJq:
        case DeviceType::kDm9:
        case DeviceType::kHsr:
        case DeviceType::kPx7t:
        case DeviceType::kTru:
        case DeviceType::kDm9Lsr:
        case DeviceType::kTwi:
        case DeviceType::kFlowPack: typeOk = TypeLineIs(text, {DeviceTypeCode(deviceType_)}, &seen); break;
        default: TypeLineIs(text, {}, &seen); break;
    }
    if (!typeOk) {
        Log(1, "ReadInfoFile found a settings file of type \"%s\", not one for a %s", seen.c_str(),
            DeviceTypeCode(deviceType_));
        return rc::kUnreadableAnswer;
    }

    FileReader r(text);
    InstrumentSettings s;
    s.type = deviceType_;
    auto sn = [&] { r.Text("sn", s.serialNumber, inst::kSerialNumber); };
    auto config = [&] { r.Text("config", s.config, inst::kConfig); };
    auto contr = [&] { r.Int32("contr", s.contr, inst::kContr); };
    auto tadj = [&] { r.Text("tadj", s.tadj, inst::kTadj); };
    auto tauThenHadj = [&] {
        if (r.Allowed(inst::kHadjTau) && r.Int32("tau", s.tau, 0)) r.Text("hadj", s.hadj, inst::kHadjTau);
    };
    // Calibration entries from cal<first>, into entries from 0, up to the
    // first missing or empty one.
    auto calList = [&](std::uint32_t bit) {
        for (int i = 0; i < inst::kCalEntries; ++i) {
            char key[8];
            std::snprintf(key, sizeof key, "cal%02d", i);
            if (!r.Text(key, s.cal[i], bit)) break;
        }
    };
    bool records = false;

    switch (deviceType_) {
        case DeviceType::kDMini:
            sn();
            r.Int32("lang", s.lang, inst::kLang);
            contr();
            r.Text("fvals", s.fvals, inst::kFvals);
            r.Text("uvals", s.uvals, inst::kUvals);
            tauThenHadj();
            break;
        case DeviceType::kTq:
            sn();
            contr();
            r.Int32("units", s.units, inst::kUnits);
            r.Text("adc", s.adc, inst::kAdc);
            r.Text("sample", s.sample, inst::kSample);
            break;
        case DeviceType::kLg40:
            r.Text("location", s.location, inst::kLocation);
            r.Text("chai", s.chai, inst::kChai);
            r.Text("extCal", s.extCal, inst::kExtCal);
            r.Text("adccal", s.adccal, inst::kAdccal);
            // Captured from firmware 200 on. A number is written whether
            // captured or not, so only the selection can tell.
            sn();
            config();
            if (r.HasSelection()) contr();
            break;
        case DeviceType::kFg:
            sn();
            contr();
            r.Int32("units", s.units, inst::kUnits);
            r.Text("fvals", s.fvals, inst::kFvals);
            break;
        case DeviceType::kDskt:
            sn();
            r.Text("adccal", s.adccal, inst::kAdccal);
            r.Text("wtoffset", s.wtoffset, inst::kWtoffset);
            r.Text("auto", s.autoSec, inst::kAuto);
            r.Text("wtfactory", s.wtfactory, inst::kWtfactory);
            r.Text("sys", s.sys, inst::kSys);
            break;
        case DeviceType::kS7k:
            r.Text("adccal", s.adccal, inst::kAdccal);
            config();
            break;
        case DeviceType::kHjd:
            r.Text("name", s.name, inst::kName);
            sn();
            break;
        case DeviceType::kJq:
            sn();
            r.Text("name", s.name, inst::kName);
            contr();
            r.Text("adc15", s.adc15, inst::kAdc15);
            r.Text("adc30", s.adc30, inst::kAdc30);
            calList(inst::kCalList);
            break;
        case DeviceType::kDm9:
        case DeviceType::kDm9Lsr:
            sn();
            config();
            tadj();
            tauThenHadj();
            r.Text("uvals", s.uvals, inst::kUvals);
            records = true;
            if (deviceType_ == DeviceType::kDm9Lsr) {
                if (sf::FindValue(text, "cal00")) {
                    for (int i = 0; i < inst::kTuningValues; ++i) {
                        char key[8];
                        std::snprintf(key, sizeof key, "cal%02d", i);
                        r.Text(key, s.cal[i], inst::kTuning);
                    }
                } else {
                    // Older files numbered the first five tuning values
                    // from cal01 and left out the sixth.
                    for (int i = 1; i < inst::kTuningValues; ++i) {
                        char key[8];
                        std::snprintf(key, sizeof key, "cal%02d", i);
                        r.Text(key, s.cal[i - 1], inst::kTuning);
                    }
                }
            }
            break;
        case DeviceType::kHsr:
            config();
            sn();
            tadj();
            r.Text("fvals", s.fvals, inst::kP);
            r.Text("uvals", s.uvals, inst::kP);
            r.Text("calprefs", s.calprefs, inst::kP);
            records = true;
            break;
        case DeviceType::kPx7t:
        case DeviceType::kTru:
            config();
            sn();
            break;
        case DeviceType::kTwi:
            sn();
            r.Text("usage", s.usage, inst::kUsage);
            contr();
            tadj();
            r.Text("fvals", s.fvals, inst::kP);
            r.Text("PCUnits", s.pcUnits, inst::kPCUnits);
            break;
        case DeviceType::kFlowPack:
            sn();
            break;
        default:
            break;
    }
    for (const std::string& note : r.notes()) Log(10, "%s", note.c_str());

    ResultCode users = RecordsFromText(&userRecords_, kUserRecordKind, text);
    ResultCode eqns = RecordsFromText(&eqnRecords_, kEqnRecordKind, text);
    if (records) {
        if (users > 0 && userRecords_.count > 0 && r.Allowed(inst::kUserRecords)) r.found |= inst::kUserRecords;
        if (deviceType_ != DeviceType::kHsr && eqns > 0 && eqnRecords_.count > 0 && r.Allowed(inst::kEqnRecords)) {
            r.found |= inst::kEqnRecords;
        }
    }
    s.selection = r.found;
    instrument_ = s;
    return rc::kOk;
}

ResultCode Quor_protocol::ReadSensorFile(std::string_view text) {
    std::string seen;
    if (!TypeLineIs(text, {"Digital Sensor"}, &seen)) {
        Log(1, "ReadInfoFile found a settings file of type \"%s\", not one for a %s", seen.c_str(),
            DeviceTypeCode(deviceType_));
        return rc::kUnreadableAnswer;
    }
    FileReader r(text);
    QuorSDI12& sensor = *sdi12_;
    // Nothing of an earlier sensor may carry into this one's restore; what
    // the file lacks, the restore reports as not restored.
    sensor.ClearCapturedSettings();

    std::int64_t address = 0;
    if (r.Number("addressInt", 0, 255, &address, 0)) {
        if (IsSdi12Address(address)) {
            sensor.SetAddress(static_cast<char>(address));
        } else {
            Log(10, "ReadInfoFile found address %" PRId64 ", which is no SDI-12 address; not restored", address);
        }
    }
    sdi12::CalibrationText calibration;
    if (r.Text("calibration", calibration, 0)) sensor.SetX5Calibration(calibration.c_str());
    calibration.Clear();
    if (r.Text("calibration2", calibration, 0)) sensor.SetXaCalibration(calibration.c_str());
    sdi12::SerialNumber serial;
    if (r.Text("sn", serial, 0)) sensor.SetSerialNumber(serial.c_str());
    std::int64_t type = 0;
    if (r.Number("sensortype", 0, 255, &type, 0)) sensor.SetSensorTypeFromFile(static_cast<std::int32_t>(type));
    // The capture held an Xg: it stays present even when its text is
    // unusable, so the restore reports it rather than skipping it quietly.
    if (sf::FindValue(text, "calibration3")) {
        calibration.Clear();
        r.Text("calibration3", calibration, 0);
        sensor.SetXgCalibration(calibration.c_str());
    }
    for (const std::string& note : r.notes()) Log(10, "%s", note.c_str());
    return rc::kOk;
}

ResultCode Quor_protocol::GetRecords_File(RecordSet* set, int kind, const char* fileText) {
    if (!set || !fileText) return rc::kMissingArgument;
    return RecordsFromText(set, kind, fileText);
}

ResultCode Quor_protocol::RecordsFromText(RecordSet* set, int kind, std::string_view text) {
    const char* name = RecordName(kind);
    if (!name) {
        Log(10, "GetRecords_File found an unexpected record type \"%d\"", kind);
        return rc::kOutOfRange;
    }
    if (set->HasArray()) Log(10, "GetRecords_File found a non-null \"%s\" set", name);
    set->Release();

    auto keyOf = [name](int i, char (&key)[16]) { std::snprintf(key, sizeof key, "%s%02d", name, i); };
    int present = 0;
    for (char key[16]; present < sf::kMaxRecords; ++present) {
        keyOf(present, key);
        if (!sf::FindValue(text, key)) break;
    }
    if (present == 0) {
        Log(10, "GetRecords_File found no \"%s\" records in instrument", name);
        return 0;
    }
    std::unique_ptr<Record[]> records(new (std::nothrow) Record[static_cast<std::size_t>(present)]);
    if (!records) {
        Log(10, "GetRecords_File couldn't allocate memory for %d records", present);
        return rc::kOutOfMemory;
    }
    int read = 0;
    for (char key[16]; read < present; ++read) {
        keyOf(read, key);
        sf::Lookup lookup = sf::ReadText(text, key, records[read].value);
        if (lookup != sf::Lookup::kFound) {
            if (lookup == sf::Lookup::kTooLong || lookup == sf::Lookup::kBadText) {
                Log(10, "GetRecords_File found an unreadable or too long \"%s\" %d; the list ends there", name, read);
            }
            break;
        }
        Log(10, "GetRecords_File found \"%s\" %d as \"%s\"", name, read, records[read].value.c_str());
    }
    Log(10, "GetRecords_File retrieved %d of %d \"%s\" records", read, present, name);
    set->records = std::move(records);
    set->count = read;
    return rc::kOk;
}

}  // namespace quor
