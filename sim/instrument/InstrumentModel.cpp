#include "sim/instrument/InstrumentModel.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace quor::sim {

namespace {

constexpr std::int64_t kSecondsFrom1970To2000 = 946684800;
constexpr std::uint16_t kResetVectorAddress = 0xFFFE;
constexpr const char* kBootLine = "boot ZEPT";

// A whole text as a decimal number within [min, max].
bool ParseLong(const std::string& text, long min, long max, long& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || end == text.c_str() || v < min || v > max) return false;
    out = v;
    return true;
}

// Splits "a<sep>b<sep>c" into three numbers within their ranges.
bool ParseTriple(const std::string& text, char sep, const long (&min)[3], const long (&max)[3],
                 long (&out)[3]) {
    std::size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t end = i < 2 ? text.find(sep, start) : text.size();
        if (end == std::string::npos) return false;
        if (!ParseLong(text.substr(start, end - start), min[i], max[i], out[i])) return false;
        start = end + 1;
    }
    return true;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::int32_t VersionNumberOf(std::string_view text) {
    const std::size_t blank = text.find(' ');
    if (blank == std::string_view::npos) return -1;
    std::string_view v = text.substr(blank + 1);
    std::size_t i = 0;
    long major = 0;
    while (i < v.size() && std::isdigit(static_cast<unsigned char>(v[i]))) {
        major = major * 10 + (v[i] - '0');
        if (major > 99) return -1;
        ++i;
    }
    if (i == 0 || i + 1 >= v.size() || v[i] != '.' ||
        !std::isdigit(static_cast<unsigned char>(v[i + 1])))
        return -1;
    const int minor = v[i + 1] - '0';
    const int patch =
        i + 2 < v.size() && std::isdigit(static_cast<unsigned char>(v[i + 2])) ? v[i + 2] - '0' : 0;
    return static_cast<std::int32_t>(major * 100 + minor * 10 + patch);
}

std::string EncodeBase64(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = static_cast<std::uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            group |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size()) group |= static_cast<std::uint8_t>(bytes[i + 2]);
        out.push_back(kAlphabet[(group >> 18) & 63]);
        out.push_back(kAlphabet[(group >> 12) & 63]);
        out.push_back(i + 1 < bytes.size() ? kAlphabet[(group >> 6) & 63] : '=');
        out.push_back(i + 2 < bytes.size() ? kAlphabet[group & 63] : '=');
    }
    return out;
}

std::string EncodeUserRecord(std::string_view name, std::string_view definition) {
    // Kind, unit and precision come before the name; the definition after it.
    std::string text = "U1\t0\t2\t";
    text.append(name);
    text.push_back('\t');
    text.append(definition);
    return EncodeBase64(text);
}

InstrumentModel::InstrumentModel(InstrumentProfile profile)
    : profile_(std::move(profile)), loader_(profile_.loader) {
    versionText_ = profile_.versionText;
    sensorType_ = profile_.initialSensorType;
    state_ = Available(profile_.initial);
}

std::unique_ptr<InstrumentModel> InstrumentModel::Create(std::string_view versionText) {
    std::string code(versionText.substr(0, versionText.find(' ')));
    for (char& c : code) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto profile = InstrumentProfileFor(code, versionText);
    if (!profile) return nullptr;
    return std::make_unique<InstrumentModel>(std::move(*profile));
}

std::unique_ptr<InstrumentModel> InstrumentModel::ForCode(std::string_view code) {
    auto profile = InstrumentProfileFor(code);
    if (!profile) return nullptr;
    return std::make_unique<InstrumentModel>(std::move(*profile));
}

std::unique_ptr<InstrumentModel> InstrumentModel::ForType(std::int32_t typeNumber,
                                                          std::string_view versionText) {
    const std::string code = InstrumentCodeOf(typeNumber);
    if (code.empty()) return nullptr;
    auto profile = InstrumentProfileFor(code, versionText);
    return std::make_unique<InstrumentModel>(std::move(*profile));
}

void InstrumentModel::Attach(DeviceSide& side) {
    DeviceModel::Attach(side);
    loader_.Attach(side);
}

// --- state ---

const SettingSpec* InstrumentModel::Spec(const std::string& key) const {
    for (const SettingSpec& s : profile_.settings) {
        if (s.key == key) return &s;
    }
    return nullptr;
}

bool InstrumentModel::HasSetting(const std::string& key) const {
    const SettingSpec* spec = Spec(key);
    return spec && FirmwareVersion() >= spec->fromVersion;
}

std::string InstrumentModel::Setting(const std::string& key) const {
    auto it = state_.settings.find(key);
    return it == state_.settings.end() ? std::string() : it->second;
}

InstrumentState InstrumentModel::Available(const InstrumentState& s) const {
    InstrumentState out = s;
    for (auto it = out.settings.begin(); it != out.settings.end();) {
        it = HasSetting(it->first) ? std::next(it) : out.settings.erase(it);
    }
    return out;
}

InstrumentState InstrumentModel::FactoryState() const {
    return Available(profile_.factory);
}

std::int64_t InstrumentModel::ClockSeconds() const {
    const std::uint64_t now = side_ ? side_->NowMicros() : 0;
    return clockBase_ + static_cast<std::int64_t>((now - clockSetAtUs_) / 1'000'000);
}

void InstrumentModel::SetClockSeconds(std::int64_t seconds) {
    clockBase_ = seconds;
    clockSetAtUs_ = side_ ? side_->NowMicros() : 0;
}

void InstrumentModel::GoSilentAfterCommands(int count, std::uint64_t ms) {
    silenceAfter_ = count;
    silenceMs_ = ms;
}

int InstrumentModel::CommandsSeen(std::string_view prefix) const {
    return static_cast<int>(
        std::count_if(commands_.begin(), commands_.end(),
                      [&](const std::string& c) { return StartsWith(c, prefix); }));
}

bool InstrumentModel::SelfTestGood() const {
    if (codeCorrupt_) return false;
    if (!programmed_) return true;  // the firmware it shipped with
    // After programming the code check needs code where the reset vector points.
    const SimFlash& f = loader_.Flash();
    const std::uint32_t entry =
        f.Read(kResetVectorAddress) | (f.Read(kResetVectorAddress + 1) << 8);
    return f.Read(entry) != SimFlash::kErased || f.Read(entry + 1) != SimFlash::kErased;
}

std::uint32_t InstrumentModel::ConfigBase(const std::string& config) const {
    std::uint32_t base = static_cast<std::uint32_t>(std::strtoull(config.c_str(), nullptr, 10));
    for (char c : Setting("sn"))
        base -= static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(c)));
    return base;
}

void InstrumentModel::RequireConfigChecksum(bool on) {
    checkConfig_ = on;
    configBase_ = ConfigBase(Setting("config"));
}

// --- the wire ---

void InstrumentModel::OnReceive(std::uint8_t byte) {
    if (InLoader()) {
        loader_.OnReceive(byte);
        WatchRestart();
        return;
    }
    if (side_->NowMicros() < silentUntilUs_) return;
    if (quirks_.echo) side_->Send(std::string(1, static_cast<char>(byte)));
    FirmwareByte(byte);
}

void InstrumentModel::FirmwareByte(std::uint8_t byte) {
    const std::uint64_t now = side_->NowMicros();
    if (byte == '\n') return;
    if (byte != '\r') {
        if (!line_.empty()) lineFastestGapUs_ = std::min(lineFastestGapUs_, now - lastByteUs_);
        lastByteUs_ = now;
        if (line_.size() >= kMaxLineChars) line_.erase(0, 1);
        line_.push_back(static_cast<char>(byte));
        return;
    }
    std::string line;
    line.swap(line_);
    lastLineFastestGapUs_ = lineFastestGapUs_;
    lineFastestGapUs_ = UINT64_MAX;
    if (line.empty()) return;  // a bare carriage return
    commands_.push_back(line);
    if (silenceAfter_ == 0) {
        silenceAfter_ = -1;
        silentUntilUs_ = silenceMs_ ? now + silenceMs_ * 1000 : UINT64_MAX;
        return;
    }
    if (silenceAfter_ > 0) --silenceAfter_;
    Line(line);
}

void InstrumentModel::Send(const std::string& text, std::uint64_t extraUs) {
    chargedUs_ += quirks_.replyDelayUs + extraUs;
    side_->Schedule(quirks_.replyDelayUs + extraUs, [this, text] { side_->Send(text); });
}

void InstrumentModel::Reply(const std::string& body, std::uint64_t extraUs) {
    const std::string eol = quirks_.crlf ? "\r\n" : "\r";
    Send(eol + body + eol + ">", extraUs);
}

void InstrumentModel::BarePrompt() {
    Send(quirks_.crlf ? "\r\n>" : "\r>");
}

void InstrumentModel::Line(const std::string& line) {
    if (StartsWith(line, "boot ")) {
        if (line != kBootLine) return Error();
        // The firmware hands the invocation to its loader, which answers it.
        for (char c : std::string(kBootLine) + "\r")
            loader_.OnReceive(static_cast<std::uint8_t>(c));
        return;
    }
    if (line == "login" || StartsWith(line, "login ")) return Login(line);
    if (line == "logout") {
        loggedIn_ = false;
        return Ok();
    }
    if (line == "get -ver") return Reply(versionText_);
    if (line == "get -batt")
        return profile_.hasBattery ? Reply(std::to_string(battery_)) : Unsupported();
    if (line == "post" || line == "post -init")
        return Reply(SelfTestGood() ? "Code Good!" : "Code Corrupt!", kSelfTestUs);
    if (profile_.needsLogin && quirks_.loginRequired && !loggedIn_)
        return Reply("ERROR: login required");
    Command(line);
}

void InstrumentModel::Login(const std::string& line) {
    if (!profile_.needsLogin) return Unsupported();
    ++logins_;
    const bool typed =
        quirks_.loginCharGapUs == 0 || lastLineFastestGapUs_ >= quirks_.loginCharGapUs;
    if (line != "login *" + quirks_.accessCode || !typed) return Reply("Access denied");
    loggedIn_ = true;
    const std::string eol = quirks_.crlf ? "\r\n" : "\r";
    switch (quirks_.loginReply) {
        case LoginReply::kEchoCode:
            return Reply(quirks_.accessCode);
        case LoginReply::kOk:
            return Ok();
        case LoginReply::kEchoCodeAndOk:
            return Reply(quirks_.accessCode + eol + "OK");
    }
}

void InstrumentModel::Command(const std::string& line) {
    if (line == "yes") {
        if (!profile_.hasDataErase) return Unsupported();
        ++erases_;
        return Reply(dataFlashBroken_ ? "DataFlash FAIL" : "OK", kEraseTimeUs);
    }
    if (StartsWith(line, "reset -")) {
        const std::string list = line.substr(7);
        if (list == "eqn" && profile_.equationCapacity) {
            state_.equations.clear();
            return Ok();
        }
        if (list == "users" && profile_.userCapacity) {
            state_.users.clear();
            return Ok();
        }
        return Unsupported();
    }
    if (StartsWith(line, "get -")) return Get(line.substr(5));
    if (StartsWith(line, "set -")) {
        const std::string rest = line.substr(5);
        const std::size_t blank = rest.find(' ');
        if (blank == std::string::npos) return Set(rest, "");
        return Set(rest.substr(0, blank), rest.substr(blank + 1));
    }
    Unsupported();
}

// --- gets ---

void InstrumentModel::AnswerGet(const std::string& replyKey, const std::string& value) {
    auto it = getReplies_.find(replyKey);
    switch (it == getReplies_.end() ? GetReply::kValue : it->second) {
        case GetReply::kValue:
            return Reply(value);
        case GetReply::kError:
            return Error();
        case GetReply::kBarePrompt:
            return BarePrompt();
        case GetReply::kEmpty:
            return Reply("");
        case GetReply::kSilent:
            return;
    }
}

void InstrumentModel::Get(const std::string& rest) {
    const std::size_t blank = rest.find(' ');
    const std::string key = rest.substr(0, blank);
    const bool indexed = blank != std::string::npos;
    const std::string index = indexed ? rest.substr(blank + 1) : std::string();
    if (key == "eqn" && profile_.equationCapacity) {
        if (!indexed) return AnswerGet("eqn count", std::to_string(state_.equations.size()));
        return ListGet(state_.equations, key, index);
    }
    if (key == "user" && profile_.userCapacity) {
        if (!indexed) return AnswerGet("user count", std::to_string(state_.users.size()));
        return ListGet(state_.users, key, index);
    }
    if (key == "cal" && profile_.calibrationCapacity && indexed)
        return ListGet(state_.calibration, key, index);
    if (indexed) return Unsupported();
    if (key == "sec" && profile_.quorSecondsClock) return Reply(std::to_string(ClockSeconds()));
    if (key == "t" && profile_.dateTimeClock) {
        const std::time_t t = static_cast<std::time_t>(ClockSeconds() + kSecondsFrom1970To2000);
        std::tm f{};
        gmtime_r(&t, &f);
        char buf[64];
        std::snprintf(buf, sizeof buf, "Date\\Time: %d-%02d-%02d %d:%02d:%02d", f.tm_year + 1900,
                      f.tm_mon + 1, f.tm_mday, f.tm_hour, f.tm_min, f.tm_sec);
        return Reply(buf);
    }
    if (key == "sensor" && profile_.hasSensorType) return AnswerGet(key, sensorType_);
    if (!HasSetting(key)) return Unsupported();
    AnswerGet(key, Setting(key));
}

void InstrumentModel::ListGet(const std::vector<std::string>& list, const std::string& key,
                              const std::string& index) {
    long i = 0;
    if (!ParseLong(index, 0, static_cast<long>(list.size()) - 1, i)) return Error();
    AnswerGet(key, list[static_cast<std::size_t>(i)]);
}

// --- sets ---

SetReply InstrumentModel::SetReplyFor(const std::string& key) const {
    auto it = setReplies_.find(key);
    return it == setReplies_.end() ? quirks_.defaultSetReply : it->second;
}

// Answers a set that is not taken; false when the set goes ahead.
bool InstrumentModel::Refused(const std::string& key) {
    switch (SetReplyFor(key)) {
        case SetReply::kOk:
            return false;
        case SetReply::kError:
            Error();
            return true;
        case SetReply::kBarePrompt:
            BarePrompt();
            return true;
        case SetReply::kSilent:
            return true;
    }
    return true;
}

bool InstrumentModel::ValueFits(const SettingSpec& spec, const std::string& value) const {
    if (value.empty()) return false;
    long v = 0;
    switch (spec.kind) {
        case ValueKind::kText:
            return true;
        case ValueKind::kInteger:
            return ParseLong(value, spec.min, spec.max, v);
        case ValueKind::kDigits:
            if (value.size() > 10 || !std::all_of(value.begin(), value.end(),
                                                  [](char c) { return c >= '0' && c <= '9'; }))
                return false;
            return std::strtoull(value.c_str(), nullptr, 10) <= UINT32_MAX;
        case ValueKind::kSerial:
            return value.size() <= 15 && std::all_of(value.begin(), value.end(),
                                                     [](char c) { return c > ' ' && c < 127; });
    }
    return false;
}

void InstrumentModel::Set(const std::string& key, const std::string& value) {
    if (key == "sec" && profile_.quorSecondsClock) {
        long seconds = 0;
        if (!ParseLong(value, 0, INT32_MAX, seconds)) return Error();
        SetClockSeconds(seconds);
        return Ok();
    }
    if ((key == "t" || key == "d") && profile_.dateTimeClock) return SetClockFields(key, value);
    if ((key == "eqn" && profile_.equationCapacity) || (key == "user" && profile_.userCapacity) ||
        (key == "cal" && profile_.calibrationCapacity)) {
        auto& list = key == "eqn"    ? state_.equations
                     : key == "user" ? state_.users
                                     : state_.calibration;
        const std::size_t capacity = key == "eqn"    ? profile_.equationCapacity
                                     : key == "user" ? profile_.userCapacity
                                                     : profile_.calibrationCapacity;
        return ListSet(list, capacity, key, value);
    }
    if (key == "sensor" && profile_.hasSensorType) {
        long type = 0;
        if (Refused(key)) return;
        if (!ParseLong(value, 0, 9, type)) return Error();
        sensorType_ = std::to_string(type);
        return Ok();
    }
    if (!HasSetting(key)) return Unsupported();
    if (Refused(key)) return;
    if (key == "sn" && rejectSerial_) return Error();
    if (!ValueFits(*Spec(key), value)) return Error();
    if (key == "config" && checkConfig_ && ConfigBase(value) != configBase_) return Error();
    state_.settings[key] = value;
    Ok();
}

void InstrumentModel::ListSet(std::vector<std::string>& list, std::size_t capacity,
                              const std::string& key, const std::string& rest) {
    if (Refused(key)) return;
    const std::size_t blank = rest.find(' ');
    long i = 0;
    if (blank == std::string::npos || blank + 1 >= rest.size() ||
        !ParseLong(rest.substr(0, blank), 0, static_cast<long>(std::min(list.size(), capacity - 1)),
                   i))
        return Error();
    const std::string value = rest.substr(blank + 1);
    if (static_cast<std::size_t>(i) == list.size())
        list.push_back(value);
    else
        list[static_cast<std::size_t>(i)] = value;
    Ok();
}

void InstrumentModel::SetClockFields(const std::string& key, const std::string& value) {
    std::time_t t = static_cast<std::time_t>(ClockSeconds() + kSecondsFrom1970To2000);
    std::tm f{};
    gmtime_r(&t, &f);
    long v[3] = {};
    if (key == "t") {
        if (!ParseTriple(value, ':', {0, 0, 0}, {23, 59, 59}, v)) return Error();
        f.tm_hour = static_cast<int>(v[0]);
        f.tm_min = static_cast<int>(v[1]);
        f.tm_sec = static_cast<int>(v[2]);
    } else {
        if (!ParseTriple(value, '-', {2000, 1, 1}, {2067, 12, 31}, v)) return Error();
        f.tm_year = static_cast<int>(v[0] - 1900);
        f.tm_mon = static_cast<int>(v[1] - 1);
        f.tm_mday = static_cast<int>(v[2]);
    }
    SetClockSeconds(static_cast<std::int64_t>(timegm(&f)) - kSecondsFrom1970To2000);
    Ok();
}

// --- programming ---

void InstrumentModel::WatchRestart() {
    if (restartWatched_ || loader_.CurrentState() != SimLoaderDevice::State::kRestarting) return;
    restartWatched_ = true;
    // The loader restarts the firmware this long after the vectors frame;
    // scheduled after its own event, this runs right after the restart.
    const SimLoaderConfig& c = profile_.loader;
    side_->Schedule(c.frameProcessUs + c.vectorsProgramUs + c.restartDelayUs,
                    [this] { FinishProgramming(); });
}

void InstrumentModel::FinishProgramming() {
    restartWatched_ = false;
    programmed_ = true;
    ++programmings_;
    if (!imageVersion_.empty()) {
        versionText_ = imageVersion_;
    } else if (std::string found = VersionInFlash(); !found.empty()) {
        versionText_ = found;
    }
    // The settings lived in the erased flash: what is left are the factory
    // values of the new firmware version.
    state_ = FactoryState();
    sensorType_ = profile_.factorySensorType;
    loggedIn_ = false;
    line_.clear();
}

std::string InstrumentModel::VersionInFlash() const {
    const std::vector<std::uint8_t>& bytes = loader_.Flash().Bytes();
    const std::string prefix = profile_.code + " ";
    auto at = bytes.begin();
    while ((at = std::search(at, bytes.end(), prefix.begin(), prefix.end())) != bytes.end()) {
        std::string text(prefix);
        auto p = at + static_cast<std::ptrdiff_t>(prefix.size());
        while (p != bytes.end() && (std::isdigit(*p) || *p == '.') &&
               text.size() < prefix.size() + 6) {
            text.push_back(static_cast<char>(*p));
            ++p;
        }
        if (VersionNumberOf(text) >= 0) return text;
        ++at;
    }
    return {};
}

}  // namespace quor::sim
