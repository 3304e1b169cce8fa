#include "sdi12/Sdi12Text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

#include "sdi12/SensorCodes.h"

namespace quor::sdi12 {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view CutAt(std::string_view s, char c) {
    std::size_t at = s.find(c);
    return at == std::string_view::npos ? s : s.substr(0, at);
}

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// s as an unsigned decimal number when it is all digits and fits.
bool ReadWholeNumber(std::string_view s, std::uint32_t& out) {
    if (s.empty()) return false;
    for (char c : s) {
        if (!IsDigit(c)) return false;
    }
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size();
}

// The next number of s (after blanks, with an optional "+"), finite and in
// single-precision range; s moves past it.
bool ReadFloat(std::string_view& s, float& out) {
    std::size_t at = 0;
    while (at < s.size() && IsSpace(s[at])) ++at;
    if (at < s.size() && s[at] == '+') ++at;
    const char* first = s.data() + at;
    auto [end, ec] = std::from_chars(first, s.data() + s.size(), out);
    if (ec != std::errc() || !std::isfinite(out)) return false;
    s.remove_prefix(static_cast<std::size_t>(end - s.data()));
    return true;
}

bool OneOf(int type, const char* letters) {
    return type > 0 && type < 256 && std::strchr(letters, type) != nullptr;
}

// Identification layout: address, two version digits, vendor (8), model (6), version (3).
constexpr std::size_t kIdentificationOffset = 3;
constexpr std::size_t kVersionOffset = 17;
constexpr std::size_t kVersionDigits = 3;
constexpr std::uint32_t kLongestTypeDigits = 3;
constexpr std::uint32_t kLargestNumericType = 254;  // 255 means no type

// Replies shorter than this carry no Xa calibration (address, numbers, line end).
constexpr std::size_t kShortestXaReply = 9;

// Factory defaults of "?Xa!", with a stand-in address.
constexpr std::string_view kXaOldDefault = "a 1 1.44832 1.91683 2.35961 2.991";
constexpr std::string_view kXa7QNewDefault = "a 1 1.39619 2.03054 2.54573 2.9907";
constexpr std::string_view kXaHR4NewDefault = "a 1 1.4724 2.03944 2.5652 2.9907";

struct XaRange {
    const char* types;
    std::uint32_t firstVersion;
    std::uint32_t lastVersion;
    std::string_view defaultReply;
};
constexpr XaRange kXaRanges[] = {
    {"zx", 0, 355, kXaOldDefault},
    {"zx", 356, 399, kXa7QNewDefault},
    {"w", 0, 352, kXaOldDefault},
    {"w", 353, 401, kXaHR4NewDefault},
};

const XaRange* FindXaRange(int type, std::uint32_t version) {
    for (const XaRange& r : kXaRanges) {
        if (OneOf(type, r.types) && version >= r.firstVersion && version <= r.lastVersion) return &r;
    }
    return nullptr;
}

constexpr Family kFamilies[] = {
    {kFamilyNDV, "sron", "NDV"},
    // The WPX firmware also serves the SOLRA 31 (the family is "WPX-4 WPX-8 SOLRA 31").
    {kFamilyWPX, "ylk", "WPX"},
    {kFamilyWLD, "tjie", "WLD"},
    {kFamilyHTx, "pf", "HT-x"},
    {kFamilySOLRA1x, "hg", "SOLRA 1x"},
};

}  // namespace

bool IsAddress(char c) { return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsSendableText(std::string_view text) {
    for (char c : text) {
        if (c == '!' || (c != '\t' && (c < ' ' || c > '~'))) return false;
    }
    return true;
}

bool ReplyBelongs(std::string_view command, std::string_view reply, char knownAddress) {
    if (reply.empty() || !IsAddress(reply.front()) || reply.find('\r') == std::string_view::npos) return false;
    const char from = reply.front();
    if (command == "?!") return reply[1] == '\r';
    if (command.size() == 4 && command[1] == 'A' && command[3] == '!' && command[0] != '?') {
        return from == command[2] || from == command[0];
    }
    if (!command.empty() && command.front() != '?') return from == command.front();
    return knownAddress == '\0' || from == knownAddress;
}

std::string_view ReplyText(std::string_view reply) {
    if (reply.empty()) return reply;
    std::string_view text = reply.substr(1);
    if (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return CutAt(text, '\r');
}

IdentityReading ParseIdentification(std::string_view reply) {
    IdentityReading r;
    const std::string_view line = CutAt(reply, '\r');
    if (line.size() < kVersionOffset + kVersionDigits || !IsAddress(line.front())) return r;
    // The two digits of the SDI-12 version come first.
    if (!IsDigit(line[1]) || !IsDigit(line[2])) return r;
    std::uint32_t version = 0;
    if (!ReadWholeNumber(line.substr(kVersionOffset, kVersionDigits), version)) return r;
    r.readable = true;
    r.address = line.front();
    r.version = version;
    r.tooLong = ReadField(line.substr(kIdentificationOffset), r.identification) != FieldRead::kRead;
    return r;
}

FieldRead ParseSerialNumber(std::string_view reply, SerialNumber& out) {
    if (reply.size() < 2 || IsLineEnd(reply[1])) return FieldRead::kAbsent;
    std::string_view text = ReplyText(reply);
    if (text.empty()) return FieldRead::kAbsent;
    return ReadField(text, out);
}

TypeReading ParseSensorType(std::string_view reply) {
    TypeReading r;
    std::string_view text = ReplyText(reply);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    if (text.empty()) return r;
    if (IsDigit(text.front())) {
        std::uint32_t n = 0;
        if (text.size() > kLongestTypeDigits || !ReadWholeNumber(text, n)) return r;
        if (n == kTypeNone || n > kLargestNumericType) return r;
        r.numeric = true;
        r.type = static_cast<int>(n);
    } else {
        // A type letter is a printable character; a control character or a
        // line end is no type.
        const char c = text.front();
        if (text.size() > 1 || c <= ' ' || c > '~') return r;
        r.type = static_cast<unsigned char>(c);
    }
    r.known = true;
    return r;
}

int TypeFromIdentification(std::string_view identification) {
    struct Model {
        std::string_view name;
        int type;
    };
    static constexpr Model kModels[] = {{"7QA   ", kType7QA}, {"HV-KN ", kTypeHVKN}, {"HV-KE ", kTypeHVKE}};
    for (const Model& m : kModels) {
        if (identification.find(m.name) != std::string_view::npos) return m.type;
    }
    return kTypeNone;
}

const Family* FindFamily(int type) {
    for (const Family& f : kFamilies) {
        if (f.number == type) return &f;
    }
    return nullptr;
}

bool IsFamilyMember(const Family& family, int type) { return OneOf(type, family.members); }

WriteVerdict JudgeWriteReply(std::string_view reply) {
    if (reply.find("OK") != std::string_view::npos) return WriteVerdict::kAccepted;
    if (reply.find("ERROR") != std::string_view::npos) return WriteVerdict::kRefused;
    return WriteVerdict::kUnconfirmed;
}

bool HasX5Calibration(int type) { return type != kTypeRNQ5; }
bool ReadsXaCalibration(int type) { return OneOf(type, "ylkwhgzx]"); }
bool WritesXaCalibration(int type) { return OneOf(type, "ywkhgzx]"); }
bool HasXgCalibration(int type) { return type == kTypeZEPRA51; }
bool RequiresXaCalibration(int type) { return type == kTypeWPX4; }
bool NeedsMinusOneRepair(int type) { return OneOf(type, "zx"); }

bool RepairMinusOneEntries(std::string& text) {
    bool changed = false;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '-' || text[i + 1] != '1') continue;
        bool starts = i == 0 || IsSpace(text[i - 1]);
        bool ends = i + 2 == text.size() || IsSpace(text[i + 2]);
        if (starts && ends) {
            text[i] = '+';
            text[i + 1] = '0';
            changed = true;
        }
    }
    return changed;
}

XaChoice ChooseXaReply(int type, std::uint32_t version, std::string_view reply, bool readOk) {
    XaChoice choice;
    if (readOk) choice.reply = std::string(reply);
    const XaRange* range = FindXaRange(type, version);
    if (!range) return choice;
    if (!readOk || reply.size() < kShortestXaReply) {
        choice.reply = std::string(range->defaultReply);
        choice.defaulted = true;
        return choice;
    }
    // A reported calibration is what the sensor holds, its own or an older
    // default: it is kept as it stands so the restore writes back the same.
    return choice;
}

bool ConvertOldCalibration(std::string_view oldText, CalibrationText& out) {
    float n[9] = {};
    std::string_view rest = oldText;
    for (float& value : n) {
        if (!ReadFloat(rest, value)) return false;
    }
    float d = n[2] - n[1];
    if (d == 0.0f) return false;
    float a = -1000.0f * n[1] / d;
    float b = 1000.0f / d;
    float c = 0.0f;
    float e = (n[4] + n[5]) * 0.5f;
    if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(e)) return false;
    out.Format("%0.3f %0.6e %0.6e %0.6e %0.1f %0.1f", static_cast<double>(n[0]), static_cast<double>(a),
               static_cast<double>(b), static_cast<double>(c), static_cast<double>(e), static_cast<double>(n[8]));
    return true;
}

}  // namespace quor::sdi12
