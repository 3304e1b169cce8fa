#include "bsl/BSLFraming.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace quor {

namespace {
constexpr std::uint32_t kChecksumModulus = 0xFFFF;
constexpr std::uint32_t kChecksumSeed = '.';
}  // namespace

std::uint16_t BSLChecksum(char letter, const char* payload, std::size_t length) {
    std::uint32_t sum = kChecksumSeed + static_cast<unsigned char>(letter);
    for (std::size_t i = 0; payload && i < length; ++i) sum += static_cast<unsigned char>(payload[i]);
    return static_cast<std::uint16_t>(sum % kChecksumModulus);
}

std::size_t BuildBSLFrame(char* out, std::size_t capacity, char letter, const char* payload,
                          std::size_t length) {
    if (!payload) length = 0;
    if (!out || capacity < length + kBSLFrameOverhead + 1) return 0;
    out[0] = letter;
    if (length) std::memcpy(out + 1, payload, length);
    std::size_t n = 1 + length;
    int tail = std::snprintf(out + n, capacity - n, ".%04X\r",
                             static_cast<unsigned>(BSLChecksum(letter, payload, length)));
    if (tail != static_cast<int>(kBSLFrameOverhead - 1)) return 0;
    return n + static_cast<std::size_t>(tail);
}

std::size_t FormatBSLValues(char* out, std::size_t capacity, const std::uint32_t* values,
                            std::uint32_t count, bool fiveDigits) {
    if (!out || capacity == 0) return 0;
    out[0] = '\0';
    std::size_t n = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        int w = fiveDigits ? std::snprintf(out + n, capacity - n, "%05X", static_cast<unsigned>(values[i]))
                           : std::snprintf(out + n, capacity - n, "%04X", static_cast<unsigned>(values[i]));
        if (w < 0 || static_cast<std::size_t>(w) >= capacity - n) {
            out[0] = '\0';
            return 0;
        }
        n += static_cast<std::size_t>(w);
    }
    return n;
}

ResultCode JudgeBSLReply(const char* reply, std::uint32_t count, ResultCode transportError) {
    if (reply && count >= 1 && reply[0] == '+') return static_cast<ResultCode>(count);
    if (reply && count >= 2 && reply[1] == '+') return static_cast<ResultCode>(count);
    if (reply && count >= 1 && (reply[0] == '-' || reply[0] == '?')) return -1;
    return transportError < 0 ? transportError : -1;
}

ResultCode ParseLoaderVersion(const char* reply, std::uint32_t count) {
    if (!reply || count < 3 || reply[0] != '+' || reply[1] < '0' || reply[1] > '9') {
        return rc::kLoaderVersionUnreadable;
    }
    const char* end = reply + count;
    std::int32_t version = 0;
    auto [next, ec] = std::from_chars(reply + 1, end, version);
    if (ec != std::errc() || version <= 0 || next == end || *next != '+') return rc::kLoaderVersionUnreadable;
    for (const char* p = next + 1; p < end; ++p) {
        if (*p != '\r' && *p != '\n') return rc::kLoaderVersionUnreadable;
    }
    return version;
}

}  // namespace quor
