#pragma once
// Shared pieces of the loader tests: the memory maps of two device type
// rows, a device code lookup, a simulated bench with one loader device, an
// independent decoder of the image text, and srec_cat.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "bsl/LoaderMemoryMap.h"
#include "DeviceMaps.h"
#include "bsl/QuorBSLHost.h"
#include "log/QuorLog.h"
#include "sim/bsl/SimLoaderDevice.h"
#include "sim/core/SimWorld.h"
#include "support/TempDir.h"

namespace quor::bsltest {

inline sim::SimLoaderConfig SimConfigFor(const LoaderMemoryMap& m) {
    sim::SimLoaderConfig c;
    c.loaderBaud = m.loaderBaud;
    c.fiveDigitAddresses = m.loaderOption;
    c.infoStart = m.infoStart;
    c.infoSegments = m.infoSegments;
    c.infoSegmentSize = m.infoSegmentSize;
    return c;
}

// The device codes of the type table, by type number.
inline std::int8_t TestDeviceCodeLookup(const char* code) {
    static const char* const kCodes[] = {"UNKNOWN", "RV7",  "RV7B", "RV70",     "CK",  "WK",      "DMINI",
                                         "TQ",      "LG40", "FG",   "AQVEN-HX", "DSKT", "S7K",    "HJD",
                                         "JQ",      "DM9",  "HSR",  "PX7T",     "KL3", "ZRL",     "TRU",
                                         "PLOTHUB", "DM9LSR", "TWI", "FLOWPACK", "END"};
    for (int i = 0; i < 26; ++i) {
        if (std::strcmp(kCodes[i], code) == 0) return static_cast<std::int8_t>(i);
    }
    return 0;
}

// What the flash must hold after programming: every byte the image text
// names, read here independently of the host, and the vectors.
inline std::map<std::uint32_t, std::uint8_t> ImageBytes(const char* text, std::uint32_t length,
                                                         const std::uint32_t* vectors) {
    std::map<std::uint32_t, std::uint8_t> bytes;
    std::uint32_t address = 0;
    std::uint32_t i = 0;
    while (i < length) {
        if (text[i] == '@') {
            address = static_cast<std::uint32_t>(std::stoul(std::string(text + i + 1, 5), nullptr, 16));
            i += 6;
            continue;
        }
        std::uint32_t word = static_cast<std::uint32_t>(std::stoul(std::string(text + i, 4), nullptr, 16));
        bytes[address++] = static_cast<std::uint8_t>(word & 0xFF);
        bytes[address++] = static_cast<std::uint8_t>(word >> 8);
        i += 4;
    }
    for (std::uint32_t v = 0; v < 16; ++v) {
        bytes[0xFFE0 + 2 * v] = static_cast<std::uint8_t>(vectors[v] & 0xFF);
        bytes[0xFFE1 + 2 * v] = static_cast<std::uint8_t>(vectors[v] >> 8);
    }
    return bytes;
}

// Deterministic bytes for old firmware and loader code.
inline std::vector<std::uint8_t> PatternBytes(std::size_t n, std::uint32_t seed) {
    std::vector<std::uint8_t> out(n);
    std::uint32_t x = seed | 1;
    for (auto& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x);
    }
    return out;
}

// One simulated device with its loader on "SIM1", and a host with a log.
class LoaderBench {
public:
    explicit LoaderBench(const LoaderMemoryMap& map, sim::SimLoaderConfig config)
        : map_(map), device(config), link(world.AddDevice("SIM1", device, config.applicationBaud)),
          log(dir.File("bsl.log").c_str(), QuorLog::kLevelDetail), host(&log) {
        host.SetDeviceCodeLookup(TestDeviceCodeLookup);
    }
    explicit LoaderBench(const LoaderMemoryMap& map) : LoaderBench(map, SimConfigFor(map)) {}

    const LoaderMemoryMap& Map() const { return map_; }
    std::string LogText() const { return testing::ReadFile(log.FileName()); }

    // Old firmware in the code flash and the information memory, and the
    // loader's own code in 0xFA00-0xFFDF, as on a device in the field.
    void PreloadFieldDevice() {
        const std::uint32_t infoEnd = map_.infoStart + map_.infoSegments * map_.infoSegmentSize;
        device.Flash().Preload(map_.infoStart, PatternBytes(infoEnd - map_.infoStart, 7));
        const std::uint32_t lowEnd = map_.flashEnd < 0xFA00 ? map_.flashEnd + 1 : 0xFA00;
        device.Flash().Preload(map_.flashStart, PatternBytes(lowEnd - map_.flashStart, 11));
        if (map_.flashEnd > 0x10000) {
            // Up to the last whole segment the erase reaches.
            const std::uint32_t highEnd = ((map_.flashEnd - 0x10000) / 512) * 512 + 0x10000;
            device.Flash().Preload(0x10000, PatternBytes(highEnd - 0x10000, 13));
        }
        device.Flash().Preload(0xFA00, LoaderCode());
    }
    static std::vector<std::uint8_t> LoaderCode() { return PatternBytes(0xFFE0 - 0xFA00, 17); }

    // The whole flash must be erased except the loader's code and exactly
    // the given bytes.
    void ExpectFlashHolds(const std::map<std::uint32_t, std::uint8_t>& expected, bool loaderPreloaded) {
        const auto& flash = device.Flash().Bytes();
        const auto loader = LoaderCode();
        std::uint32_t mismatches = 0;
        for (std::uint32_t a = 0; a < flash.size(); ++a) {
            std::uint8_t want = 0xFF;
            if (loaderPreloaded && a >= 0xFA00 && a < 0xFFE0) want = loader[a - 0xFA00];
            auto it = expected.find(a);
            if (it != expected.end()) want = it->second;
            if (flash[a] != want && ++mismatches <= 5) {
                ADD_FAILURE() << "flash at 0x" << std::hex << a << " holds 0x" << int(flash[a]) << ", expected 0x"
                              << int(want);
            }
        }
        EXPECT_EQ(mismatches, 0u);
    }

private:
    LoaderMemoryMap map_;

public:
    sim::SimWorld world;
    sim::SimLoaderDevice device;
    sim::SimLink& link;
    testing::TempDir dir;
    QuorLog log;
    QuorBSLHost host;
};

// srec_cat on PATH, or "" (the caller fails the test with a clear message).
inline std::string FindSrecCat() {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string candidate = dirs.substr(start, end - start) + "/srec_cat";
        if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return "";
}

}  // namespace quor::bsltest
