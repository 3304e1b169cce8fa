#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "BslTestSupport.h"

namespace quor {
namespace {

using bsltest::Dm9Map;
using bsltest::ImageBytes;
using bsltest::LoaderBench;
using bsltest::TruMap;

struct ProgressCall {
    std::uint32_t total, done;
    int phase;
    char kind;
    bool operator==(const ProgressCall& o) const {
        return std::tie(total, done, phase, kind) == std::tie(o.total, o.done, o.phase, o.kind);
    }
};

// Records the progress calls; returns false from call number stopAt on.
struct ProgressRecorder {
    std::vector<ProgressCall> calls;
    std::size_t stopAt = SIZE_MAX;
    UpdateProgress Callback() {
        return [this](std::uint32_t total, std::uint32_t done, int phase, char kind) {
            calls.push_back({total, done, phase, kind});
            return calls.size() < stopAt;
        };
    }
};

std::vector<std::string> FramesOf(const LoaderBench& b, char letter) {
    std::vector<std::string> out;
    for (const auto& f : b.device.FrameLog()) {
        if (f[0] == letter) out.push_back(f.substr(1, f.size() - 6));
    }
    return out;
}

TEST(BSLFlash, EraseFlashOfAFourDigitDevice) {
    LoaderBench b(TruMap());
    ProgressRecorder progress;
    b.host.SetProgressCallback(progress.Callback());
    ASSERT_EQ(b.host.BSLConnect("SIM1", 9600, true, 3), 12);
    ASSERT_GT(b.host.BSLEraseFlash(0x1100, 0xF9FF, false), 0);
    auto erased = FramesOf(b, 'X');
    ASSERT_EQ(erased.size(), 117u);
    EXPECT_EQ(erased.front(), "1100");
    EXPECT_EQ(erased[1], "1300");
    EXPECT_EQ(erased.back(), "F900");
    ASSERT_FALSE(progress.calls.empty());
    EXPECT_EQ(progress.calls.front(), (ProgressCall{116, 0, 1, 'X'}));
    EXPECT_EQ(progress.calls.back(), (ProgressCall{116, 116, 2, 'X'}));
    EXPECT_EQ(progress.calls.size(), 12u + 1u);  // before segments 0, 10, ..., 110, and the end
    EXPECT_NE(b.LogText().find("BSLEraseFlash successful: segment 1100 to F9FF (3 s)"), std::string::npos);
}

TEST(BSLFlash, EraseFlashOfAFiveDigitDeviceJumpsOverTheLoaderArea) {
    LoaderBench b(Dm9Map());
    ProgressRecorder progress;
    b.host.SetProgressCallback(progress.Callback());
    ASSERT_EQ(b.host.BSLConnect("SIM1", 57600, true, 3), 12);
    ASSERT_GT(b.host.BSLEraseFlash(0x2100, 0x1FF00, true), 0);
    auto erased = FramesOf(b, 'X');
    ASSERT_EQ(erased.size(), 237u);
    EXPECT_EQ(erased.front(), "02100");
    auto f900 = std::find(erased.begin(), erased.end(), "0F900");
    ASSERT_NE(f900, erased.end());
    EXPECT_EQ(*(f900 + 1), "10000");
    EXPECT_EQ(erased.back(), "1FE00");
    // Progress before segments 0, 10, 20, ...: done counts 512-byte steps from the start.
    ASSERT_EQ(progress.calls.size(), 24u + 1u);
    for (std::size_t i = 0; i + 1 < progress.calls.size(); ++i) {
        std::uint32_t segment = static_cast<std::uint32_t>(10 * i);
        std::uint32_t address = 0x2100 + 512 * segment;
        if (segment > 108) address = 0x10000 + 512 * (segment - 109);
        EXPECT_EQ(progress.calls[i], (ProgressCall{239, (address - 0x2100) / 512, 1, 'X'})) << i;
    }
    EXPECT_EQ(progress.calls.back(), (ProgressCall{239, 239, 2, 'X'}));
    EXPECT_TRUE(b.device.Violations().empty());
}

TEST(BSLFlash, EraseRefusesToStartInTheLoaderArea) {
    LoaderBench b(TruMap());
    ASSERT_EQ(b.host.BSLConnect("SIM1", 9600, false, 3), 12);
    b.link.ClearRecords();
    EXPECT_EQ(b.host.BSLEraseFlash(0xFA00, 0xFFFF, false), -11);
    EXPECT_EQ(b.host.BSLEraseFlash(0xFFFF, 0x10200, true), -11);
    EXPECT_TRUE(b.link.HostWrites().empty());
    EXPECT_EQ(b.host.BSLEraseFlash(0x2000, 0x2000, false), 0);  // nothing to erase
}

TEST(BSLFlash, EraseInfoStepsBySegmentSize) {
    LoaderBench b(TruMap());
    b.PreloadFieldDevice();
    ASSERT_EQ(b.host.BSLConnect("SIM1", 9600, false, 3), 12);
    EXPECT_GT(b.host.BSLEraseINFO(0x1000, 2, 0x80, false), 0);
    EXPECT_EQ(FramesOf(b, 'X'), (std::vector<std::string>{"1000", "1080"}));
    EXPECT_NE(b.LogText().find("BSLEraseINFO successful: 2 segments @ 1100 ("), std::string::npos);
    for (std::uint32_t a = 0x1000; a < 0x1100; ++a) ASSERT_EQ(b.device.Flash().Read(a), 0xFF) << a;
    EXPECT_NE(b.device.Flash().Read(0x1100), 0xFF);  // the code flash was not touched
}

// A loaded image of 600 digits at 0x1100 and 64 at 0xE000.
std::string TwoSectionFile() {
    std::string file = "@1100\n";
    for (int i = 0; i < 300; ++i) file += "0123456789ABCDEF"[i % 16] + std::string("0 ");
    file += "\n@E000\n";
    for (int i = 0; i < 32; ++i) file += "11 ";
    file += "\n@FFFE\n00 11\nq\n";
    return file;
}

TEST(BSLFlash, UploadSendsBlocksAndAddressesOnlyAtSectionStarts) {
    LoaderBench b(TruMap());
    std::string path = b.dir.File("two.txt");
    testing::WriteFile(path, TwoSectionFile());
    ASSERT_EQ(b.host.BSLLoadTIFile(path.c_str()), 1);
    ASSERT_EQ(b.host.TextLength(), 6u + 600u + 6u + 64u);
    ASSERT_EQ(b.host.BSLConnect("SIM1", 9600, false, 3), 12);
    ASSERT_GT(b.host.BSLSendFirmware(false), 0);
    std::vector<std::string> sequence;
    for (const auto& f : b.device.FrameLog()) {
        if (f[0] == '@') sequence.push_back(f.substr(0, f.size() - 5));
        if (f[0] == 'W') sequence.push_back("W" + std::to_string(f.size() - 6));
    }
    EXPECT_EQ(sequence, (std::vector<std::string>{"@1100", "W512", "W88", "@E000", "W64"}));
    EXPECT_TRUE(b.device.Violations().empty());
}

TEST(BSLFlash, RejectedBlockIsRepeatedAfterItsAddress) {
    LoaderBench b(TruMap());
    std::string path = b.dir.File("two.txt");
    testing::WriteFile(path, TwoSectionFile());
    ASSERT_EQ(b.host.BSLLoadTIFile(path.c_str()), 1);
    ASSERT_EQ(b.host.BSLConnect("SIM1", 9600, false, 3), 12);
    // Frames so far: "g". Then "@1100" is frame 2 and the first block frame 3.
    b.device.RejectFrame(3);
    b.link.ClearRecords();
    ASSERT_GT(b.host.BSLSendFirmware(false), 0);
    const auto& writes = b.link.HostWrites();
    ASSERT_GE(writes.size(), 4u);
    EXPECT_EQ(writes[0].substr(0, 5), "@1100");
    EXPECT_EQ(writes[1].size(), 519u);
    EXPECT_EQ(writes[2].substr(0, 5), "@1100");
    EXPECT_EQ(writes[3], writes[1]);
    EXPECT_EQ(writes[4].size(), 95u);  // then the upload goes on with the next block
    EXPECT_NE(b.LogText().find("BSLSendAddress (01100) successful"), std::string::npos);
}

TEST(BSLFlash, RepeatedBlockWaits175MsBeforeItsAddress) {
    // The same upload with and without one rejected block: the difference is
    // the pause, the address exchange and the rejected block's exchange.
    auto uploadMicros = [](bool reject) {
        LoaderBench b(TruMap());
        std::string path = b.dir.File("two.txt");
        testing::WriteFile(path, TwoSectionFile());
        EXPECT_EQ(b.host.BSLLoadTIFile(path.c_str()), 1);
        EXPECT_EQ(b.host.BSLConnect("SIM1", 9600, false, 3), 12);
        if (reject) b.device.RejectFrame(b.device.FramesSeen() + 2);  // the first block
        const std::uint64_t t0 = b.world.Clock().NowMicros();
        EXPECT_GT(b.host.BSLSendFirmware(false), 0);
        return b.world.Clock().NowMicros() - t0;
    };
    const std::uint64_t extra = uploadMicros(true) - uploadMicros(false);
    // "@1100.0130\r" and "+\r", the 519-character block and "-\r", at 9600 baud.
    const std::uint64_t wireUs = (11 + 2 + 519 + 2) * 10 * 1'000'000ull / 9600;
    EXPECT_GE(extra, 175'000 + wireUs);
    EXPECT_LT(extra, 175'000 + wireUs + 5'000);
}

TEST(BSLFlash, RetryPausesFor175Ms) {
    LoaderBench b(TruMap());
    ASSERT_EQ(b.host.BSLConnect("SIM1", 9600, false, 3), 12);
    std::uint64_t t0 = b.world.Clock().NowMicros();
    ASSERT_GT(b.host.BSLSendAddress(0x1100, false), 0);
    std::uint64_t once = b.world.Clock().NowMicros() - t0;
    b.device.RejectFrame(b.device.FramesSeen() + 1);
    t0 = b.world.Clock().NowMicros();
    ASSERT_GT(b.host.BSLSendAddress(0x1100, false), 0);
    std::uint64_t twice = b.world.Clock().NowMicros() - t0;
    EXPECT_EQ(twice, 2 * once + 175'000u);
}

TEST(BSLFlash, KeepGoingFalseStopsWithCancelledAndStillEndsTheProgress) {
    LoaderBench b(TruMap());
    ProgressRecorder progress;
    progress.stopAt = 3;
    b.host.SetProgressCallback(progress.Callback());
    ASSERT_EQ(b.host.BSLConnect("SIM1", 9600, true, 3), 12);
    EXPECT_EQ(b.host.BSLSendFirmware(false), -40);
    ASSERT_EQ(progress.calls.size(), 4u);
    EXPECT_EQ(progress.calls[0], (ProgressCall{62534, 0, 1, 'W'}));
    EXPECT_EQ(progress.calls[1], (ProgressCall{62534, 512, 1, 'W'}));
    EXPECT_EQ(progress.calls[2], (ProgressCall{62534, 1024, 1, 'W'}));
    EXPECT_EQ(progress.calls[3], (ProgressCall{62534, 62534, 2, 'W'}));
    EXPECT_NE(b.LogText().find("BSLSendFirmware failed with error -40"), std::string::npos);

    progress.calls.clear();
    progress.stopAt = 2;
    EXPECT_EQ(b.host.BSLEraseFlash(0x1100, 0xF9FF, false), -40);
    EXPECT_EQ(FramesOf(b, 'X').size(), 10u);
    ASSERT_EQ(progress.calls.size(), 3u);
    EXPECT_EQ(progress.calls.back(), (ProgressCall{116, 116, 2, 'X'}));
}

TEST(BSLFlash, VectorsGoOutAsOneFrameEndingInPlus) {
    LoaderBench b(TruMap());
    ASSERT_EQ(b.host.BSLConnect("SIM1", 9600, false, 3), 12);
    b.link.ClearRecords();
    ASSERT_GT(b.host.BSLSendVectors(), 0);
    ASSERT_EQ(b.link.HostWrites().size(), 1u);
    std::string frame = b.link.HostWrites()[0];
    std::string payload;
    char digits[8];
    for (int i = 0; i < 16; ++i) {
        std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(b.host.Vectors()[i]));
        payload += digits;
    }
    char expected[600];
    BuildBSLFrame(expected, sizeof expected, 'V', payload.data(), payload.size());
    EXPECT_EQ(frame, expected);
    EXPECT_EQ(frame.size(), 1u + 64u + 5u + 1u);
    std::vector<std::uint16_t> stored(b.host.Vectors(), b.host.Vectors() + 16);
    EXPECT_EQ(b.device.StoredVectors(), stored);
    EXPECT_NE(b.LogText().find("BSLSendVectors successful"), std::string::npos);
    // The device restarts into its firmware after its restart delay.
    b.world.Clock().RunUntil(b.world.Clock().NowMicros() + 2'100'000);
    EXPECT_EQ(b.device.CurrentState(), sim::SimLoaderDevice::State::kFirmware);
    EXPECT_EQ(b.device.Restarts(), 1u);
}

// The whole update's loader part on a device in the field: connect, erase,
// upload, vectors; the flash must then hold exactly the image.
void ProgramCurrentImage(LoaderBench& b, ProgressRecorder& progress) {
    b.PreloadFieldDevice();
    b.host.SetProgressCallback(progress.Callback());
    const LoaderMemoryMap& m = b.Map();
    ASSERT_EQ(b.host.BSLConnect("SIM1", m.loaderBaud, true, 3), 12);
    ASSERT_GT(b.host.BSLProgramImage(m), 0);
    b.ExpectFlashHolds(ImageBytes(b.host.ImageText(), b.host.TextLength(), b.host.Vectors()), true);
    EXPECT_TRUE(b.device.Violations().empty());
    EXPECT_EQ(b.host.BSLDisconnect(), 1);
}

void ExpectUploadProgress(const std::vector<ProgressCall>& calls, std::uint32_t length) {
    std::vector<ProgressCall> upload;
    for (const auto& c : calls) {
        if (c.kind == 'W') upload.push_back(c);
    }
    ASSERT_FALSE(upload.empty());
    EXPECT_EQ(upload.back(), (ProgressCall{length, length, 2, 'W'}));
    int phase2 = 0;
    for (std::size_t i = 0; i + 1 < upload.size(); ++i) {
        EXPECT_EQ(upload[i].phase, 1);
        EXPECT_EQ(upload[i].done % 512, 0u);
        if (i > 0) {
            EXPECT_GT(upload[i].done, upload[i - 1].done);
        }
    }
    for (const auto& c : calls) phase2 += (c.phase == 2);
    EXPECT_EQ(phase2, 2);  // one for the erase, one for the upload
    // Every multiple of 512 that is not inside a section header is reported.
    EXPECT_GE(upload.size(), length / 512 - 5);
}

TEST(BSLFlash, EmbeddedImageIntoATruAt9600) {
    LoaderBench b(TruMap());
    ProgressRecorder progress;
    ProgramCurrentImage(b, progress);
    ExpectUploadProgress(progress.calls, 62534);
    for (const auto& f : FramesOf(b, '@')) EXPECT_EQ(f.size(), 4u);
    // Restarted into the firmware afterwards.
    b.world.Clock().RunUntil(b.world.Clock().NowMicros() + 2'100'000);
    EXPECT_EQ(b.device.CurrentState(), sim::SimLoaderDevice::State::kFirmware);
}

// TI-Text for a five-digit device: code below the loader area and above
// 0xFFFF, 16 bytes a line.
std::string FiveDigitFile() {
    std::string file;
    char buf[16];
    const std::uint32_t pieces[][2] = {{0x2100, 0x6000}, {0x10000, 0x4000}};
    for (const auto& p : pieces) {
        std::snprintf(buf, sizeof buf, "@%X\n", static_cast<unsigned>(p[0]));
        file += buf;
        for (std::uint32_t i = 0; i < p[1]; ++i) {
            std::snprintf(buf, sizeof buf, i % 16 == 15 ? "%02X\n" : "%02X ", static_cast<unsigned>((i * 7 + p[0]) & 0xFF));
            file += buf;
        }
    }
    return file + "@FFFE\n00 21\nq\n";
}

TEST(BSLFlash, ImageIntoAFiveDigitDeviceAt57600) {
    LoaderBench b(Dm9Map());
    const std::string path = b.dir.File("DM9 2-10.txt");
    testing::WriteFile(path, FiveDigitFile());
    ASSERT_EQ(b.host.BSLLoadTIFile(path.c_str()), 1);
    ProgressRecorder progress;
    ProgramCurrentImage(b, progress);
    ExpectUploadProgress(progress.calls, b.host.TextLength());
    for (const auto& f : FramesOf(b, '@')) EXPECT_EQ(f.size(), 5u);
    EXPECT_EQ(FramesOf(b, 'X').size(), 3u + 237u);
}

TEST(BSLFlash, CutLinkMidUploadThenANewConnectFinishesTheDevice) {
    LoaderBench b(TruMap());
    b.PreloadFieldDevice();
    ProgressRecorder progress;
    b.host.SetProgressCallback(progress.Callback());
    ASSERT_EQ(b.host.BSLConnect("SIM1", 9600, true, 3), 12);
    ASSERT_GT(b.host.BSLEraseINFO(0x1000, 2, 128, false), 0);
    ASSERT_GT(b.host.BSLEraseFlash(0x1100, 0xF9FF, false), 0);
    // The cable comes loose in the middle of a block, 20 s into the upload.
    b.world.Clock().ScheduleIn(20'000'000, [&] { b.link.Cut(); });
    ResultCode r = b.host.BSLSendFirmware(false);
    EXPECT_EQ(r, -21);
    EXPECT_EQ(b.device.CurrentState(), sim::SimLoaderDevice::State::kLoaderConnected);
    b.host.BSLDisconnect();

    b.link.Reconnect();
    ASSERT_EQ(b.host.BSLConnect("SIM1", 9600, true, 3), 12);
    EXPECT_NE(b.LogText().find("BSLInvocation found the QuorBSL already active"), std::string::npos);
    ASSERT_GT(b.host.BSLProgramImage(TruMap()), 0);
    b.ExpectFlashHolds(ImageBytes(b.host.ImageText(), b.host.TextLength(), b.host.Vectors()), true);
    EXPECT_TRUE(b.device.Violations().empty());
}

TEST(BSLFlash, CorruptedByteOnTheWireIsRejectedAndTheBlockRepeated) {
    LoaderBench b(TruMap());
    b.PreloadFieldDevice();
    ProgressRecorder progress;
    ASSERT_EQ(b.host.BSLConnect("SIM1", 9600, true, 3), 12);
    ASSERT_GT(b.host.BSLEraseINFO(0x1000, 2, 128, false), 0);
    ASSERT_GT(b.host.BSLEraseFlash(0x1100, 0xF9FF, false), 0);
    // When the upload reaches character 5120, a byte of the next block is hit.
    b.host.SetProgressCallback([&](std::uint32_t, std::uint32_t done, int, char) {
        if (done == 5120) b.link.CorruptHostByte(b.link.HostSent().size() + 100);
        return true;
    });
    const std::uint64_t framesBefore = b.device.FramesSeen();
    ASSERT_GT(b.host.BSLSendFirmware(false), 0);
    ASSERT_GT(b.host.BSLSendVectors(), 0);
    b.ExpectFlashHolds(ImageBytes(b.host.ImageText(), b.host.TextLength(), b.host.Vectors()), true);
    EXPECT_TRUE(b.device.Violations().empty());
    // 5 section addresses, 123 blocks, one repeat with its address.
    EXPECT_EQ(b.device.FramesSeen() - framesBefore, 5u + 123u + 2u + 1u);
}

TEST(BSLFlash, LoaderThatFallsSilentFailsTheUpload) {
    LoaderBench b(TruMap());
    ASSERT_EQ(b.host.BSLConnect("SIM1", 9600, false, 3), 12);
    b.device.GoSilentAfterFrames(b.device.FramesSeen() + 4);
    EXPECT_EQ(b.host.BSLSendFirmware(false), -21);
    EXPECT_NE(b.LogText().find("BSLSendFirmware failed with error -21"), std::string::npos);
    char reply[21];
    std::uint32_t ms = 0;
    EXPECT_EQ(b.host.BSLCommand('g', nullptr, 0, '\r', reply, &ms), -21);
}

}  // namespace
}  // namespace quor
