// Capture and restore of an instrument's settings, one get or set command
// per setting, and its equation and user record lists.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "instrument/Quor_protocol.h"

namespace quor {

namespace {
constexpr std::uint32_t kGetTimeoutMs = 2000;
constexpr std::uint32_t kSetTimeoutMs = 2000;
constexpr std::uint32_t kSetAnswerSize = 64;
constexpr int kSerialAttempts = 3;
constexpr std::uint32_t kSerialSetTimeoutMs = 4000;  // the device writes it to flash first
constexpr std::uint32_t kRecordTimeoutMs = 2000;
constexpr std::uint32_t kRecordAnswerSize = 32;
constexpr std::int32_t kMaxEqnRecords = 100;   // assumed when the count query fails
constexpr std::int32_t kMaxUserRecords = 25;
constexpr std::int32_t kMaxRecordsRead = 100;  // more could not be kept in the settings file
constexpr std::size_t kRecordCommandChars = 127;
constexpr std::size_t kNameCompareChars = 32;
constexpr std::size_t kEqnNameChars = 20;
constexpr std::size_t kUserNameChars = 9;
constexpr int kUserNameTab = 3;  // the name follows the third tab of a user definition

// Capture and restore orders of the selection bits.
constexpr std::uint32_t kGetOrder[] = {
    inst::kLang,     inst::kSerialNumber, inst::kContr,     inst::kConfig,     inst::kFvals,
    inst::kUvals,    inst::kUnits,        inst::kAdc,       inst::kSample,     inst::kUsage,
    inst::kAdccal,   inst::kWtoffset,     inst::kWtfactory, inst::kSys,        inst::kAuto,
    inst::kPCUnits,  inst::kName,         inst::kAdc15,     inst::kAdc30,      inst::kTuning,
    inst::kCalList,  inst::kLocation,     inst::kChai,      inst::kExtCal,     inst::kEqnRecords,
    inst::kUserRecords, inst::kTadj,      inst::kHadjTau,   inst::kP,
};
constexpr std::uint32_t kSetOrder[] = {
    inst::kSerialNumber, inst::kLang,     inst::kContr,     inst::kFvals,   inst::kConfig,
    inst::kUvals,        inst::kUnits,    inst::kAdc,       inst::kSample,  inst::kUsage,
    inst::kAdccal,       inst::kWtoffset, inst::kWtfactory, inst::kSys,     inst::kAuto,
    inst::kPCUnits,      inst::kName,     inst::kAdc15,     inst::kAdc30,   inst::kTuning,
    inst::kCalList,      inst::kLocation, inst::kChai,      inst::kExtCal,  inst::kTadj,
    inst::kHadjTau,      inst::kP,        inst::kEqnRecords, inst::kUserRecords,
};

std::uint32_t FirstBitOf(std::uint32_t request, const std::uint32_t (&order)[29]) {
    for (std::uint32_t bit : order)
        if (request & bit) return bit;
    return 0;
}

// A text setting with one get and one set command of the same key.
struct TextRow {
    std::uint32_t bit;
    const char* key;    // "get -<key>", "set -<key> <value>"
    const char* label;  // of the set's log line
    char* (*field)(InstrumentSettings&);
    std::uint32_t maxChars;
};

template <std::size_t N>
constexpr std::uint32_t Chars(FixedText<N> InstrumentSettings::*) {
    return static_cast<std::uint32_t>(N);
}

#define QUOR_FIELD(member) \
    +[](InstrumentSettings& s) { return s.member.data(); }, Chars(&InstrumentSettings::member)

const TextRow kTextRows[] = {
    {inst::kName, "i", "name", QUOR_FIELD(name)},
    {inst::kFvals, "fvals", "fvals", QUOR_FIELD(fvals)},
    {inst::kAdc, "adc", "adc", QUOR_FIELD(adc)},
    {inst::kAdccal, "adccal", "adccal", QUOR_FIELD(adccal)},
    {inst::kConfig, "config", "config", QUOR_FIELD(config)},
    {inst::kWtoffset, "wtoffset", "wtoffset", QUOR_FIELD(wtoffset)},
    {inst::kAuto, "auto", "autosec", QUOR_FIELD(autoSec)},
    {inst::kUsage, "usage", "usage", QUOR_FIELD(usage)},
    {inst::kWtfactory, "wtfactory", "wtfactory", QUOR_FIELD(wtfactory)},
    {inst::kAdc15, "adc15", "adc15", QUOR_FIELD(adc15)},
    {inst::kAdc30, "adc30", "adc30", QUOR_FIELD(adc30)},
    {inst::kSample, "sample", "sample", QUOR_FIELD(sample)},
    {inst::kPCUnits, "units", "pcUnits", QUOR_FIELD(pcUnits)},
    {inst::kLocation, "loc", "location", QUOR_FIELD(location)},
    {inst::kChai, "x", "chai", QUOR_FIELD(chai)},
    {inst::kExtCal, "ext", "ext", QUOR_FIELD(extCal)},
    {inst::kTadj, "tadj", "tadj", QUOR_FIELD(tadj)},
    {inst::kSys, "sys", "sys", QUOR_FIELD(sys)},
};
#undef QUOR_FIELD

struct LongRow {
    std::uint32_t bit;
    const char* key;
    const char* label;
    std::int32_t InstrumentSettings::*field;
};

const LongRow kLongRows[] = {
    {inst::kLang, "lang", "device language", &InstrumentSettings::lang},
    {inst::kContr, "contr", "device contrast", &InstrumentSettings::contr},
    {inst::kUnits, "units", "device units", &InstrumentSettings::units},
};

const TextRow* TextRowOf(std::uint32_t bit) {
    for (const TextRow& row : kTextRows)
        if (row.bit == bit) return &row;
    return nullptr;
}

const LongRow* LongRowOf(std::uint32_t bit) {
    for (const LongRow& row : kLongRows)
        if (row.bit == bit) return &row;
    return nullptr;
}

// The six tuning values, kept in the first six calibration entries.
constexpr const char* kTuningKeys[inst::kTuningValues] = {"p0",     "p3",    "p5",
                                                          "lwidth", "ltemp", "current"};

const char* RecordName(int kind) {
    return kind == kEqnRecordKind ? "eqn" : kind == kUserRecordKind ? "user" : nullptr;
}

// The outcome of a group of sets sent one after another (tuning values,
// calibration entries, a record list): 1 when all were taken; -35 when some
// were, since the link is then up and the restore goes on; else the latest
// failure, so a device that went silent still ends the restore.
class SetGroup {
public:
    void Add(ResultCode r) {
        if (r > 0) {
            taken_ = true;
        } else {
            failure_ = r;
        }
    }
    ResultCode Outcome() const {
        if (failure_ == rc::kOk) return rc::kOk;
        return taken_ ? rc::kSomeSettingsFailed : failure_;
    }

private:
    ResultCode failure_ = rc::kOk;
    bool taken_ = false;
};

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return 0;  // padding and strangers count as zero bits
}
}  // namespace

// --- capture -------------------------------------------------------------

ResultCode Quor_protocol::GetSerialNumber() {
    ResultCode r = rc::kUnreadableAnswer;
    for (int attempt = 0; attempt < kSerialAttempts; ++attempt) {
        r = GetValueString("get -sn", kGetTimeoutMs, instrument_.serialNumber.data(),
                           FixedText<15>::kMaxChars);
        if (r > 0 && std::strstr(instrument_.serialNumber.c_str(), "OK")) {
            // The acknowledgement of some other command, not a serial number.
            instrument_.serialNumber.Clear();
            r = rc::kUnreadableAnswer;
            continue;
        }
        if (r > 0) break;
    }
    return r;
}

ResultCode Quor_protocol::GetOne(std::uint32_t bit) {
    InstrumentSettings& s = instrument_;
    auto got = [&](ResultCode r) {
        if (r > 0) s.selection |= bit;
        return r;
    };
    if (const TextRow* row = TextRowOf(bit)) {
        FixedText<16> command;
        command.Format("get -%s", row->key);
        ResultCode r = got(GetValueString(command.c_str(), kGetTimeoutMs, row->field(s), row->maxChars));
        // Not every device keeps a sample setting; its absence loses nothing.
        return bit == inst::kSample ? rc::kOk : r;
    }
    if (const LongRow* row = LongRowOf(bit)) {
        FixedText<16> command;
        command.Format("get -%s", row->key);
        return got(GetValueLong(command.c_str(), kGetTimeoutMs, &(s.*row->field)));
    }
    switch (bit) {
        case inst::kSerialNumber:
            return got(GetSerialNumber());
        case inst::kUvals:
            return got(GetValueString(UsesPvUser() ? "get -pvuser" : "get -uvals", kGetTimeoutMs,
                                      s.uvals.data(), FixedText<128>::kMaxChars));
        case inst::kTuning: {
            ResultCode r = rc::kOk;
            for (int i = 0; i < inst::kTuningValues; ++i) {
                FixedText<16> command;
                command.Format("get -%s", kTuningKeys[i]);
                r = got(GetValueString(command.c_str(), kGetTimeoutMs, s.cal[i].data(),
                                       FixedText<128>::kMaxChars));
            }
            return r;
        }
        case inst::kCalList: {
            for (int j = 0; j < inst::kCalEntries; ++j) {
                FixedText<16> command;
                command.Format("get %s%d", "-cal ", j);
                ResultCode r = got(GetValueString(command.c_str(), kGetTimeoutMs, s.cal[j].data(),
                                                  FixedText<128>::kMaxChars));
                if (r <= 0) {
                    s.cal[j].Clear();
                    // A shorter list is a list; only no list at all is a failure.
                    return j == 0 ? r : rc::kOk;
                }
            }
            return rc::kOk;
        }
        case inst::kEqnRecords:
            return got(GetRecords_Serial(&eqnRecords_, kEqnRecordKind));
        case inst::kUserRecords:
            return got(GetRecords_Serial(&userRecords_, kUserRecordKind));
        case inst::kHadjTau: {
            // Only a read hadj marks the pair captured, so a device without
            // it is not sent a tau it never had.
            if (GetValueString("get -hadj", kGetTimeoutMs, s.hadj.data(), FixedText<128>::kMaxChars) > 0) {
                s.selection |= bit;
                GetValueLong("get -tau", kGetTimeoutMs, &s.tau);
            }
            return rc::kOk;
        }
        case inst::kP: {
            ResultCode r = got(GetValueString("get -p", kGetTimeoutMs, s.fvals.data(),
                                              FixedText<128>::kMaxChars));
            if (deviceType_ == DeviceType::kHsr) {
                if (r > 0) {
                    ResultCode pv = GetValueString("get -pv", kGetTimeoutMs, s.uvals.data(),
                                                   FixedText<128>::kMaxChars);
                    if (pv < 0) r = pv;
                }
                GetValueString("get -c76", kGetTimeoutMs, s.calprefs.data(), FixedText<128>::kMaxChars);
            }
            return r;
        }
        default:
            return rc::kOk;
    }
}

namespace {
// The result of a capture or restore loop whose last setting failed with
// last: that setting counts as one of several not handled (-35), as it would
// anywhere else in the order, unless it was the only one handled or the
// link itself broke.
ResultCode LastFailure(ResultCode last, int handled, bool linkBroken) {
    return handled > 1 && !linkBroken ? rc::kSomeSettingsFailed : last;
}
}  // namespace

ResultCode Quor_protocol::GetInstInfo(std::uint32_t request) {
    if (request == 0) {
        Log(QuorLog::kLevelMilestone, "GetInstInfo should be called with non-zero flags");
        return 0;
    }
    instrument_.type = deviceType_;
    ResultCode last = 0, result = rc::kOk;
    std::uint32_t previous = 0;
    int handled = 0;
    while (request != 0) {
        if (request == previous) break;  // the last pass handled nothing
        previous = request;
        if (last == rc::kEchoedCommand || last == rc::kNoAnswer) {
            result = last;
            break;
        }
        if (last < 0) result = rc::kSomeSettingsFailed;
        const std::uint32_t bit = FirstBitOf(request, kGetOrder);
        if (bit == 0) continue;  // bits without a setting end the loop
        ResultCode r = GetOne(bit);
        ++handled;
        last = r > 0 ? rc::kOk : r;
        request &= ~bit;
    }
    // A capture with -35 is still saved: one setting that could not be read
    // must not cost the others because it comes last.
    if (result == rc::kOk && last < 0)
        result = LastFailure(last, handled, last == rc::kEchoedCommand || last == rc::kNoAnswer);
    if (result < 0) Log(QuorLog::kLevelMilestone, "GetInstInfo could not collect all settings");
    return result;
}

// --- restore -------------------------------------------------------------

ResultCode Quor_protocol::SetValue(const char* command, const char* label, const char* shown) {
    char answer[kSetAnswerSize];
    std::uint32_t ms = 0;
    ResultCode r = Command(command, kSetTimeoutMs, answer, sizeof answer, &ms);
    if (r > 0 && std::strstr(answer, "OK")) {
        Log(QuorLog::kLevelMilestone, "SetInstInfo set %s to \"%s\" (%d ms)", label, shown,
            static_cast<int>(ms));
        return rc::kOk;
    }
    // An answer without "OK" means the device kept its old value: a setting
    // not restored, wherever it stands in the order.
    return r > 0 ? rc::kSomeSettingsFailed : r;
}

ResultCode Quor_protocol::SetSerialNumber() {
    FixedText<40> command;
    command.Format("set -sn %s\r", instrument_.serialNumber.c_str());
    ResultCode r = rc::kUnreadableAnswer;
    for (int attempt = 0; attempt < kSerialAttempts; ++attempt) {
        char answer[kSetAnswerSize];
        std::uint32_t ms = 0;
        r = Command(command.c_str(), kSerialSetTimeoutMs, answer, sizeof answer, &ms);
        if (r > 0 && std::strstr(answer, "OK")) {
            Log(QuorLog::kLevelMilestone, "SetInstInfo set device serial number to \"%s\" (%d ms)",
                instrument_.serialNumber.c_str(), static_cast<int>(ms));
            return rc::kOk;
        }
    }
    if (r == rc::kDeviceError) return lrc::kCannotSet;
    return r > 0 ? rc::kSomeSettingsFailed : r;
}

ResultCode Quor_protocol::SetOne(std::uint32_t bit) {
    InstrumentSettings& s = instrument_;
    // Long enough for the longest value (128) behind the longest key.
    FixedText<160> command;
    if (const TextRow* row = TextRowOf(bit)) {
        const char* value = row->field(s);
        command.Format("set -%s %s\r", row->key, value);
        return SetValue(command.c_str(), row->label, value);
    }
    if (const LongRow* row = LongRowOf(bit)) {
        const long value = s.*row->field;
        command.Format("set -%s %ld\r", row->key, value);
        FixedText<16> shown;
        shown.Format("%ld", value);
        return SetValue(command.c_str(), row->label, shown.c_str());
    }
    switch (bit) {
        case inst::kSerialNumber:
            return SetSerialNumber();
        case inst::kUvals:
            command.Format("%s %s\r", UsesPvUser() ? "set -pvuser" : "set -uvals", s.uvals.c_str());
            return SetValue(command.c_str(), "uvals/pvuser", s.uvals.c_str());
        case inst::kTuning: {
            SetGroup group;
            for (int i = 0; i < inst::kTuningValues; ++i) {
                // A value that was never read (or an older file's missing sixth)
                // is not restored: sending it empty would wipe the device's own.
                if (s.cal[i].empty()) {
                    group.Add(rc::kSomeSettingsFailed);
                    continue;
                }
                command.Format("set -%s %s\r", kTuningKeys[i], s.cal[i].c_str());
                group.Add(SetValue(command.c_str(), kTuningKeys[i], s.cal[i].c_str()));
            }
            return group.Outcome();
        }
        case inst::kCalList: {
            SetGroup group;
            for (int j = 0; j < inst::kCalEntries && !s.cal[j].empty(); ++j) {
                command.Format("set %s%d %s\r", "-cal ", j, s.cal[j].c_str());
                FixedText<8> label;
                label.Format("cal %d", j);
                group.Add(SetValue(command.c_str(), label.c_str(), s.cal[j].c_str()));
            }
            return group.Outcome();
        }
        case inst::kHadjTau: {
            const long tau = s.tau;
            command.Format("set -tau %ld\r", tau);
            FixedText<16> shown;
            shown.Format("%ld", tau);
            SetGroup group;
            group.Add(SetValue(command.c_str(), "tau", shown.c_str()));
            command.Format("set -hadj %s\r", s.hadj.c_str());
            group.Add(SetValue(command.c_str(), "hadj", s.hadj.c_str()));
            return group.Outcome();
        }
        case inst::kP: {
            SetGroup group;
            command.Format("set -p %s\r", s.fvals.c_str());
            group.Add(SetValue(command.c_str(), "-p", s.fvals.c_str()));
            if (deviceType_ == DeviceType::kHsr) {
                command.Format("set -pv %s\r", s.uvals.c_str());
                group.Add(SetValue(command.c_str(), "-pv", s.uvals.c_str()));
                // c76 is a preference some HSR firmware lacks: never a failure.
                if (!s.calprefs.empty()) {
                    command.Format("set -c76 %s\r", s.calprefs.c_str());
                    SetValue(command.c_str(), "-c76", s.calprefs.c_str());
                }
            }
            return group.Outcome();
        }
        case inst::kEqnRecords:
            SendCommand("reset -eqn\r");
            return SetRecords_Serial(&eqnRecords_, kEqnRecordKind);
        case inst::kUserRecords:
            SendCommand("reset -users\r");
            return SetRecords_Serial(&userRecords_, kUserRecordKind);
        default:
            return rc::kOk;
    }
}

ResultCode Quor_protocol::SetInstInfo(std::uint32_t request) {
    if (request == 0) {
        Log(QuorLog::kLevelMilestone, "SetInstInfo should be called with non-zero flags");
        return 0;
    }
    ResultCode last = 0, result = rc::kOk;
    std::uint32_t previous = 0;
    int handled = 0;
    bool noSetting = false;
    while (request != 0) {
        if (last == rc::kEchoedCommand || last == rc::kRelayActive || last == rc::kNoAnswer) {
            result = last;
            break;
        }
        if (last < 0) result = rc::kSomeSettingsFailed;
        if (request == previous) {  // a bit with no setting
            last = rc::kUnreadableAnswer;
            noSetting = true;
            break;
        }
        previous = request;
        const std::uint32_t bit = FirstBitOf(request, kSetOrder);
        if (bit == 0) continue;
        last = SetOne(bit);
        ++handled;
        request &= ~bit;
    }
    if (result == rc::kOk && last < 0) {
        const bool linkBroken =
            last == rc::kEchoedCommand || last == rc::kRelayActive || last == rc::kNoAnswer;
        result = noSetting ? last : LastFailure(last, handled, linkBroken);
    }
    if (result < 0) Log(QuorLog::kLevelMilestone, "SetInstInfo could not restore all settings");
    return result;
}

// --- record lists --------------------------------------------------------

ResultCode Quor_protocol::GetRecords_Serial(RecordSet* set, int kind) {
    const char* name = RecordName(kind);
    if (!name) {
        Log(QuorLog::kLevelMilestone, "GetRecords_Serial found an unexpected record type \"%d\"", kind);
        return rc::kOutOfRange;
    }
    if (!set) return rc::kMissingArgument;
    if (set->HasArray()) {
        Log(QuorLog::kLevelMilestone, "GetRecords_Serial found a non-null \"%s\" set", name);
    }
    set->Release();

    FixedText<16> command;
    command.Format("get -%s\r", name);
    char answer[kRecordAnswerSize];
    ResultCode r = Command(command.c_str(), kRecordTimeoutMs, answer, sizeof answer, nullptr);
    const std::int32_t largest = kind == kEqnRecordKind ? kMaxEqnRecords : kMaxUserRecords;
    std::int32_t count = largest;
    if (r > 0) {
        errno = 0;
        char* end = nullptr;
        const long n = std::strtol(answer, &end, 10);
        // An unreadable count is no count: ask entry by entry as when none came.
        if (end != answer && errno != ERANGE && n >= 0)
            count = n > kMaxRecordsRead ? kMaxRecordsRead : static_cast<std::int32_t>(n);
    }
    if (count == 0) {
        Log(QuorLog::kLevelMilestone, "GetRecords_Serial found no \"%s\" records in instrument", name);
        return 0;
    }
    Log(QuorLog::kLevelMilestone, "GetRecords_Serial instrument reports %d \"%s\" records",
        static_cast<int>(count), name);
    set->records.reset(new (std::nothrow) Record[static_cast<std::size_t>(count)]);
    if (!set->records) {
        Log(QuorLog::kLevelMilestone, "GetRecords_Serial couldn't allocate memory for %d records",
            static_cast<int>(count));
        return rc::kOutOfMemory;
    }
    std::int32_t read = 0;
    for (; read < count; ++read) {
        FixedText<24> get;
        get.Format("get -%s %d", name, static_cast<int>(read));
        if (GetValueString(get.c_str(), kRecordTimeoutMs, set->records[read].value.data(),
                           FixedText<100>::kMaxChars) < 0)
            break;
    }
    Log(QuorLog::kLevelMilestone, "GetRecords_Serial retrieved %d of %d \"%s\" records",
        static_cast<int>(read), static_cast<int>(count), name);
    set->count = read;
    return rc::kOk;
}

ResultCode Quor_protocol::SetRecords_Serial(RecordSet* set, int kind) {
    const char* name = RecordName(kind);
    if (!name) {
        Log(QuorLog::kLevelMilestone, "SetRecords_Serial found an unexpected record type \"%d\"", kind);
        return rc::kOutOfRange;
    }
    if (!set) return rc::kMissingArgument;
    if (set->count == 0 || !set->HasArray()) {
        Log(QuorLog::kLevelMilestone, "SetRecords_Serial found an empty \"%s\" set", name);
        return 0;
    }
    AlphabetizeRecords(set, kind);
    std::int32_t sent = 0;
    SetGroup group;
    for (std::int32_t i = 0; i < set->count && !set->records[i].value.empty(); ++i) {
        FixedText<kRecordCommandChars> command;
        command.Format("set -%s %d %s\r", name, static_cast<int>(i), set->records[i].value.c_str());
        char answer[kRecordAnswerSize];
        std::uint32_t ms = 0;
        ResultCode r = Command(command.c_str(), kRecordTimeoutMs, answer, sizeof answer, &ms);
        ++sent;
        if (r > 0 && std::strstr(answer, "OK")) {
            group.Add(rc::kOk);
            Log(QuorLog::kLevelMilestone, "SetRecords_Serial set \"%s\" %d to \"%s\" (%d ms)", name,
                static_cast<int>(i), set->records[i].value.c_str(), static_cast<int>(ms));
        } else {
            // The others still go; the restore reports that this one did not.
            group.Add(r > 0 ? rc::kSomeSettingsFailed : r);
        }
    }
    Log(QuorLog::kLevelMilestone, "SetRecords_Serial retrieved %d of %d \"%s\" records",
        static_cast<int>(sent), static_cast<int>(set->count), name);
    return group.Outcome();
}

bool Quor_protocol::RecordBefore(const Record& a, const Record& b) {
    const char* x = a.name.c_str();
    const char* y = b.name.c_str();
    for (std::size_t i = 0; i < kNameCompareChars; ++i) {
        const int cx = std::tolower(static_cast<unsigned char>(x[i]));
        const int cy = std::tolower(static_cast<unsigned char>(y[i]));
        if (cx == 0) return true;  // a ends first, or both end: equal counts as before
        if (cy == 0) return false;
        if (cx != cy) return cx < cy;
    }
    return false;
}

ResultCode Quor_protocol::AlphabetizeRecords(RecordSet* set, int kind) {
    if (!RecordName(kind)) {
        Log(QuorLog::kLevelMilestone, "AlphabetizeRecords found an unexpected record type \"%d\"", kind);
        return rc::kOutOfRange;
    }
    ResultCode r = ExtractNames(set, kind);
    if (r < 0) return r;
    Record* recs = set->records.get();
    for (std::int32_t i = 1; i < set->count; ++i) {
        if (!RecordBefore(recs[i], recs[i - 1])) continue;
        Record lifted = recs[i];
        std::int32_t j = i;
        while (j > 0 && RecordBefore(lifted, recs[j - 1])) {
            recs[j] = recs[j - 1];
            --j;
        }
        recs[j] = lifted;
    }
    return rc::kOk;
}

ResultCode Quor_protocol::ExtractNames(RecordSet* set, int kind) {
    if (!RecordName(kind)) {
        Log(QuorLog::kLevelMilestone, "ExtractNames found an unexpected record type \"%d\"", kind);
        return rc::kOutOfRange;
    }
    if (!set || !set->HasArray()) {
        Log(QuorLog::kLevelMilestone, "ExtractNames found an null record pointer");
        return rc::kMissingArgument;
    }
    for (std::int32_t i = 0; i < set->count; ++i) {
        Record& rec = set->records[i];
        const char* v = rec.value.c_str();
        char name[FixedText<32>::capacity()] = {};
        if (kind == kEqnRecordKind) {
            std::size_t n = 0;
            for (; n < kEqnNameChars && v[n] && v[n] != ' '; ++n)
                name[n] = v[n] == '_' ? ' ' : v[n] == '`' ? ',' : v[n];
        } else {
            // Four characters give three bytes; 100 characters at most 75.
            unsigned char text[FixedText<100>::capacity()] = {};
            const std::size_t len = rec.value.size();
            std::size_t out = 0;
            for (std::size_t g = 0; g < len; g += 4) {
                std::uint32_t bits = 0;
                for (std::size_t k = 0; k < 4; ++k)
                    bits = (bits << 6) | static_cast<std::uint32_t>(g + k < len ? Base64Value(v[g + k]) : 0);
                text[out++] = static_cast<unsigned char>(bits >> 16);
                text[out++] = static_cast<unsigned char>(bits >> 8);
                text[out++] = static_cast<unsigned char>(bits);
            }
            text[out] = '\0';
            const char* p = reinterpret_cast<const char*>(text);
            int tabs = 0;
            while (*p && tabs < kUserNameTab)
                if (*p++ == '\t') ++tabs;
            if (tabs == kUserNameTab) {
                std::size_t n = 0;
                for (; n < kUserNameChars && p[n] && p[n] != '\t'; ++n) name[n] = p[n];
            }
        }
        rec.name = name;
    }
    return rc::kOk;
}

}  // namespace quor
