#pragma once
// The captured settings of an instrument that is not a datalogger, the
// selection bits that name them, and the equation and user record lists.
// Plain data: the capture, the restore and the settings file fill and read it.

#include <cstdint>
#include <memory>

#include "common/FixedText.h"
#include "device/DeviceType.h"

namespace quor {

// Selection bits: request words of GetInstInfo/SetInstInfo, the selection
// word of what was captured, and the captured selection.
namespace inst {
inline constexpr std::uint32_t kName = 0x1;
inline constexpr std::uint32_t kSerialNumber = 0x2;
inline constexpr std::uint32_t kTuning = 0x4;  // p0, p3, p5, lwidth, ltemp, current
inline constexpr std::uint32_t kLang = 0x8;
inline constexpr std::uint32_t kContr = 0x10;
inline constexpr std::uint32_t kFvals = 0x20;
inline constexpr std::uint32_t kUvals = 0x40;
inline constexpr std::uint32_t kUnits = 0x80;
inline constexpr std::uint32_t kAdc = 0x100;
inline constexpr std::uint32_t kAdccal = 0x400;
inline constexpr std::uint32_t kConfig = 0x800;
inline constexpr std::uint32_t kWtoffset = 0x1000;
inline constexpr std::uint32_t kAuto = 0x4000;
inline constexpr std::uint32_t kUsage = 0x8000;
inline constexpr std::uint32_t kNoSetting = 0x10000;
inline constexpr std::uint32_t kWtfactory = 0x20000;
inline constexpr std::uint32_t kAdc15 = 0x40000;
inline constexpr std::uint32_t kAdc30 = 0x80000;
inline constexpr std::uint32_t kSample = 0x100000;
inline constexpr std::uint32_t kCalList = 0x200000;
inline constexpr std::uint32_t kP = 0x400000;  // with pv and c76 on HSR
inline constexpr std::uint32_t kPCUnits = 0x800000;
inline constexpr std::uint32_t kLocation = 0x1000000;
inline constexpr std::uint32_t kChai = 0x2000000;
inline constexpr std::uint32_t kExtCal = 0x4000000;
inline constexpr std::uint32_t kUserRecords = 0x8000000;
inline constexpr std::uint32_t kEqnRecords = 0x10000000;
inline constexpr std::uint32_t kTadj = 0x20000000;
inline constexpr std::uint32_t kHadjTau = 0x40000000;
inline constexpr std::uint32_t kSys = 0x80000000;

inline constexpr int kCalEntries = 20;
inline constexpr int kTuningValues = 6;
}  // namespace inst

struct InstrumentSettings {
    std::uint32_t selection = 0;
    DeviceType type = DeviceType::kUnknown;
    FixedText<15> serialNumber;
    FixedText<8> name;
    FixedText<128> location;
    FixedText<18> quorBuild;  // never captured; written to the file as it is
    std::int32_t lang = 0;
    std::int32_t contr = 0;
    std::int32_t units = 0;
    FixedText<64> config;
    FixedText<63> autoSec;
    FixedText<128> calprefs;
    FixedText<128> pcUnits;
    FixedText<128> sample;
    FixedText<16> chai;
    FixedText<128> fvals;
    FixedText<128> uvals;
    FixedText<16> adc;
    FixedText<63> adccal;
    FixedText<63> wtoffset;
    FixedText<63> wtfactory;
    FixedText<128> sys;
    FixedText<128> adc15;
    FixedText<128> adc30;
    FixedText<16> extCal;
    FixedText<128> tadj;
    FixedText<128> hadj;
    std::int32_t tau = 0;
    FixedText<128> usage;
    // Entries 0 to 19 of the calibration list; the first six also hold the
    // six tuning values.
    FixedText<128> cal[inst::kCalEntries];
};

struct Record {
    FixedText<32> name;
    FixedText<100> value;
};

// Record kinds of the record-set operations.
inline constexpr int kEqnRecordKind = 1;   // the device's "eqn" list
inline constexpr int kUserRecordKind = 2;  // the device's "user" list

// A count and an owned array of that many records; refilling releases the
// old array.
struct RecordSet {
    std::int32_t count = 0;
    std::unique_ptr<Record[]> records;

    void Release() { records.reset(); count = 0; }
    bool HasArray() const { return records != nullptr; }
};

}  // namespace quor
