// TI-Text files written by srecord's srec_cat from random binaries are
// loaded and programmed into the simulated loader; the flash must then
// hold the binaries byte for byte. srec_cat is an independent writer of the
// format, so this checks the reader against someone else's idea of it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "BslTestSupport.h"

namespace quor {
namespace {

using bsltest::LoaderBench;

struct Piece {
    std::uint32_t address;
    std::uint32_t size;
};

struct SrecCase {
    const char* name;
    LoaderMemoryMap map;
    std::vector<Piece> pieces;  // the last one is the vector section
};

std::string Hex(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", static_cast<unsigned>(v));
    return buf;
}

class SrecordTest : public ::testing::TestWithParam<SrecCase> {};

TEST_P(SrecordTest, FlashEqualsTheBinaries) {
    const std::string srecCat = bsltest::FindSrecCat();
    ASSERT_FALSE(srecCat.empty()) << "srec_cat was not found on PATH. It comes with the Debian package "
                                     "'srecord'; run scripts/install-deps.";
    const SrecCase& c = GetParam();
    LoaderBench b(c.map);
    b.PreloadFieldDevice();

    std::map<std::uint32_t, std::uint8_t> expected;
    std::string command = "'" + srecCat + "'";
    std::uint32_t seed = 101;
    for (const Piece& p : c.pieces) {
        auto bytes = bsltest::PatternBytes(p.size, seed += 7919);
        std::string bin = b.dir.File("piece" + std::to_string(seed) + ".bin");
        testing::WriteFile(bin, std::string(bytes.begin(), bytes.end()));
        command += " '" + bin + "' -binary -offset " + Hex(p.address);
        for (std::uint32_t i = 0; i < p.size; ++i) expected[p.address + i] = bytes[i];
    }
    // The file name names the device type, as a user's file would.
    const std::string ti = b.dir.File(std::string(c.name) + " 1-23.txt");
    command += " -o '" + ti + "' -ti-txt";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    ASSERT_EQ(b.host.BSLLoadTIFile(ti.c_str()), 1) << testing::ReadFile(ti).substr(0, 200);
    EXPECT_EQ(b.host.VersionNumber(), 123);
    EXPECT_EQ(b.host.ImageDeviceType(), bsltest::TestDeviceCodeLookup(c.name));
    // Vector words the file does not give stay erased.
    for (std::uint32_t v = 0; v < 16; ++v) {
        auto lo = expected.find(0xFFE0 + 2 * v);
        auto hi = expected.find(0xFFE1 + 2 * v);
        std::uint32_t want = (lo == expected.end() ? 0xFF : lo->second) | (hi == expected.end() ? 0xFF : hi->second) << 8;
        EXPECT_EQ(b.host.Vectors()[v], want) << v;
    }

    ASSERT_EQ(b.host.BSLConnect("SIM1", c.map.loaderBaud, false, 3), 12);
    ASSERT_GT(b.host.BSLProgramImage(c.map), 0);
    b.ExpectFlashHolds(expected, true);
    EXPECT_TRUE(b.device.Violations().empty());
}

INSTANTIATE_TEST_SUITE_P(
    SrecCat, SrecordTest,
    ::testing::Values(
        SrecCase{"TRU", bsltest::TruMap(), {{0x1100, 1000}, {0xFFE0, 32}}},
        // Odd byte counts, a one-byte section, a full vector table's tail.
        SrecCase{"TRU", bsltest::TruMap(), {{0x1100, 777}, {0x4000, 1}, {0x8002, 4097}, {0xFFFE, 2}}},
        // A section that ends at the last byte below the loader, vectors in part.
        SrecCase{"RV70", bsltest::TruMap(), {{0x2000, 513}, {0xF000, 0xA00}, {0xFFF0, 16}}},
        // Five-digit addresses above 0xFFFF at 57600 baud.
        SrecCase{"DM9", bsltest::Dm9Map(), {{0x2100, 5000}, {0x10000, 3001}, {0x1F000, 0xE00}, {0xFFE0, 32}}},
        SrecCase{"PLOTHUB", bsltest::Dm9Map(), {{0x3000, 255}, {0x12346, 50000}, {0xFFEA, 22}}}),
    [](const ::testing::TestParamInfo<SrecCase>& param) {
        return std::string(param.param.name) + "_" + std::to_string(param.index);
    });

}  // namespace
}  // namespace quor
