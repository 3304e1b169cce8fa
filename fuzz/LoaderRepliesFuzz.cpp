// The loader's replies. The "g" version reply comes from a simulated loader
// that answers with the fuzz input, through BSLConnect on the virtual
// clock: a connect succeeds only with a positive version that fits, given
// as "+<digits>+" at the start of the reply, and reports that number. The
// acknowledgement judging takes only a "+" as a yes.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "bsl/BSLFraming.h"
#include "bsl/QuorBSLHost.h"
#include "sim/bsl/SimLoaderDevice.h"
#include "sim/core/SimWorld.h"

using namespace quor;

namespace {

constexpr std::uint32_t kLoaderBaud = 9600;
constexpr std::uint32_t kConnectTries = 2;

// The version a reply gives, or -1 when it gives none.
long long VersionOf(std::string_view raw) {
    // The port drops NUL bytes before the host sees the reply.
    std::string kept;
    for (char c : raw)
        if (c != '\0') kept += c;
    std::string_view reply = kept;
    // The host reads up to the reply's carriage return, at most 20 characters.
    reply = reply.substr(0, kBSLReplyMaxChars);
    reply = reply.substr(0, reply.find('\r'));
    if (reply.empty() || reply[0] != '+') return -1;
    std::size_t i = 1;
    while (i < reply.size() && fuzz::Space(reply[i])) ++i;  // as a number reader skips them
    const std::size_t first = i;
    long long v = 0;
    for (; i < reply.size() && fuzz::Digit(reply[i]); ++i) {
        v = v * 10 + (reply[i] - '0');
        if (v > INT_MAX) return -1;
    }
    if (i == first || i >= reply.size() || reply[i] != '+' || v == 0) return -1;
    return v;
}

void CheckJudging(std::string_view reply) {
    const std::uint32_t count = static_cast<std::uint32_t>(reply.size() < kBSLReplyMaxChars ? reply.size()
                                                                                            : kBSLReplyMaxChars);
    const bool plus = (count >= 1 && reply[0] == '+') || (count >= 2 && reply[1] == '+');
    for (ResultCode transport : {0, rc::kNoAnswer}) {
        const ResultCode r = JudgeBSLReply(reply.data(), count, transport);
        if (plus) {
            FUZZ_CHECK(r == static_cast<ResultCode>(count), "an acknowledgement judged %d", r);
        } else {
            FUZZ_CHECK(r == -1 || (transport < 0 && r == transport), "no acknowledgement judged %d", r);
        }
    }
}

void CheckVersionReply(const std::string& reply) {
    sim::SimWorld world;
    sim::SimLoaderConfig config;
    config.loaderBaud = kLoaderBaud;
    sim::SimLoaderDevice device(config);
    device.SetVersionReply(reply);
    world.AddDevice("SIM1", device, config.applicationBaud);
    QuorBSLHost host(nullptr);
    const ResultCode r = host.BSLConnect("SIM1", kLoaderBaud, false, kConnectTries);
    // An empty script makes the loader answer as usual.
    const long long expected = reply.empty() ? config.loaderVersion : VersionOf(reply);
    if (r >= 0) {
        FUZZ_CHECK(expected > 0, "connected with version %d from a reply that gives none", r);
        FUZZ_CHECK(r == expected && host.LoaderVersion() == expected, "version %d (kept %d), the reply says %lld", r,
                   host.LoaderVersion(), expected);
    }
    host.BSLDisconnect();
}

}  // namespace

void FuzzOne(const std::uint8_t* data, std::size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);
    CheckJudging(reply);
    CheckVersionReply(reply);
}

QUOR_FUZZ_TARGET(FuzzOne)
