#include "sim/core/SimLink.h"

#include <iterator>

namespace quor::sim {

namespace {
constexpr std::uint64_t kMicrosPerMs = 1000;
}

// The host end of a SimLink, handed out as the open port.
class SimPort final : public PortDriver {
public:
    explicit SimPort(SimLink& link) : link_(&link) {}
    ~SimPort() override { Close(); }

    PortError SetQueueSizes(std::size_t, std::size_t) override { return Check(); }
    PortError GetConfig(PortConfig& config) override {
        if (PortError e = Check()) return e;
        config = link_->hostConfig_;
        config.dtr = link_->dtr_;
        return kPortOk;
    }
    PortError ApplyConfig(const PortConfig& config) override {
        if (PortError e = Check()) return e;
        link_->hostConfig_ = config;
        link_->HostSetDtr(config.dtr);
        return kPortOk;
    }
    PortError SetTimeouts(const PortTimeouts& timeouts) override {
        if (PortError e = Check()) return e;
        timeouts_ = timeouts;
        return kPortOk;
    }
    PortError SetDtr(bool on) override {
        if (PortError e = Check()) return e;
        link_->HostSetDtr(on);
        return kPortOk;
    }
    PortError ClearErrors() override { return Check(); }
    PortError Read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got) override {
        got = 0;
        if (PortError e = Check()) return e;
        got = link_->HostRead(buffer, capacity, timeouts_.readFirstByteMs);
        return kPortOk;
    }
    PortError Write(const std::uint8_t* data, std::size_t count, std::size_t& written) override {
        written = 0;
        if (PortError e = Check()) return e;
        link_->HostWrite(data, count);
        written = count;
        return kPortOk;
    }
    PortError PurgeReceive() override {
        if (PortError e = Check()) return e;
        link_->HostPurge();
        return kPortOk;
    }
    PortError Close() override {
        if (!link_) return kPortOk;
        link_->HostClosed();
        link_ = nullptr;
        return kPortOk;
    }

private:
    PortError Check() const {
        // An unplugged adapter: the port is no longer there, as the termios
        // driver reports it.
        if (!link_) return kErrNoSuchPort;
        return link_->failHostIo_ ? kErrNoSuchPort : kPortOk;
    }
    SimLink* link_;
    PortTimeouts timeouts_;
};

SimLink::SimLink(VirtualClock& clock, DeviceModel& model, std::uint32_t deviceBaud)
    : clock_(clock), model_(model), deviceBaud_(deviceBaud) {
    hostConfig_.dtr = false;
    model_.Attach(*this);
}

SimLink::~SimLink() { StopNoise(); }

PortError SimLink::OpenHost(std::unique_ptr<PortDriver>& out) {
    if (hostOpen_) return kErrInUse;
    hostOpen_ = true;
    out = std::make_unique<SimPort>(*this);
    return kPortOk;
}

void SimLink::HostClosed() {
    HostSetDtr(false);
    hostOpen_ = false;
}

DeviceSide::EventId SimLink::Schedule(std::uint64_t delayUs, std::function<void()> fn) {
    return clock_.ScheduleIn(delayUs, std::move(fn));
}

void SimLink::HostSetDtr(bool on) {
    if (on == dtr_) return;
    dtr_ = on;
    model_.OnDtrChange(on);
}

void SimLink::Cut() {
    cut_ = true;
    // What is still on the wire is lost; what arrived stays in the port.
    while (!toHost_.empty() && toHost_.back().at > clock_.NowMicros()) toHost_.pop_back();
}

void SimLink::CutAtHostWrite(WriteMatch match, CutTiming timing) {
    cutMatch_ = std::move(match);
    cutTiming_ = timing;
    cutFired_ = false;
}

void SimLink::HostWrite(const std::uint8_t* data, std::size_t count) {
    hostWrites_.emplace_back(reinterpret_cast<const char*>(data), count);
    hostSent_.append(reinterpret_cast<const char*>(data), count);
    bool cutAfterDelivery = false;
    if (cutMatch_ && cutMatch_(hostWrites_.back())) {
        cutMatch_ = nullptr;
        cutFired_ = true;
        if (cutTiming_ == CutTiming::kBeforeDelivery)
            Cut();
        else
            cutAfterDelivery = true;
    }
    const std::uint64_t byteTime = ByteTimeMicros(hostConfig_.baud);
    hostWireUs_ += byteTime * count;
    std::uint64_t t = hostLineFreeAt_ > clock_.NowMicros() ? hostLineFreeAt_ : clock_.NowMicros();
    for (std::size_t i = 0; i < count; ++i) {
        t += byteTime;
        std::uint64_t n = ++hostBytes_;
        std::uint8_t b = data[i];
        std::uint32_t rateAtSend = hostConfig_.baud;
        if (cut_ || dropHost_.count(n)) continue;
        if (corruptHost_.count(n)) b = static_cast<std::uint8_t>(b ^ 0x5A);
        clock_.ScheduleAt(t, [this, b, rateAtSend] {
            if (cut_) return;
            model_.OnReceive(rateAtSend == deviceBaud_ ? b : Garble(b));
        });
    }
    // Scheduled after the last byte's arrival at the same time, so the
    // device has taken the whole write when the cable goes.
    if (cutAfterDelivery) clock_.ScheduleAt(t, [this] { Cut(); });
    hostLineFreeAt_ = t;
}

void SimLink::Send(std::string_view bytes) {
    deviceSent_.append(bytes);
    const std::uint64_t byteTime = ByteTimeMicros(deviceBaud_);
    deviceWireUs_ += byteTime * bytes.size();
    std::uint64_t now = clock_.NowMicros();
    std::uint64_t t = deviceLineFreeAt_ > now ? deviceLineFreeAt_ : now;
    for (char c : bytes) {
        t += byteTime;
        std::uint64_t n = ++deviceBytes_;
        std::uint8_t b = static_cast<std::uint8_t>(c);
        if (cut_ || now < silentUntil_ || dropDevice_.count(n)) continue;
        if (corruptDevice_.count(n)) b = static_cast<std::uint8_t>(b ^ 0x5A);
        if (deviceBaud_ != hostConfig_.baud) b = Garble(b);
        ArriveAtHost(t, b);
    }
    deviceLineFreeAt_ = t;
}

std::size_t SimLink::HostRead(std::uint8_t* buffer, std::size_t capacity, std::uint32_t firstByteTimeoutMs) {
    if (capacity == 0) return 0;
    auto due = [this] { return !toHost_.empty() && toHost_.front().at <= clock_.NowMicros(); };
    if (!due()) {
        const std::uint64_t deadline = clock_.NowMicros() + firstByteTimeoutMs * kMicrosPerMs;
        while (!due()) {
            std::uint64_t stop = deadline;
            if (!toHost_.empty() && toHost_.front().at < stop) stop = toHost_.front().at;
            std::uint64_t next = clock_.NextEventTime();
            if (next < stop) {
                clock_.RunUntil(next);
                continue;
            }
            clock_.RunUntil(stop);
            if (stop == deadline) break;
        }
    }
    std::size_t got = 0;
    while (got < capacity && due()) {
        // Bytes that were on the wire when the cable was cut never arrive.
        if (!cut_) buffer[got++] = toHost_.front().byte;
        toHost_.pop_front();
    }
    return got;
}

void SimLink::ArriveAtHost(std::uint64_t at, std::uint8_t byte) {
    // Arrivals stay in time order: noise may fall between the device's bytes.
    auto it = toHost_.end();
    while (it != toHost_.begin() && std::prev(it)->at > at) --it;
    toHost_.insert(it, Arrival{at, byte});
}

void SimLink::NoiseToHost(std::uint8_t byte, std::uint64_t intervalUs) {
    StopNoise();
    noiseEvent_ = clock_.ScheduleIn(intervalUs, [this, byte, intervalUs] { NoiseTick(byte, intervalUs); });
}

void SimLink::NoiseTick(std::uint8_t byte, std::uint64_t intervalUs) {
    if (!cut_) ArriveAtHost(clock_.NowMicros(), byte);
    noiseEvent_ = clock_.ScheduleIn(intervalUs, [this, byte, intervalUs] { NoiseTick(byte, intervalUs); });
}

void SimLink::StopNoise() {
    if (noiseEvent_) clock_.Cancel(noiseEvent_);
    noiseEvent_ = 0;
}

void SimLink::HostPurge() {
    while (!toHost_.empty() && toHost_.front().at <= clock_.NowMicros()) toHost_.pop_front();
}

void SimLink::ClearRecords() {
    hostSent_.clear();
    deviceSent_.clear();
    hostWrites_.clear();
    hostWireUs_ = 0;
    deviceWireUs_ = 0;
}

}  // namespace quor::sim
