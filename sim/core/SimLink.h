#pragma once
// An in-memory serial cable in virtual time. The host end is a PortDriver
// (what QuorSerial opens); the device end is a DeviceSide for one model.
// Bytes travel at 10 bits a byte at the sender's rate; a byte sent while
// the two ends run at different rates arrives as garbage, so a host that
// misses a baud switch is not understood.
//
// Faults, counted esptool-style by byte number from the link's start:
// drop or corrupt the Nth byte either way, cut the cable (now, or at the
// first host write a test picks, before or after the device took it),
// silence the device for a while, let noise trickle in, or make the host's
// port calls fail.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "serial/PortDriver.h"
#include "sim/core/DeviceModel.h"
#include "sim/core/VirtualClock.h"

namespace quor::sim {

class SimLink final : public DeviceSide {
public:
    // The link borrows the clock; the model is owned by the caller (or by
    // the SimWorld that made the link) and must outlive the link's use.
    SimLink(VirtualClock& clock, DeviceModel& model, std::uint32_t deviceBaud = 9600);
    ~SimLink() override;
    SimLink(const SimLink&) = delete;
    SimLink& operator=(const SimLink&) = delete;

    // Opens the host end; kErrInUse while it is open already.
    PortError OpenHost(std::unique_ptr<PortDriver>& out);
    bool HostOpen() const { return hostOpen_; }

    // --- DeviceSide ---
    std::uint64_t NowMicros() override { return clock_.NowMicros(); }
    EventId Schedule(std::uint64_t delayUs, std::function<void()> fn) override;
    void Cancel(EventId id) override { clock_.Cancel(id); }
    void Send(std::string_view bytes) override;
    void SetBaud(std::uint32_t baud) override { deviceBaud_ = baud; }
    std::uint32_t Baud() const override { return deviceBaud_; }
    bool Dtr() const override { return dtr_; }
    std::uint32_t HostBaud() const override { return hostConfig_.baud; }
    bool LinkUp() const override { return !cut_; }

    // --- faults ---
    void DropHostByte(std::uint64_t n) { dropHost_.insert(n); }      // 1-based, host to device
    void CorruptHostByte(std::uint64_t n) { corruptHost_.insert(n); }
    void DropDeviceByte(std::uint64_t n) { dropDevice_.insert(n); }  // device to host
    void CorruptDeviceByte(std::uint64_t n) { corruptDevice_.insert(n); }
    // Nothing crosses until Reconnect; bytes still on the wire are lost.
    void Cut();
    void Reconnect() { cut_ = false; }
    bool IsCut() const { return cut_; }
    // Where a cut at a host write falls.
    enum class CutTiming {
        kBeforeDelivery,  // the write never reaches the device
        kAfterDelivery    // the device takes all of it; its answer is lost
    };
    using WriteMatch = std::function<bool(std::string_view write)>;
    // Cuts the cable at the first host write (one port write call, as the
    // host makes it) that match accepts, looking from now on; once.
    void CutAtHostWrite(WriteMatch match, CutTiming timing);
    bool CutAtWriteFired() const { return cutFired_; }
    void SilenceDeviceFor(std::uint64_t us) { silentUntil_ = clock_.NowMicros() + us; }
    // The host's port calls fail with an I/O error (an unplugged adapter).
    void FailHostIo(bool fail) { failHostIo_ = fail; }
    // A noisy line: byte reaches the host every intervalUs from now on,
    // among whatever the device sends, until StopNoise.
    void NoiseToHost(std::uint8_t byte, std::uint64_t intervalUs);
    void StopNoise();

    // --- what happened ---
    const std::string& HostSent() const { return hostSent_; }      // every byte the host wrote
    const std::string& DeviceSent() const { return deviceSent_; }  // every byte the model sent
    const std::vector<std::string>& HostWrites() const { return hostWrites_; }
    // Wire time of every byte each way at the rate it was sent at (since
    // the last ClearRecords).
    std::uint64_t HostWireMicros() const { return hostWireUs_; }
    std::uint64_t DeviceWireMicros() const { return deviceWireUs_; }
    void ClearRecords();
    VirtualClock& Clock() { return clock_; }

    // Garbage that a byte becomes when the two ends' rates differ: never a
    // printable character or a line end, so no protocol mistakes it.
    static std::uint8_t Garble(std::uint8_t b) { return static_cast<std::uint8_t>(0x80 | (b * 37 + 11)); }

private:
    friend class SimPort;
    struct Arrival {
        std::uint64_t at;
        std::uint8_t byte;
    };
    void HostWrite(const std::uint8_t* data, std::size_t count);
    std::size_t HostRead(std::uint8_t* buffer, std::size_t capacity, std::uint32_t firstByteTimeoutMs);
    void HostPurge();
    void HostSetDtr(bool on);
    void HostClosed();
    void ArriveAtHost(std::uint64_t at, std::uint8_t byte);
    void NoiseTick(std::uint8_t byte, std::uint64_t intervalUs);

    VirtualClock& clock_;
    DeviceModel& model_;
    std::uint32_t deviceBaud_;
    PortConfig hostConfig_;
    bool hostOpen_ = false;
    bool dtr_ = false;
    bool cut_ = false;
    bool failHostIo_ = false;
    WriteMatch cutMatch_;
    CutTiming cutTiming_ = CutTiming::kBeforeDelivery;
    bool cutFired_ = false;
    std::uint64_t silentUntil_ = 0;
    EventId noiseEvent_ = 0;  // 0: no noise
    std::uint64_t hostLineFreeAt_ = 0;
    std::uint64_t deviceLineFreeAt_ = 0;
    std::uint64_t hostBytes_ = 0;
    std::uint64_t deviceBytes_ = 0;
    std::uint64_t hostWireUs_ = 0;
    std::uint64_t deviceWireUs_ = 0;
    std::set<std::uint64_t> dropHost_, corruptHost_, dropDevice_, corruptDevice_;
    std::deque<Arrival> toHost_;
    std::string hostSent_, deviceSent_;
    std::vector<std::string> hostWrites_;
};

}  // namespace quor::sim
