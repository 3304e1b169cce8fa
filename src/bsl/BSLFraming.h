#pragma once
// The loader's command frames as pure functions: the checksum, the frame
// text, the number payloads and the judging of a reply. QuorBSLHost puts
// them on the wire; tests check them against worked examples.
//
// A frame is the command letter, its payload, "." and the checksum as four
// upper-case hexadecimal digits, then a carriage return.

#include <cstddef>
#include <cstdint>

#include "common/ResultCode.h"

namespace quor {

// The longest payload any frame carries: one "W" block of 512 digits.
inline constexpr std::size_t kBSLMaxPayloadChars = 512;
// The most values a number payload may name (before the length check).
inline constexpr std::uint32_t kBSLMaxValues = 128;
// Frame overhead: letter, ".", four checksum digits, carriage return.
inline constexpr std::size_t kBSLFrameOverhead = 7;
// What the loader's reply is cut to, and the buffer it needs.
inline constexpr std::uint32_t kBSLReplyMaxChars = 20;
inline constexpr std::size_t kBSLReplyBufferSize = kBSLReplyMaxChars + 1;

// 46 (".") plus every character code of letter and payload, modulo 65535.
// The loader takes it modulo 0xFFFF, not 0x10000: keep it that way.
std::uint16_t BSLChecksum(char letter, const char* payload, std::size_t length);

// Writes the frame into out (zero-terminated). Returns its length without
// the zero, or 0 when it would not fit capacity.
std::size_t BuildBSLFrame(char* out, std::size_t capacity, char letter, const char* payload,
                          std::size_t length);

// Writes values as "%04X" each ("%05X" with fiveDigits) into out,
// zero-terminated. Returns the characters written, or 0 when they would not
// fit capacity (a value wider than its digits takes more room).
std::size_t FormatBSLValues(char* out, std::size_t capacity, const std::uint32_t* values,
                            std::uint32_t count, bool fiveDigits);

// Judges what the loader sent back: count characters in reply (count 0:
// nothing came). transportError is the first error of the exchange, or 0.
// Returns count when acknowledged ("+" first or second), -1 when rejected
// ("-" or "?" first) or unrecognised, or transportError when there was one.
ResultCode JudgeBSLReply(const char* reply, std::uint32_t count, ResultCode transportError);

// The loader version in a "g" reply of count characters: "+", a positive
// decimal number that fits 32 bits, "+", then nothing but line ends.
// Returns the version, or -111 for anything else ("+0+", "+-5+", "+7",
// a number too big to fit).
ResultCode ParseLoaderVersion(const char* reply, std::uint32_t count);

}  // namespace quor
