#include "logger/ReplyRules.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quor {

namespace {

constexpr const char* kReservedNames[] = {
    "ERROR", "Unsupported", "volt", "show", "yes",  "hertz", "time",   "dump", "erase",
    "login", "logout",      "query", "help", "temp", "scan", "term",   "ping", "post",
    "get",   "set",         "teltst", "ack", "nack", "OK",   "boot",
};

struct KindRow {
    LoggerKind kind;
    const char* code;  // device code in the version line, null when none
    const char* name;
};

constexpr KindRow kKinds[] = {
    {kKindUnknown, nullptr, "Unknown"},
    {kKindUnknownLogger, nullptr, "Unknown Logger"},
    {kKindRv7, "RV7", "Rv7"},
    {kKindRv70, "RV70", "Rv70"},
    {kKindCorvalink, "CK", "Corvalink"},
    {kKindMeshkeep, "WK", "Meshkeep"},
    {kKindRv7b, "RV7B", "Rv7b"},
    {kKindGeneric, nullptr, "Generic"},
    {kKindHJD, "HJD", "AQVEN Comm Dev"},
    {kKindCalibrator, "AQVEN_CAL", "AQVEN Calibrator"},
    {kKindPalomet, "JQ", "Palomet"},
    {kKindKL3, "KL3", "kL3"},
    {kKindZRL2, "ZRL", "ZRL2"},
};

}  // namespace

ReplyVerdict JudgeReply(const char* reply, const char* command) {
    if (command && *command && std::strstr(reply, command)) return ReplyVerdict::kEcho;
    if (std::strstr(reply, "ERROR") || std::strchr(reply, '?') || std::strstr(reply, "Unsupported"))
        return ReplyVerdict::kDeviceError;
    return ReplyVerdict::kAccepted;
}

bool IsEmptyPromptReply(const char* reply) { return reply[0] == '\r' && reply[1] == '\r' && reply[2] == '>'; }

std::uint32_t NormalizeLineEnds(char* reply, std::uint32_t count) {
    std::uint32_t out = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        char c = reply[i];
        if (c == '\n') {
            if (i > 0 && reply[i - 1] == '\r') continue;  // the LF of a CR LF pair
            c = '\r';
        }
        reply[out++] = c;
    }
    reply[out] = '\0';
    return out;
}

bool HasPromptLine(const char* reply) {
    for (const char* p = std::strchr(reply, '>'); p; p = std::strchr(p + 1, '>')) {
        if (p > reply && IsLineEnd(p[-1])) return true;
    }
    return false;
}

ResultCode CheckDeviceName(const char* name) {
    if (!name || !*name) return lrc::kNameEmpty;
    if (std::strlen(name) > 8) return lrc::kNameTooLong;
    for (const char* word : kReservedNames) {
        if (std::strcmp(name, word) == 0) return lrc::kNameReserved;
    }
    for (const char* p = name; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < '!' || c == 127 || c == 255) return lrc::kNameBadChar;
        if (std::strchr("?\\\"/<>*|:;,", c)) return lrc::kNameForbiddenChar;
        if (c >= 128) return lrc::kNameHighChar;
    }
    return rc::kOk;
}

std::uint32_t CapabilitiesFor(int kind, bool newFirmware, std::int32_t v) {
    std::uint32_t word = 0;
    switch (kind) {
        case kKindRv7:
            word = newFirmware ? 0x371F : 0x331C;
            break;
        case kKindRv70:
            word = 0x7737;
            if (v >= 202) word += 0x4000000;
            if (v >= 200) word += 0x1000000;
            if (v >= 119) word += 0x200000;
            if (v >= 118) word += 0xC00000;
            if (v >= 114) word += 0x70000;
            if (v >= 112) word += 0x8800;
            if (v >= 108) word += 0x40;
            if (v >= 105) word += 0x80;
            break;
        case kKindCorvalink:
            word = 0x4503;
            if (v >= 109) word += 0x20000;
            if (v >= 105) word += 0x80;
            break;
        case kKindRv7b:
            word = 0x74BE;
            if (v >= 204) word += 0x40000;
            break;
        case kKindHJD: word = 0x3007; break;
        case kKindCalibrator: word = 0x10026; break;
        case kKindPalomet: word = 0x1D3083; break;
        case kKindKL3: word = 0x5E3FFF7; break;
        case kKindZRL2: word = 0x7C3F6F7; break;
        default: word = 0x1005; break;
    }
    return word;
}

LoggerKind KindFromCode(const char* upperWord) {
    for (const KindRow& row : kKinds) {
        if (row.code && std::strcmp(row.code, upperWord) == 0) return row.kind;
    }
    return kKindUnknown;
}

const char* FamilyName(int kind) {
    for (const KindRow& row : kKinds) {
        if (row.kind == kind) return row.name;
    }
    return kKinds[0].name;
}

bool ParseVersionLine(const char* line, char (&word)[kFamilyWordSize], std::int32_t* version) {
    word[0] = '\0';
    if (!line || !version) return false;
    const char* p = line;
    while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
    std::size_t n = 0;
    while (p[n] && !std::isspace(static_cast<unsigned char>(p[n]))) ++n;
    if (n == 0 || n >= kFamilyWordSize) return false;
    std::int32_t v = 0;
    if (!ParseVersionNumber(p + n, &v)) return false;
    for (std::size_t i = 0; i < n; ++i) word[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(p[i])));
    word[n] = '\0';
    *version = v;
    return true;
}

bool ParseVersionNumber(const char* text, std::int32_t* version) {
    std::int32_t major = 0;
    const char* p = nullptr;
    if (!text || !ReadInt(text, range::kFirmwareMajor, &major, &p) || *p != '.') return false;
    ++p;
    int digits[2] = {};
    for (int& d : digits) {
        while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
        if (*p < '0' || *p > '9') return false;
        d = *p++ - '0';
    }
    *version = major * 100 + digits[0] * 10 + digits[1];
    return true;
}

namespace {
// strtoll in base with the range check; the sign is refused for base 16.
bool ReadInteger(const char* text, int base, range::IntRange range, std::int32_t* value, const char** end) {
    if (!text || !value) return false;
    const char* p = text;
    while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
    if (base == 16 && (*p == '-' || *p == '+')) return false;
    char* stop = nullptr;
    errno = 0;
    const long long v = std::strtoll(p, &stop, base);
    if (stop == p || errno == ERANGE || !range.Holds(v)) return false;
    *value = static_cast<std::int32_t>(v);
    if (end) *end = stop;
    return true;
}
}  // namespace

bool ReadInt(const char* text, range::IntRange range, std::int32_t* value, const char** end) {
    return ReadInteger(text, 10, range, value, end);
}

bool ReadHex(const char* text, range::IntRange range, std::int32_t* value) {
    return ReadInteger(text, 16, range, value, nullptr);
}

bool ReadReal(const char* text, double limit, double* value) {
    if (!text || !value) return false;
    char* stop = nullptr;
    const double v = std::strtod(text, &stop);
    if (stop == text || !WithinLimit(v, limit)) return false;
    *value = v;
    return true;
}

bool WithinLimit(double v, double limit) { return std::isfinite(v) && std::fabs(v) <= limit; }

bool HasNumber(const char* text) {
    if (!text) return false;
    char* stop = nullptr;
    std::strtod(text, &stop);
    return stop != text;
}

bool FormatCommand(char* out, std::size_t size, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    const int n = std::vsnprintf(out, size, format, ap);
    va_end(ap);
    if (n < 0 || static_cast<std::size_t>(n) >= size) {
        if (size) out[0] = '\0';
        return false;
    }
    return true;
}

std::size_t ReadWord(const char* text, char* out, std::size_t maxLen) {
    const char* p = text;
    while (*p == ' ' || *p == '\t') ++p;
    std::size_t n = 0;
    while (n < maxLen && p[n] && !std::isspace(static_cast<unsigned char>(p[n]))) ++n;
    std::memcpy(out, p, n);
    out[n] = '\0';
    return n;
}

bool IsSendableText(const char* text) {
    for (const char* p = text; *p; ++p) {
        if (IsLineEnd(*p)) return false;
    }
    return true;
}

int BaudCodeFor(std::uint32_t rate) {
    switch (rate) {
        case 9600: return 0;
        case 19200: return 1;
        case 38400: return 2;
        case 57600: return 3;
        case 115200: return 4;
        case 230400: return 5;
        case 460800: return 6;
        default: return -1;
    }
}

std::uint32_t AdcChecksum(const std::uint32_t* values, int count) {
    std::uint32_t sum = 0;
    for (int i = 0; i < count; ++i) sum += values[i];
    return sum % 256;
}

bool IsHexDigits(const char* text, std::size_t count) {
    if (!text || std::strlen(text) != count) return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
}

const char* ValueStart(const char* answer, bool afterCr) {
    if (!afterCr) return answer;
    const char* end = std::strpbrk(answer, "\r\n");
    if (!end) return answer;
    return end[0] == '\r' && end[1] == '\n' ? end + 2 : end + 1;
}

const char* RadioValueStart(const char* answer) {
    const char* k = std::strchr(answer, 'K');
    if (!k) return answer;
    // "OK" and one separator; never past the end of the text.
    return k[1] ? k + 2 : k + 1;
}

ResultCode ReadTextValue(const char* answer, bool afterCr, char* out, std::size_t maxLen) {
    out[0] = '\0';
    const char* p = ValueStart(answer, afterCr);
    if (!afterCr) {
        while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
    }
    if (*p == '>') return rc::kEmptyPrompt;
    std::size_t n = 0;
    while (p[n] && !IsLineEnd(p[n]) && n < maxLen) ++n;
    std::memcpy(out, p, n);
    out[n] = '\0';
    return n ? rc::kOk : rc::kUnreadableAnswer;
}

int ReadIntegers(const char* text, std::int32_t* values, int count, range::IntRange range) {
    const char* p = text;
    int found = 0;
    while (found < count && ReadInt(p, range, &values[found], &p)) ++found;
    return found;
}

std::uint8_t ClampToByte(int value) {
    if (value < 0) return 0;
    return static_cast<std::uint8_t>(value > 255 ? 255 : value);
}

}  // namespace quor
