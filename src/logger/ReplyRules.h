#pragma once
// Small pure rules of the logger command protocol: how a reply is judged,
// which names a logger may carry, what each logger family can do, and how
// values are found in an answer. No port, no clock, no log.

#include <cstddef>
#include <cstdint>

#include "common/ResultCode.h"
#include "logger/LoggerTypes.h"

namespace quor {

enum class ReplyVerdict {
    kAccepted,     // an ordinary answer
    kEcho,         // the command came back: a relay or a broken device
    kDeviceError,  // "ERROR", '?' or "Unsupported": worth sending again
};

// Judges one received reply to command (both zero-terminated).
ReplyVerdict JudgeReply(const char* reply, const char* command);

// The device's empty answer: carriage return, carriage return, prompt.
bool IsEmptyPromptReply(const char* reply);

// 1 when name may be a device name, else a code between -50 and -56.
ResultCode CheckDeviceName(const char* name);

// The capability word of a logger family at a firmware version (1.09 is 109).
std::uint32_t CapabilitiesFor(int kind, bool newFirmware, std::int32_t firmwareVersion);

// The kind whose device code equals the upper-cased family word, else 0.
LoggerKind KindFromCode(const char* upperWord);
// Display name of a kind ("Unknown" for anything out of the table).
const char* FamilyName(int kind);

// Reads "<family> <major>.<minor><sub>". On success word holds the family
// word upper-cased and version the number (1.23 is 123).
inline constexpr std::size_t kFamilyWordSize = 32;
bool ParseVersionLine(const char* line, char (&word)[kFamilyWordSize], std::int32_t* version);

// The "set -baud" code of a rate, or -1 when the logger has none for it.
int BaudCodeFor(std::uint32_t rate);

// Sum of count values modulo 256.
std::uint32_t AdcChecksum(const std::uint32_t* values, int count);

// Whether text is exactly count hexadecimal digits.
bool IsHexDigits(const char* text, std::size_t count);

// Where a value begins in an answer: after the first carriage return when
// afterCr (the start when there is none), else the start.
const char* ValueStart(const char* answer, bool afterCr);

// Where a radio value begins: two characters after the first 'K' (after
// "OK" and one separator), or the start when there is no 'K'.
const char* RadioValueStart(const char* answer);

// Copies a text value (from the first non-blank character, or from after
// the first carriage return, up to the next carriage return) cut to maxLen
// characters into out (maxLen + 1 bytes). 1, -31 when it starts with the
// prompt, -30 when it is empty.
ResultCode ReadTextValue(const char* answer, bool afterCr, char* out, std::size_t maxLen);

// Reads up to count "%d" values; returns how many were read.
int ReadIntegers(const char* text, int* values, int count);

// 0..255: larger values are cut to 255, negative ones to 0.
std::uint8_t ClampToByte(int value);

}  // namespace quor
