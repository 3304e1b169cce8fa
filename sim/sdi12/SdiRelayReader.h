#pragma once
// The relaying reader (the handheld Palomet, or the AQVEN Comm Device) on
// the serial side: it collects an SDI-12 command written to the port up to
// its '!', passes it to the sensor on its SDI-12 bus and, after the bus
// time, sends the sensor's reply back up to and including its carriage
// return. A line ending in a carriage return instead is one of the reader's
// own commands ("get -ver", "get -batt", "get -hver"): it goes to the
// reader's firmware model, when one is set, which answers it itself.
//
// Control characters, taken by the reader when they come between commands:
//   "|"  an SDI-12 break (wakes the bus); recorded only.
//   "]"  opens the loader pass-through when the sensor's loader runs: from
//        then on every byte goes unchanged to the sensor's serial line and
//        every byte the loader sends comes back unchanged. A sensor that
//        runs its firmware listens only on its SDI-12 bus, so the reader
//        then stays as it was. A "P" as the first byte after "]" is the
//        reader's own (it selects the programming pass-through) and is
//        not passed on.
//   "["  closes the pass-through: back to relaying SDI-12 and own commands.
//   "`"  ends the sensor session: closes the pass-through and releases a
//        loader that still waits for its connection, so the sensor's
//        firmware runs again. A connected loader (an update under way) is
//        left alone.
// In the pass-through only "[" and "`" are the reader's; everything else,
// "]" and "|" included, reaches the sensor. A new host session (DTR raised
// or dropped over a cable that carries it) starts with the pass-through
// closed; a cut cable carries nothing, so the reader keeps whatever state
// it had until the host comes back.
//
// Faults: a reader that loses every other command (the bare address query
// "?!" excepted: the reader answers it as its bus re-synchronisation), one
// that relays nothing at all, one that passes the sensor's reply as it came
// (CR LF, or no carriage return at all), and one that answers late: a held
// reply comes only once the next command arrives, just ahead of that
// command's own answer, as from a reader that finished the bus exchange
// after the host had given up waiting.
//
// Ownership: the sensor and the firmware model are borrowed (null: nothing
// plugged in, no own commands) and must outlive the reader's use of them.
// The reader is the device side the sensor's loader talks through.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/core/DeviceModel.h"
#include "sim/sdi12/SdiSensor.h"

namespace quor::sim {

class SdiRelayReader final : public DeviceModel {
public:
    static constexpr std::uint32_t kDefaultBusTimeMs = 40;      // command out, sensor's answer back
    static constexpr std::uint64_t kCommandGapUs = 100'000;     // a pause this long drops a partial command
    static constexpr std::size_t kLongestCommand = 600;

    explicit SdiRelayReader(SdiSensor* sensor = nullptr);

    void Attach(DeviceSide& side) override;
    void OnReceive(std::uint8_t byte) override;
    void OnDtrChange(bool on) override;

    void Plug(SdiSensor* sensor);
    // The reader's own firmware, answering the lines that end in a carriage return.
    void SetFirmware(DeviceModel* firmware);
    void DropEveryOtherCommand(bool on) { dropEveryOther_ = on; dropCounter_ = 0; }
    void SetSilent(bool silent) { silent_ = silent; }
    void SetBusTimeMs(std::uint32_t ms) { busTimeUs_ = std::uint64_t{ms} * 1000u; }
    void PassSensorLineEnds(bool on) { passLineEnds_ = on; }
    // The next count replies to command (as the host writes it, "?X4!") are
    // held back until the next command comes.
    void HoldReplies(const std::string& command, int count = 1) {
        holdCommand_ = command;
        holdCount_ = count;
    }

    // Every complete command received, and the control characters the
    // reader took, in order.
    const std::vector<std::string>& Commands() const { return commands_; }
    const std::string& Controls() const { return controls_; }
    std::uint32_t Dropped() const { return dropped_; }
    bool PassThroughOpen() const { return passThrough_; }
    // Everything in the order it came: SDI-12 commands ("?I!"), own command
    // lines without their carriage return ("get -ver"), each control
    // character the reader took ("]") and, once per stretch of bytes passed
    // through to the sensor, "<loader>".
    const std::vector<std::string>& Trace() const { return trace_; }
    static constexpr const char* kLoaderTraffic = "<loader>";

private:
    // The sensor's serial line as its loader sees it: what the loader
    // sends reaches the host only while the pass-through is open.
    class SensorLine final : public DeviceSide {
    public:
        explicit SensorLine(SdiRelayReader& reader) : reader_(reader) {}
        std::uint64_t NowMicros() override { return reader_.side_->NowMicros(); }
        EventId Schedule(std::uint64_t delayUs, std::function<void()> fn) override {
            return reader_.side_->Schedule(delayUs, std::move(fn));
        }
        void Cancel(EventId id) override { reader_.side_->Cancel(id); }
        void Send(std::string_view bytes) override {
            if (reader_.passThrough_) reader_.side_->Send(bytes);
        }
        void SetBaud(std::uint32_t baud) override { baud_ = baud; }
        std::uint32_t Baud() const override { return baud_; }
        bool Dtr() const override { return false; }

    private:
        SdiRelayReader& reader_;
        std::uint32_t baud_ = 9600;
    };

    void Relay(const std::string& command);
    bool Drops(const std::string& command);
    void TakeControl(char c);
    void PassThrough(std::uint8_t byte);
    void OwnCommand(const std::string& line);
    void ClosePassThrough() { passThrough_ = false; justOpened_ = false; }
    void AttachSensorLine();

    SdiSensor* sensor_;
    DeviceModel* firmware_ = nullptr;
    SensorLine line_{*this};
    bool passThrough_ = false;
    bool justOpened_ = false;
    bool dropEveryOther_ = false;
    bool silent_ = false;
    bool passLineEnds_ = false;
    std::string holdCommand_;
    int holdCount_ = 0;
    std::vector<std::string> held_;
    std::uint32_t dropCounter_ = 0;
    std::uint32_t dropped_ = 0;
    std::uint64_t busTimeUs_ = std::uint64_t{kDefaultBusTimeMs} * 1000u;
    std::uint64_t lastByteAt_ = 0;
    std::string pending_;
    std::vector<std::string> commands_;
    std::string controls_;
    std::vector<std::string> trace_;
};

}  // namespace quor::sim
