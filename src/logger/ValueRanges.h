#pragma once
// The values each logger setting may hold, in one table. A number read from
// a logger outside its range is an unreadable answer (-30); a value outside
// it is refused before anything is sent (-11). Every bound keeps the
// arithmetic done on the value (255 - trait, major x 100, year - 1900)
// inside its type.
//
// | value                        | range                   | from                                      |
// |------------------------------|-------------------------|-------------------------------------------|
// | wake interval                | 0 .. 2147483647         | signed 32 bit; negative is refused        |
// | PADC (Hz)                    | 0 .. 2147483647         | signed 32 bit; negative is refused        |
// | data parameter, report mode, | -2147483648 ..          | signed 32 bit ("%d"), no narrower meaning |
// |   rmode                      |   2147483647            |                                           |
// | time zone (15 min steps)     | -96 .. 96               | an offset from UTC of at most a day       |
// | IP port                      | 0 .. 65535              | a TCP port                                |
// | reset count ("show")         | 0 .. 2147483647         | a counter                                 |
// | trait byte ("get -trait")    | 0 .. 255                | the inverted feature byte                 |
// | ports, depths                | 0 .. 2147483647         | unsigned 8 bit; above 255 stored as 255   |
// | ADC values and checksum      | 0 .. 2147483647         | 0 and 255 up mark the calibration invalid |
// | radio channel                | 0 .. 6                  | the radio module's channels               |
// | radio subchannel             | 0 .. 0xFFFF             | the radio module's subchannels            |
// | latitude                     | -90 .. 90, finite       | degrees                                   |
// | longitude                    | -180 .. 180, finite     | degrees                                   |
// | firmware major number        | 0 .. 21474835           | major x 100 + minor x 10 + sub fits 32 bit|
// | QuorSeconds                  | 0 .. 2147483647         | signed 32 bit seconds since 2000          |
// | clock year                   | 2000 .. 2068            | the years QuorSeconds can hold            |
// | clock month, day             | 1 .. 12, 1 .. 31        |                                           |
// | clock hour, minute, second   | 0 .. 23, 0 .. 59, 0..60 | a leap second is a second                 |

#include <cstdint>

namespace quor::range {

struct IntRange {
    std::int64_t min;
    std::int64_t max;
    constexpr bool Holds(std::int64_t v) const { return v >= min && v <= max; }
};

inline constexpr std::int64_t kInt32Min = -2147483647 - 1;
inline constexpr std::int64_t kInt32Max = 2147483647;

inline constexpr IntRange kAnyInt32{kInt32Min, kInt32Max};
inline constexpr IntRange kNonNegative{0, kInt32Max};
inline constexpr IntRange kWake = kNonNegative;
inline constexpr IntRange kPadc = kNonNegative;
inline constexpr IntRange kDataParameter = kAnyInt32;
inline constexpr IntRange kReportMode = kAnyInt32;
inline constexpr IntRange kRmode = kAnyInt32;
inline constexpr IntRange kTimeZone{-96, 96};
inline constexpr IntRange kIpPort{0, 65535};
inline constexpr IntRange kResetCount = kNonNegative;
inline constexpr IntRange kTraitByte{0, 255};
inline constexpr IntRange kPortValue = kNonNegative;  // stored cut to 255
inline constexpr IntRange kAdcValue = kNonNegative;   // stored cut to 255
inline constexpr IntRange kRadioChannel{0, 6};
inline constexpr IntRange kRadioSubchannel{0, 0xFFFF};
inline constexpr IntRange kFirmwareMajor{0, (kInt32Max - 99) / 100};
inline constexpr IntRange kQuorSeconds = kNonNegative;
inline constexpr IntRange kClockYear{2000, 2068};
inline constexpr IntRange kClockMonth{1, 12};
inline constexpr IntRange kClockDay{1, 31};
inline constexpr IntRange kClockHour{0, 23};
inline constexpr IntRange kClockMinute{0, 59};
inline constexpr IntRange kClockSecond{0, 60};

inline constexpr double kLatitudeLimit = 90.0;
inline constexpr double kLongitudeLimit = 180.0;

}  // namespace quor::range
