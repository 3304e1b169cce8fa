#pragma once
// Small pure rules of the logger command protocol: how a reply is judged,
// which names a logger may carry, what each logger family can do, and how
// values are found in an answer. No port, no clock, no log.

#include <cstddef>
#include <cstdint>

#include "common/Printf.h"
#include "common/ResultCode.h"
#include "logger/LoggerTypes.h"
#include "logger/ValueRanges.h"

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

// A carriage return or a line feed.
inline bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Rewrites the first count characters of a reply so that every line ends
// with one carriage return: a CR LF pair and a lone LF become a CR (some
// devices and adapters end lines with CR LF). Zero-terminates the text and
// returns its new length.
std::uint32_t NormalizeLineEnds(char* reply, std::uint32_t count);

// Whether reply holds the bare prompt of a line: a line end, then '>'.
bool HasPromptLine(const char* reply);

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

// Reads "<major>.<minor><sub>" (each of minor and sub one digit, blanks
// allowed before them) into version; false when a part is missing or the
// major number is out of its range.
bool ParseVersionNumber(const char* text, std::int32_t* version);

// Reads one decimal integer (after blanks and line ends, with an optional
// sign) into value when it lies within range. end, when given, receives
// where the number stopped. False, value untouched, when there is no number
// or it is out of range (overflow included).
bool ReadInt(const char* text, range::IntRange range, std::int32_t* value, const char** end = nullptr);
// The same for a hexadecimal number (no sign, an optional 0x).
bool ReadHex(const char* text, range::IntRange range, std::int32_t* value);
// Reads one finite real number of at most limit in magnitude.
bool ReadReal(const char* text, double limit, double* value);
// Whether v is finite and at most limit in magnitude.
bool WithinLimit(double v, double limit);
// Whether text (after blanks) begins with a number, readable or not.
bool HasNumber(const char* text);

// Builds a command line with printf; false when it would not fit size
// characters with its terminator (nothing cut is ever sent).
QUOR_PRINTF(3, 4) bool FormatCommand(char* out, std::size_t size, const char* format, ...);

// Copies the word at text (after blanks, never past the line's end) cut to
// maxLen characters into out (maxLen + 1 bytes); returns its length.
std::size_t ReadWord(const char* text, char* out, std::size_t maxLen);

// Whether a text value can travel inside one command line (no line end).
bool IsSendableText(const char* text);

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
// the first line end, up to the next line end) cut to maxLen
// characters into out (maxLen + 1 bytes). 1, -31 when it starts with the
// prompt, -30 when it is empty.
ResultCode ReadTextValue(const char* answer, bool afterCr, char* out, std::size_t maxLen);

// Reads up to count decimal values within range; returns how many were
// read before the first one that is missing or out of range.
int ReadIntegers(const char* text, std::int32_t* values, int count, range::IntRange range);

// 0..255: larger values are cut to 255, negative ones to 0.
std::uint8_t ClampToByte(int value);

}  // namespace quor
