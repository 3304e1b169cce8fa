#pragma once
// What a simulated device sees of the world: the wire at its end of the
// cable and a clock to schedule its own work on. Device models are written
// from the device's side of each exchange and know nothing of host code.

#include <cstdint>
#include <functional>
#include <string_view>

namespace quor::sim {

// The device's end of a link (an in-memory link in virtual time, or a pty
// in real time).
class DeviceSide {
public:
    using EventId = std::uint64_t;
    virtual ~DeviceSide() = default;
    virtual std::uint64_t NowMicros() = 0;
    // Runs fn after delayUs on the link's clock.
    virtual EventId Schedule(std::uint64_t delayUs, std::function<void()> fn) = 0;
    virtual void Cancel(EventId id) = 0;
    // Transmits bytes at the device's rate, after whatever is still being sent.
    virtual void Send(std::string_view bytes) = 0;
    // The rate the device's UART listens and sends at.
    virtual void SetBaud(std::uint32_t baud) = 0;
    virtual std::uint32_t Baud() const = 0;
    // The host's DTR line.
    virtual bool Dtr() const = 0;
    // The rate the host's end of the link runs at.
    virtual std::uint32_t HostBaud() const { return Baud(); }
    // Whether the link carries bytes at all (a cut cable does not).
    virtual bool LinkUp() const { return true; }
};

class DeviceModel {
public:
    virtual ~DeviceModel() = default;
    // Called once when the model is put on a link; side outlives the model's use of it.
    virtual void Attach(DeviceSide& side) { side_ = &side; }
    // One byte arrived at the device (already garbled if the rates differ).
    virtual void OnReceive(std::uint8_t byte) = 0;
    // The host raised or dropped DTR.
    virtual void OnDtrChange(bool /*on*/) {}

protected:
    DeviceSide* side_ = nullptr;
};

// Microseconds one byte (start, 8 data, stop bits) takes at baud.
constexpr std::uint64_t ByteTimeMicros(std::uint32_t baud) {
    return baud ? (10'000'000ull + baud - 1) / baud : 0;
}

}  // namespace quor::sim
