#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BslTestSupport.h"
#include "bsl/ImageFit.h"

namespace quor {
namespace {

using bsltest::Dm9Map;
using bsltest::LoaderBench;
using bsltest::TruMap;

// A section of the image text: its header and n words.
std::string Sec(const char* header, int words) {
    std::string s = std::string("@") + header;
    for (int i = 0; i < words; ++i) s += "A55A";
    return s;
}

struct FitCase {
    std::string text;
    ResultCode tru;  // on a four-digit TRU (flash 0x1100-0xF9FF, info 0x1000-0x10FF)
    ResultCode dm9;  // on a five-digit DM9 (flash 0x2100-0x1FF00, info 0x1000-0x10BF)
    const char* reason;
};

TEST(ImageFit, ImageIsCheckedAgainstTheDevicesMemoryMap) {
    const FitCase cases[] = {
        {Sec("01100", 8), 1, -122, "outside the device's flash"},
        {Sec("02100", 8) + Sec("10000", 8), -122, 1, "five-digit"},
        {Sec("02100", 8) + Sec("1A000", 1), -122, 1, "five-digit"},
        {"", -122, -122, "no code"},
        {Sec("02100", 0), -122, -122, "no code"},
        {Sec("10000", 0) + Sec("02100", 1), -122, 1, "five-digit"},  // even an empty section's address goes out
        // The loader area and the vector table.
        {Sec("0F9F0", 8), 1, 1, ""},                                  // up to 0xF9FF
        {Sec("0F9F0", 9), -122, -122, "loader area"},
        {Sec("0FA00", 1), -122, -122, "loader area"},
        {Sec("02100", 1) + Sec("0FFD0", 24), -122, -122, "loader area"},  // over the vectors
        {Sec("02100", 1) + Sec("0FFE0", 16), -122, -122, "loader area"},
        {Sec("0FFFE", 1), -122, -122, "loader area"},
        // The information memory is erased too; the flash's ends hold.
        {Sec("01000", 8), 1, 1, ""},
        {Sec("010C0", 32), 1, -122, "outside"},                       // TRU info runs to 0x10FF
        {Sec("010F0", 16), 1, -122, "outside"},                       // info and code flash meet on a TRU
        {Sec("02000", 8), 1, -122, "outside"},                        // below the DM9's flash
        {Sec("1FEF0", 8) + Sec("1FF00", 1), -122, -122, ""},          // TRU: five digits; DM9: past 0x1FF00
        {Sec("1FEF0", 8) + Sec("02100", 1), -122, 1, "five-digit"},
        {Sec("00200", 8), -122, -122, "outside"},                     // RAM
        {Sec("FFFF0", 8), -122, -122, ""},
        // Sections may not share a cell.
        {Sec("02100", 4) + Sec("02104", 4), -122, -122, "overlaps"},
        {Sec("02108", 4) + Sec("02100", 5), -122, -122, "overlaps"},
        {Sec("02100", 4) + Sec("02108", 4), 1, 1, ""},
        // Malformed image text.
        {"@0110", -11, -11, "malformed"},
        {"@01100ABC", -11, -11, "malformed"},
        {"@0110G1234", -11, -11, "malformed"},
        {"01100", -11, -11, "malformed"},
        {"@01100XY00", -11, -11, "malformed"},
    };
    for (const auto& c : cases) {
        const auto length = static_cast<std::uint32_t>(c.text.size());
        const ImageFitReport tru = CheckImageFits(c.text.c_str(), length, TruMap());
        const ImageFitReport dm9 = CheckImageFits(c.text.c_str(), length, Dm9Map());
        EXPECT_EQ(tru.result, c.tru) << c.text.substr(0, 40) << ": " << tru.reason;
        EXPECT_EQ(dm9.result, c.dm9) << c.text.substr(0, 40) << ": " << dm9.reason;
        for (const ImageFitReport* r : {&tru, &dm9}) {
            if (r->result < 0) {
                EXPECT_NE(std::string(r->reason).find(c.reason), std::string::npos) << c.text.substr(0, 40);
            }
        }
    }
    // The refused section is named.
    const std::string text = Sec("02100", 8) + Sec("10000", 3);
    const ImageFitReport r = CheckImageFits(text.c_str(), static_cast<std::uint32_t>(text.size()), TruMap());
    EXPECT_EQ(r.address, 0x10000u);
    EXPECT_EQ(r.bytes, 6u);
}

TEST(ImageFit, EraseWalkAndOverlapsAsTheFlashEraseSeesThem) {
    EXPECT_EQ(NextEraseAddress(0x1100), 0x1300u);
    EXPECT_EQ(NextEraseAddress(0xF900), 0x10000u);
    EXPECT_EQ(NextEraseAddress(0xF800), 0x10000u);
    EXPECT_EQ(NextEraseAddress(0xF7FF), 0xF9FFu);
    EXPECT_EQ(NextEraseAddress(0x10000), 0x10200u);

    AddressRange ranges[] = {{10, 20, 1}, {0, 10, 2}, {30, 30, 3}, {20, 25, 4}};
    AddressRange a;
    AddressRange b;
    EXPECT_FALSE(FindOverlap(ranges, 4, a, b));  // touching is not sharing; empty holds nothing
    AddressRange nested[] = {{0, 100, 1}, {40, 50, 2}, {60, 70, 3}};
    ASSERT_TRUE(FindOverlap(nested, 3, a, b));
    EXPECT_EQ(a.tag, 1u);
    EXPECT_EQ(b.tag, 2u);
    AddressRange far[] = {{0, 100, 1}, {40, 50, 2}, {99, 120, 3}};
    ASSERT_TRUE(FindOverlap(far + 1, 2, a, b) == false);
    ASSERT_TRUE(FindOverlap(far, 3, a, b));
}

// A host whose image is the file given, connected to its simulated device.
class RefusedImageTest : public ::testing::Test {
protected:
    void LoadAndConnect(LoaderBench& b, const std::string& file) {
        b.PreloadFieldDevice();
        const std::string path = b.dir.File("TRU 9-99.txt");
        testing::WriteFile(path, file);
        ASSERT_EQ(b.host.BSLLoadTIFile(path.c_str()), 1);
        ASSERT_EQ(b.host.BSLConnect("SIM1", b.Map().loaderBaud, false, 3), 12);
        before_ = b.device.Flash().Bytes();
        b.link.ClearRecords();
    }
    void ExpectUntouched(LoaderBench& b) {
        EXPECT_TRUE(b.link.HostWrites().empty()) << b.link.HostWrites().front();
        EXPECT_TRUE(b.device.Flash().Bytes() == before_);
        EXPECT_TRUE(b.device.Violations().empty());
    }
    std::vector<std::uint8_t> before_;
};

TEST_F(RefusedImageTest, CodeAbove0xFFFFIsNeverCutToFourDigits) {
    LoaderBench b(TruMap());
    LoadAndConnect(b, "@2100\n01 02\n@10000\n03 04\n@FFFE\n00 21\nq\n");
    EXPECT_EQ(b.host.BSLProgramImage(TruMap()), -122);
    ExpectUntouched(b);
    EXPECT_NE(b.LogText().find("BSLCheckImage refused image TRU 9.99: section @10000 (2 bytes) needs five-digit "
                               "addresses, the device takes four (error -122)"),
              std::string::npos)
        << b.LogText();
    // Called on its own, the upload refuses it as well, before its first frame.
    EXPECT_EQ(b.host.BSLSendFirmware(false), -122);
    ExpectUntouched(b);
    EXPECT_NE(b.LogText().find("BSLSendFirmware refused the image: section @10000 (2 bytes)"), std::string::npos);
    // The same image goes into a five-digit device.
    EXPECT_EQ(b.host.BSLCheckImage(Dm9Map()), 1);
}

TEST_F(RefusedImageTest, FileWithoutCodeIsRefusedBeforeTheErase) {
    const char* files[] = {
        "@FFE0\n00 11 22 33\n@FFFE\n00 21\nq\n",              // only vectors
        "@FA00\n01 02 03 04\n@FFFE\n00 21\nq\n",              // only the loader's own code
    };
    for (const char* file : files) {
        LoaderBench b(TruMap());
        LoadAndConnect(b, file);
        EXPECT_EQ(b.host.TextLength(), 0u);
        EXPECT_EQ(b.host.BSLProgramImage(TruMap()), -122) << file;
        ExpectUntouched(b);
        EXPECT_NE(b.LogText().find("the image holds no code (error -122)"), std::string::npos) << file;
    }
}

TEST(ImageFitHost, EmbeddedTruImageIsRefusedByAFiveDigitDevice) {
    // Its code starts at 0x1100, below the DM9's code flash.
    LoaderBench b(Dm9Map());
    b.PreloadFieldDevice();
    const auto before = b.device.Flash().Bytes();
    ASSERT_EQ(b.host.BSLConnect("SIM1", 57600, false, 3), 12);
    b.link.ClearRecords();
    EXPECT_EQ(b.host.BSLProgramImage(Dm9Map()), -122);
    EXPECT_TRUE(b.link.HostWrites().empty());
    EXPECT_TRUE(b.device.Flash().Bytes() == before);
    EXPECT_NE(b.LogText().find("BSLCheckImage refused image TRU 3.65: section @01100"), std::string::npos);
}

}  // namespace
}  // namespace quor
