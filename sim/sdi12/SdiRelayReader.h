#pragma once
// The relaying reader (the handheld Palomet, or the AQVEN Comm Device) on
// the serial side: it collects an SDI-12 command written to the port up to
// its '!', passes it to the sensor on its SDI-12 bus and, after the bus
// time, sends the sensor's reply back up to and including its carriage
// return. Single control characters between commands ("|", "]", "[", the
// grave accent, "P") are taken and recorded without disturbing the relay.
//
// Faults: a reader that loses every other command (the bare address query
// "?!" excepted: the reader answers it as its bus re-synchronisation), one
// that relays nothing at all, one that passes the sensor's reply as it came
// (CR LF, or no carriage return at all), and one that answers late: a held
// reply comes only once the next command arrives, just ahead of that
// command's own answer, as from a reader that finished the bus exchange
// after the host had given up waiting.
//
// Ownership: the sensor is borrowed (null: nothing plugged in) and must
// outlive the reader's use of it.

#include <cstdint>
#include <string>
#include <vector>

#include "sim/core/DeviceModel.h"
#include "sim/sdi12/SdiSensor.h"

namespace quor::sim {

class SdiRelayReader final : public DeviceModel {
public:
    static constexpr std::uint32_t kDefaultBusTimeMs = 40;      // command out, sensor's answer back
    static constexpr std::uint64_t kCommandGapUs = 100'000;     // a pause this long drops a partial command
    static constexpr std::size_t kLongestCommand = 600;

    explicit SdiRelayReader(SdiSensor* sensor = nullptr) : sensor_(sensor) {}

    void Plug(SdiSensor* sensor) { sensor_ = sensor; }
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

    // Every complete command received, and the control characters, in order.
    const std::vector<std::string>& Commands() const { return commands_; }
    const std::string& Controls() const { return controls_; }
    std::uint32_t Dropped() const { return dropped_; }

    void OnReceive(std::uint8_t byte) override;

private:
    void Relay(const std::string& command);
    bool Drops(const std::string& command);

    SdiSensor* sensor_;
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
};

}  // namespace quor::sim
