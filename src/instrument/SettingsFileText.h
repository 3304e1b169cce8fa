#pragma once
// The settings file's text: its header, the value lookup the readers use,
// and the lines each device family writes. Pure functions over text and
// records; the file itself is written and read by Quor_protocol.
//
// A line is key="value" with CR LF. A key is found only where it begins a
// line and is followed by its '=', so a value that holds another key's text
// ("sn 4, adc 2") never stands in for that key. The value runs to the last
// double quote of its line; a line without a closing quote holds no value.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/FixedText.h"
#include "common/Printf.h"
#include "device/DeviceType.h"
#include "instrument/InstrumentSettings.h"
#include "logger/LoggerTypes.h"

namespace quor {
class QuorSDI12;
}

namespace quor::settingsfile {

inline constexpr const char* kHeader = "***** Auto-Generated Settings File -- DO NOT EDIT *****";

// The largest file the program writes stays under 32 KiB (100 user and 100
// equation records of 100 characters, 20 calibration entries of 128, the
// other keys); a larger file is none of ours and is refused unread.
inline constexpr std::size_t kMaxFileBytes = 256 * 1024;

// At most this many records of each set are written and read back.
inline constexpr int kMaxRecords = 100;

// The captured selection word (instruments) or valid mask (loggers), so a
// reader restores only what the capture really read. Older files lack it.
inline constexpr const char* kSelectionKey = "selection";

// The first line is the header, ended by CR LF or LF.
bool HasHeader(std::string_view text);

// The raw value of the first line that begins with key followed by '="';
// nothing when there is no such line or its value has no closing quote.
std::optional<std::string_view> FindValue(std::string_view text, std::string_view key);

enum class Lookup {
    kFound,
    kMissing,  // no line for the key, or no closing quote
    kEmpty,    // a text value that is empty: nothing to restore
    kTooLong,  // longer than its field: never cut, never restored
    kBadText,  // a NUL byte, or not a number in the field's range
};

// A text value into a field of capacity bytes (terminator included). The
// field changes only when the value is found.
Lookup ReadText(std::string_view text, std::string_view key, char* destination, std::size_t capacity);
template <std::size_t N>
Lookup ReadText(std::string_view text, std::string_view key, FixedText<N>& field) {
    return ReadText(text, key, field.data(), field.capacity());
}

// The whole value a decimal integer (optional '-') from min to max.
Lookup ReadInteger(std::string_view text, std::string_view key, std::int64_t min, std::int64_t max,
                   std::int64_t* value);
// The whole value a finite decimal number (optional sign) from min to max.
Lookup ReadDouble(std::string_view text, std::string_view key, double min, double max, double* value);
// Five numbers from 0 to 255 separated by blanks; all five or nothing.
Lookup ReadByteList(std::string_view text, std::string_view key, std::uint8_t (&values)[kPortCount]);

// A conversion of the whole of s, as the lookups above use it.
bool ParseInteger(std::string_view s, std::int64_t min, std::int64_t max, std::int64_t* value);

// The lines of one file, header first. A value that holds a line end or a
// NUL byte cannot stand on its line: its key is written empty (not
// restored) and named in leftOut.
struct FileLines {
    std::vector<std::string> lines;
    std::vector<std::string> leftOut;

    FileLines();
    void Add(std::string_view key, std::string_view value);
    QUOR_PRINTF(3, 4) void AddFormatted(std::string_view key, const char* format, ...);
    std::string Text() const;
};

// What a logger of this type writes as its type line's value ("Rv70").
const char* LoggerFileTypeName(DeviceType type);

void BuildLoggerLines(DeviceType type, const LoggerSettings& settings, FileLines& out);
void BuildInstrumentLines(DeviceType type, const InstrumentSettings& settings, const RecordSet& userRecords,
                          const RecordSet& eqnRecords, FileLines& out);
void BuildSensorLines(const QuorSDI12& sensor, FileLines& out);

}  // namespace quor::settingsfile
