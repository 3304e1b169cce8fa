// The one promise of the loader host to a device: a firmware file is either
// refused before any erase, write or vector frame leaves the host, or
// programmed so that the flash holds every byte of the file outside the
// loader's own code (0xFA00-0xFFDF), with no violation. The judge is the
// simulated flash against the bytes the file was written from, never the
// host's own reading of the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "BslTestSupport.h"

namespace quor {
namespace {

using bsltest::Dm9Map;
using bsltest::LoaderBench;
using bsltest::PatternBytes;
using bsltest::TruMap;

// One "@" section of a file: its address and its bytes.
struct Piece {
    std::uint32_t address;
    std::vector<std::uint8_t> bytes;
};

Piece P(std::uint32_t address, std::size_t n) { return {address, PatternBytes(n, address * 31 + n)}; }

enum class Outcome { kProgrammed, kRefusedAtLoad, kRefusedBeforeErase };
enum class Style { kPlain, kLowerCaseCrLf };

struct FileCase {
    const char* name;
    std::vector<Piece> pieces;
    std::string raw;  // when set, the file as it stands (pieces unused)
    Outcome tru;      // on a four-digit device
    Outcome dm9;      // on a five-digit device
    Style style = Style::kPlain;
};

// TI-Text as the usual tools write it: 16 bytes a line.
std::string WriteTiText(const FileCase& c) {
    if (!c.raw.empty()) return c.raw;
    const bool lower = c.style == Style::kLowerCaseCrLf;
    const char* eol = lower ? "\r\n" : "\n";
    std::string out;
    char buf[16];
    for (const Piece& p : c.pieces) {
        std::snprintf(buf, sizeof buf, lower ? "@%x" : "@%X", static_cast<unsigned>(p.address));
        out += buf;
        out += eol;
        for (std::size_t i = 0; i < p.bytes.size(); ++i) {
            std::snprintf(buf, sizeof buf, lower ? "%02x" : "%02X", static_cast<unsigned>(p.bytes[i]));
            out += buf;
            out += (i % 16 == 15 || i + 1 == p.bytes.size()) ? eol : " ";
        }
    }
    return out + "q" + eol;
}

// What the flash must hold: every byte of the file outside the loader's code.
std::map<std::uint32_t, std::uint8_t> FileBytes(const FileCase& c) {
    std::map<std::uint32_t, std::uint8_t> bytes;
    for (const Piece& p : c.pieces) {
        for (std::size_t i = 0; i < p.bytes.size(); ++i) {
            const std::uint32_t a = p.address + static_cast<std::uint32_t>(i);
            if (a < 0xFA00 || a > 0xFFDF) bytes[a] = p.bytes[i];
        }
    }
    return bytes;
}

const char* OutcomeName(Outcome o) {
    return o == Outcome::kProgrammed ? "programmed" : o == Outcome::kRefusedAtLoad ? "refused at load" : "refused";
}

void RunCase(const FileCase& c, const LoaderMemoryMap& map, Outcome expected, const char* device) {
    SCOPED_TRACE(std::string(c.name) + " on " + device + ", expected " + OutcomeName(expected));
    LoaderBench b(map);
    b.PreloadFieldDevice();
    const std::string path = b.dir.File(std::string(c.name) + ".txt");
    testing::WriteFile(path, WriteTiText(c));
    const std::string imageBefore(b.host.ImageText(), b.host.TextLength());

    const ResultCode loaded = b.host.BSLLoadTIFile(path.c_str());
    if (expected == Outcome::kRefusedAtLoad) {
        EXPECT_EQ(loaded, -100);
        EXPECT_TRUE(std::string(b.host.ImageText(), b.host.TextLength()) == imageBefore);
        return;
    }
    ASSERT_EQ(loaded, 1);
    ASSERT_EQ(b.host.BSLConnect("SIM1", map.loaderBaud, true, 3), 12);
    const std::vector<std::uint8_t> flashBefore = b.device.Flash().Bytes();
    b.link.ClearRecords();
    const ResultCode r = b.host.BSLProgramImage(map);
    EXPECT_TRUE(b.device.Violations().empty()) << "first at 0x" << std::hex << b.device.Violations()[0].address;
    if (expected == Outcome::kRefusedBeforeErase) {
        EXPECT_EQ(r, -122);
        EXPECT_TRUE(b.link.HostWrites().empty()) << "sent " << b.link.HostWrites().front();
        EXPECT_TRUE(b.device.Flash().Bytes() == flashBefore) << "the device was changed";
        return;
    }
    EXPECT_GT(r, 0);
    b.ExpectFlashHolds(FileBytes(c), true);
}

constexpr Outcome kP = Outcome::kProgrammed;
constexpr Outcome kL = Outcome::kRefusedAtLoad;
constexpr Outcome kR = Outcome::kRefusedBeforeErase;

TEST(BSLInvariant, EveryFileIsProgrammedExactlyOrRefusedBeforeTheDeviceIsTouched) {
    const Piece vectors = P(0xFFE0, 32);
    const std::string tail = "@FFFE\n00 21\nq\n";
    const std::vector<FileCase> cases = {
        // Ordinary files for either kind of device (each is outside the other's flash).
        {"tru_ordinary", {P(0x1100, 1000), P(0x8000, 300), vectors}, "", kP, kR},
        {"dm9_ordinary", {P(0x2100, 3000), P(0x10000, 5000), vectors}, "", kR, kP},
        {"dm9_lower_crlf", {P(0x2100, 700), P(0x12345, 701), vectors}, "", kR, kP, Style::kLowerCaseCrLf},
        {"whole_part", {P(0x2100, 500), P(0xFA00, 0x5E0), vectors}, "", kP, kP},
        {"info_memory", {P(0x1000, 64), P(0x2100, 16), vectors}, "", kP, kP},
        {"reset_vector_only", {P(0x2100, 40), P(0xFFFE, 2)}, "", kP, kP},
        {"two_vector_sections", {P(0x2100, 2), P(0xFFE0, 2), P(0xFFFE, 2)}, "", kP, kP},
        // Code a four-digit device cannot address.
        {"code_at_0x1A000", {P(0x2100, 16), P(0x1A000, 64), P(0xFFFE, 2)}, "", kR, kP},
        {"vector_words_past_entry_15", {P(0x2100, 16), P(0xFFFC, 8)}, "", kR, kP},
        // No code at all.
        {"only_vectors", {vectors}, "", kR, kR},
        {"only_loader_code", {P(0xFA00, 64), vectors}, "", kR, kR},
        // The loader area.
        {"loader_sections_dropped", {P(0x2100, 20), P(0xFDFF, 1), P(0xFE00, 16), P(0xFFD0, 16), vectors}, "", kP, kP},
        {"into_loader_from_below", {P(0xF9F0, 32), vectors}, "", kL, kL},
        {"padding_into_loader", {P(0xF9F1, 15), vectors}, "", kL, kL},
        {"loader_code_over_vectors", {P(0x2100, 4), P(0xFFD0, 48)}, "", kL, kL},
        {"section_at_0xFFFF", {P(0x2100, 2), P(0xFFFF, 1), vectors}, "", kL, kL},
        {"odd_vector_start", {P(0x2100, 2), P(0xFFE1, 2)}, "", kL, kL},
        {"top_below_loader", {P(0xF9F0, 16), vectors}, "", kP, kP},
        // Overlaps.
        {"overlap", {P(0x2100, 16), P(0x2108, 16), vectors}, "", kL, kL},
        {"overlap_by_padding", {P(0x2100, 3), P(0x2103, 5), vectors}, "", kL, kL},
        {"overlapping_vectors", {P(0x2100, 2), vectors, P(0xFFFE, 2)}, "", kL, kL},
        {"adjacent", {P(0x2100, 16), P(0x2110, 15), P(0x2120, 1), vectors}, "", kP, kP},
        {"odd_start_and_length", {P(0x2101, 5), P(0x2107, 1), vectors}, "", kP, kP},
        // The ends of the flash and of the addresses.
        {"below_dm9_flash", {P(0x2000, 16), vectors}, "", kP, kR},
        {"dm9_last_bytes", {P(0x1FEF0, 16), vectors}, "", kR, kP},
        {"past_dm9_flash_end", {P(0x1FEF0, 18), vectors}, "", kR, kR},
        {"ram", {P(0x0200, 16), P(0x2100, 16), vectors}, "", kR, kR},
        {"up_to_0xFFFFF", {P(0xFFFF0, 16), vectors}, "", kR, kR},
        {"past_0xFFFFF", {P(0xFFFF0, 32), vectors}, "", kL, kL},
        // Hostile text: junk in tokens and "@" lines.
        {"hex_prefix_address", {}, "@0x2100\n01 02\n" + tail, kL, kL},
        {"one_digit_tokens", {}, "@2100\n1 10 0D\n" + tail, kL, kL},
        {"hex_prefix_token", {}, "@2100\n0x12\n" + tail, kL, kL},
        {"not_hex", {}, "@2100\nGZ\n" + tail, kL, kL},
        {"junk_in_address", {}, "@21G00\n01 02\n" + tail, kL, kL},
        {"data_on_address_line", {}, "@2100 01 02\n" + tail, kL, kL},
        {"address_in_data", {}, "@2100\n01 02 @2200 03\n" + tail, kL, kL},
    };
    for (const FileCase& c : cases) {
        RunCase(c, TruMap(), c.tru, "TRU");
        RunCase(c, Dm9Map(), c.dm9, "DM9");
    }
}

}  // namespace
}  // namespace quor
