#pragma once
// The pure parts of the SDI-12 bridge: reading the sensors' replies,
// judging write confirmations, and the per-type calibration rules (which
// parts a type has, the repairs and defaults of old firmware, the old
// calibration format's conversion). No port, no log, no state.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/FixedText.h"

namespace quor::sdi12 {

inline constexpr std::size_t kIdentificationChars = 36;
inline constexpr std::size_t kSerialNumberChars = 32;
inline constexpr std::size_t kCalibrationChars = 512;

using Identification = FixedText<kIdentificationChars>;
using SerialNumber = FixedText<kSerialNumberChars>;
using CalibrationText = FixedText<kCalibrationChars>;

// SDI-12 addresses are digits and letters.
bool IsAddress(char c);

// Whether a value can go back into the sensor inside a command: printable
// characters and tabs only, and never the command's end "!".
bool IsSendableText(std::string_view text);

// Whether a received reply is the answer to command. It begins with the
// address the answer must come from and holds its carriage return. The
// address query "?!" is answered by whatever address the sensor has, with
// the address alone; the address change "aAb!" by the new address b (or,
// when not taken, the old one a); another command sent to "?" by the
// sensor's known address (knownAddress, '\0' while unknown: any address).
bool ReplyBelongs(std::string_view command, std::string_view reply, char knownAddress);

// A reply's text: after the address character and one white-space
// character that may follow it, up to the first carriage return.
std::string_view ReplyText(std::string_view reply);

// How a value read from a reply fits its field. A value is stored whole or
// not at all: one longer than its field, or one that could not be sent back
// as it is, is never cut or mended into something the sensor did not say.
enum class FieldRead { kRead, kAbsent, kTooLong, kUnsendable };

template <std::size_t N>
FieldRead ReadField(std::string_view text, FixedText<N>& out) {
    if (text.size() > N) return FieldRead::kTooLong;
    if (!IsSendableText(text)) return FieldRead::kUnsendable;
    out = text;
    return FieldRead::kRead;
}

// "?I!": address, two-digit SDI-12 version, then vendor (8), model (6),
// version (3) and optional further text. Unreadable when the address is no
// address, the SDI-12 version not two digits or the version not three. A
// text longer than its field is not kept (tooLong; address and version,
// which stand at fixed places, still are).
struct IdentityReading {
    bool readable = false;
    bool tooLong = false;
    char address = '0';
    Identification identification;  // from the fourth character up to the carriage return
    std::uint32_t version = 0;      // characters 18 to 20 as a decimal number
};
IdentityReading ParseIdentification(std::string_view reply);

// "?X#!": kAbsent when the sensor has no serial number (nothing after the
// address); kRead with the number in out; kTooLong or kUnsendable (out
// untouched) when it can't be kept as the sensor reported it.
FieldRead ParseSerialNumber(std::string_view reply, SerialNumber& out);

// "?X8!": a printable letter, or a number of one to three digits from 1 to
// 254 (0 and 255 mean no type), alone but for trailing blanks. Anything
// else is no type: a number out of range is never masked or shortened into
// a plausible one.
struct TypeReading {
    bool known = false;  // false: the reply held no readable type
    int type = 0;        // letter code, or the number
    bool numeric = false;
};
TypeReading ParseSensorType(std::string_view reply);

// The type named in an identification when the sensor can't be asked; 0
// when none of the known models is named.
int TypeFromIdentification(std::string_view identification);

// A sensor-type family of the menu: its member types, and the message for
// a sensor outside it. Null for a number that is no family.
struct Family {
    int number;
    const char* members;  // member type letters
    const char* name;     // as the refusal names it: "NDV", "WPX", ...
};
const Family* FindFamily(int type);
bool IsFamilyMember(const Family& family, int type);

// Whether a write was confirmed: "OK" anywhere accepts, "ERROR" refuses.
enum class WriteVerdict { kAccepted, kRefused, kUnconfirmed };
WriteVerdict JudgeWriteReply(std::string_view reply);

// Calibration parts by sensor type.
bool HasX5Calibration(int type);    // every type but the rain gauge
bool ReadsXaCalibration(int type);
bool WritesXaCalibration(int type); // read back with "?Xb%s!"
bool HasXgCalibration(int type);    // when the sensor reports one
bool RequiresXaCalibration(int type);  // a failed "?Xa!" fails the capture
bool NeedsMinusOneRepair(int type);

// Old 7QA/7QM firmware reports unset entries as "-1"; they are written back
// as "+0". Only whole "-1" entries change, never a "-1" inside a number
// such as "2e-1". Returns whether anything was replaced.
bool RepairMinusOneEntries(std::string& text);

// What the capture stores for "?Xa!", by type and firmware version. reply
// is the sensor's answer (empty when the read failed); the result is the
// reply that the stored text is taken from, and whether a default was put
// in. A calibration the sensor reported is never replaced; only a missing or
// too short one gets the default of its firmware.
struct XaChoice {
    std::string reply;
    bool defaulted = false;
};
XaChoice ChooseXaReply(int type, std::uint32_t version, std::string_view reply, bool readOk);

// The firmware below this version of "u" and "t" sensors keeps its
// calibration in the old nine-number format.
inline constexpr std::uint32_t kNewCalibrationFormatVersion = 340;

// Converts a calibration of the old nine-number format into the six-value
// one. False, out untouched, when the text does not hold nine finite
// numbers in single-precision range whose conversion is defined: a
// calibration that can't be converted is kept as it was rather than
// replaced by zeros or infinities.
bool ConvertOldCalibration(std::string_view oldText, CalibrationText& out);

}  // namespace quor::sdi12
