#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "BslTestSupport.h"
#include "bsl/QuorBSLHost.h"
#include "bsl/TiText.h"
#include "support/TempDir.h"

namespace quor {
namespace {

using bsltest::TestDeviceCodeLookup;

std::string Convert(const std::string& file, ResultCode* result = nullptr, std::uint32_t* vectors = nullptr) {
    TiTextImage out;
    ResultCode r = ConvertTiText(file.data(), file.size(), out);
    if (result) *result = r;
    if (vectors && r > 0) std::memcpy(vectors, out.vectors, sizeof out.vectors);
    return r > 0 ? std::string(out.text.get(), out.textLength) : std::string();
}

TEST(TiText, SectionsBecomeExchangedWordGroupsAndVectorsATable) {
    ResultCode r = 0;
    std::uint32_t vectors[16];
    std::string text = Convert("@1100\r\n01 10 0D 0B\n2a 3B\n@FFFC\n11 22 00 11\nq\n", &r, vectors);
    ASSERT_EQ(r, 1);
    // Digits keep their letter case; only the byte order within a word changes.
    EXPECT_EQ(text, "@0110010010B0D3B2a");
    for (int i = 0; i < 14; ++i) EXPECT_EQ(vectors[i], 0xFFFFu) << i;
    EXPECT_EQ(vectors[14], 0x2211u);
    EXPECT_EQ(vectors[15], 0x1100u);
}

TEST(TiText, OddByteCountEndsWithErasedHighByte) {
    ResultCode r = 0;
    EXPECT_EQ(Convert("@2000\n01 02 AB\n@FFFE\n00 11\nq", &r), "@020000201FFAB");
    EXPECT_EQ(r, 1);
}

TEST(TiText, SectionsInTheLoaderAreaAreDroppedAndTheirNeighboursKept) {
    struct Case {
        const char* address;
        bool kept;
    };
    // The loader's code runs up to 0xFFDF; the vector table follows.
    const Case cases[] = {{"FA00", false}, {"FC00", false}, {"FDFE", false}, {"FDFF", false},
                          {"FFDE", false}, {"F9FE", true},  {"E000", true}};
    for (const auto& c : cases) {
        ResultCode r = 0;
        std::string text = Convert(std::string("@1100\n01 02\n@") + c.address + "\n03 04\n@FFFE\n00 11\nq\n", &r);
        ASSERT_EQ(r, 1) << c.address;
        std::string second = std::string("@0") + c.address + "0403";
        EXPECT_EQ(text, c.kept ? "@011000201" + second : std::string("@011000201")) << c.address;
    }
}

TEST(TiText, FiveDigitAddressesAndVectorWordsPastTheTable) {
    ResultCode r = 0;
    std::uint32_t vectors[16];
    // Three words from 0xFFFC: the third is at 0x10000, code rather than a
    // vector, and goes on as a section there (odd bytes padded as usual).
    std::string text = Convert("@1A000\n01 02\n@fffc\n01 00 02 00 03 00 04\nq", &r, vectors);
    ASSERT_EQ(r, 1);
    EXPECT_EQ(text, "@1A0000201@100000003FF04");
    EXPECT_EQ(vectors[14], 0x0001u);
    EXPECT_EQ(vectors[15], 0x0002u);
    // A vector table that is whole leaves nothing behind.
    text = Convert("@FFFE\n00 11\n\nq", &r, vectors);
    ASSERT_EQ(r, 1);
    EXPECT_EQ(text, "");
}

TEST(TiText, InvalidFilesAreRefused) {
    const char* cases[] = {
        "@1100\n01 02\nq\n",                       // no vector section
        " @1100\n01 02\n@FFFE\n00 11\nq\n",         // leading blank
        "\xEF\xBB\xBF@1100\n01 02\n@FFFE\n00 11\nq", // byte-order mark
        "@1100\n01 02\n@FFFE\n00 11\n",             // no "q"
        "@FFFE\n00 1\nq\n",                         // three digits left in a vector word
        "@\n01 02\n@FFFE\n00 11\nq\n",              // header without address
        "@1100 01 02 @FFFE\n00 11\nq\n",            // header without line feed
        "@100000\n01 02\n@FFFE\n00 11\nq\n",        // above five digits
        "@FFFFFFFFF1100\n01\n@FFFE\n00 11\nq\n",    // an address that overflows 32 bits
        "",
    };
    for (const char* c : cases) {
        ResultCode r = 0;
        Convert(c, &r);
        EXPECT_EQ(r, -100) << c;
    }
}

struct MalformedCase {
    std::string lines;  // stands from line 3 on, after a good section
    std::uint32_t line;
    const char* reason;  // a part of the reason given
};

TEST(TiText, WhatCannotBeReadExactlyIsRefusedWithItsLineNumber) {
    const MalformedCase cases[] = {
        // Data tokens are two hex digits, nothing else.
        {"1 10 0D", 3, "two hex digits"},
        {"0x12", 3, "two hex digits"},
        {"GZ", 3, "two hex digits"},
        {"012", 3, "two hex digits"},
        {"01,02", 3, "two hex digits"},
        {"05 06 0", 3, "two hex digits"},
        {std::string("05\0 06", 6), 3, "two hex digits"},
        {"05 06\n\n07 0x", 5, "two hex digits"},
        {"05 q6", 3, "two hex digits"},
        // An "@" line is "@" and a hex address, alone.
        {"@0x2000\n05", 3, "\"@\" line is not"},
        {"@20G00\n05", 3, "\"@\" line is not"},
        {"@ 2000\n05", 3, "\"@\" line is not"},
        {"@\n05", 3, "\"@\" line is not"},
        {"@100000\n05", 3, "\"@\" line is not"},
        {"@2000 05 06", 3, "more than its address"},
        {"@2000;\n05", 3, "\"@\" line is not"},
        {"05 06 @2000\n07", 3, "does not start its line"},
        // What no device can take.
        {"@1102\n05 06", 3, "share addresses"},                       // over the first section
        {"05\n@1105\n06", 4, "share addresses"},                     // over its erased padding
        {"@F9FE\n05 06 07", 3, "into the loader area"},
        {"@F9FF\n05", 3, "into the loader area"},                     // its padding would be
        {"@FFD0\n" + std::string(48 * 3, ' '), 3, ""},               // filled in below
        {"@FFFF\n05", 3, "vector table"},
        {"@FFE1\n05 06", 3, "odd address"},
        {"@FFFF0\n00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10", 4, "past address FFFFF"},
        {"@FFFFF\n05", 3, "past address FFFFF"},                      // its padding would be
        {"@FFFC\n00 11 22 33", 5, "share addresses"},                 // with the next vector section
    };
    for (MalformedCase c : cases) {
        if (c.lines.rfind("@FFD0", 0) == 0) {
            // The loader's last bytes running on over the vectors.
            c.lines = "@FFD0\n";
            for (int i = 0; i < 48; ++i) c.lines += "AA ";
            c.reason = "runs on past FFDF";
        }
        const std::string file = "@1100\n01 02 03 04\n" + c.lines + "\n@FFFE\n00 11\nq\n";
        TiTextImage out;
        TiTextFault fault;
        EXPECT_EQ(ConvertTiText(file.data(), file.size(), out, &fault), -100) << c.lines;
        EXPECT_EQ(fault.line, c.line) << c.lines << ": " << fault.reason;
        EXPECT_NE(std::string(fault.reason).find(c.reason), std::string::npos) << c.lines << ": " << fault.reason;
        EXPECT_FALSE(out.text) << c.lines;
    }
}

TEST(TiText, BlanksAndLineEndsAroundTokensDoNotMatter) {
    const std::string good = "@1100\n01 02 03 04\n@FFFE\n00 11\nq\n";
    const std::string variants[] = {
        "@1100\r\n01 02 03 04\r\n@FFFE\r\n00 11\r\nq\r\n",
        "@1100  \t\n\n\t01  02\n03 04 \n\n@FFFE\n00 11\n\nq",
        "@001100\n01 02 03 04\n@fffe\n00 11\nq\ntrailing text after the end is not read\n",
        "@1100\n01 02 03 04 @FFFE\n00 11\nq\n",  // refused: shown for contrast below
    };
    ResultCode r = 0;
    const std::string expected = Convert(good, &r);
    ASSERT_EQ(r, 1);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Convert(variants[i], &r), expected) << variants[i];
        EXPECT_EQ(r, 1) << variants[i];
    }
    Convert(variants[3], &r);
    EXPECT_EQ(r, -100);
}

TEST(TiText, CompactFileCannotOverrunTheImageText) {
    // Headers of one digit and single digits of data grow far beyond the
    // file's own size in the image text.
    std::string file;
    char header[16];
    for (int i = 0; i < 2000; ++i) {
        std::snprintf(header, sizeof header, "@%X\n", static_cast<unsigned>(2 * i));
        file += header + std::string("AA\n");
    }
    file += "@FFFE\n00 11 q";
    ResultCode r = 0;
    std::string text = Convert(file, &r);
    ASSERT_EQ(r, 1);
    EXPECT_GT(text.size(), file.size());
    EXPECT_EQ(text.substr(0, 20), "@00000FFAA@00002FFAA");
}

struct NameCase {
    const char* path;
    const char* label;
    int deviceType;
    int version;
};

TEST(TiText, FileNamesGiveLabelDeviceTypeAndVersion) {
    const NameCase cases[] = {
        {"C:\\firmware\\RV70 3-14.txt", "RV70 3.14", 3, 314},
        {"/home/u/TRU-Firmware 3.65.txt", "TRU-Firmware 3.65", 20, 365},
        {"Firmware.txt", "Firmware", 0, 0},
        {"rv70 3-14.txt", "rv70 3.14", 3, 314},      // the prefix is compared upper-cased
        {"DM9_2.07.TXT", "DM9_2.07.TXT", 15, 0},       // ".txt" is cut only in that case; "_" passes no digits
        {"END 1.0.txt", "END 1.0", 0, 10},             // the table's end marker is no device
        {"HSR 12345678901234.txt", "HSR 12345678901234", 16, INT32_MAX},  // 11 digits kept, too big for 32 bits
        {"TQ 1-2-3.txt", "TQ 1-2.3", 7, 123},          // only the last "-" becomes "."
    };
    for (const auto& c : cases) {
        FirmwareName n = ParseFirmwareName(c.path, TestDeviceCodeLookup);
        EXPECT_EQ(n.label.str(), c.label) << c.path;
        EXPECT_EQ(n.deviceType, c.deviceType) << c.path;
        EXPECT_EQ(n.versionNumber, c.version) << c.path;
    }
    // A label is cut to 64 characters before ".txt" is looked for.
    std::string longName = "RV7 " + std::string(60, 'x') + "1.txt";
    FirmwareName n = ParseFirmwareName(longName.c_str(), TestDeviceCodeLookup);
    EXPECT_EQ(n.label.size(), 64u);
    EXPECT_EQ(n.label.str(), longName.substr(0, 64));
    EXPECT_EQ(n.versionNumber, 0);
}

class ImageFileTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    QuorLog log{dir.File("bsl.log").c_str(), QuorLog::kLevelDetail};
    QuorBSLHost host{&log};

    std::string Write(const std::string& name, const std::string& content) {
        std::string path = dir.File(name);
        testing::WriteFile(path, content);
        return path;
    }
    std::string ImageNow() const { return std::string(host.ImageText(), host.TextLength()); }
};

TEST_F(ImageFileTest, EmbeddedImageHasItsRecordedProperties) {
    EXPECT_EQ(host.ConstructionStatus(), 0);
    EXPECT_STREQ(host.ImageLabel(), "TRU 3.65");
    EXPECT_EQ(host.ImageDeviceType(), 20);
    EXPECT_EQ(host.VersionNumber(), 0);
    EXPECT_FALSE(host.Image().loadedFromFile);
    ASSERT_EQ(host.TextLength(), 62534u);
    std::string text = ImageNow();
    std::uint64_t sum = 0;
    for (char c : text) sum += static_cast<unsigned char>(c);
    EXPECT_EQ(sum, 3401679u);

    // Five sections, all in the TRU's code flash, the reset vector in the first.
    auto bytes = bsltest::ImageBytes(host.ImageText(), host.TextLength(), host.Vectors());
    std::vector<std::uint32_t> starts;
    for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + 1)) {
        starts.push_back(static_cast<std::uint32_t>(std::stoul(text.substr(at + 1, 5), nullptr, 16)));
    }
    ASSERT_EQ(starts.size(), 5u);
    for (const auto& [address, value] : bytes) {
        if (address >= 0xFFE0) continue;
        ASSERT_GE(address, 0x1100u);
        ASSERT_LE(address, 0xF9FFu);
    }
    EXPECT_EQ(host.Vectors()[15], starts[0]);
    EXPECT_TRUE(bytes.count(host.Vectors()[15]));
    EXPECT_TRUE(bytes.count(host.Vectors()[15] + 1));
}

TEST_F(ImageFileTest, CorruptEmbeddedImageSetsConstructionStatus) {
    const EmbeddedImage& good = ProductEmbeddedImage();
    std::string changed(good.text);
    changed[100] = changed[100] == '0' ? '1' : '0';
    std::string shorter(good.text, good.recordedLength - 1);
    std::string longer = std::string(good.text) + "0";
    for (const std::string* text : {&changed, &shorter, &longer}) {
        EmbeddedImage bad = good;
        bad.text = text->c_str();
        QuorBSLHost corrupt(nullptr, bad);
        EXPECT_EQ(corrupt.ConstructionStatus(), -101) << text->size();
    }
}

TEST_F(ImageFileTest, LoadedFileReplacesTheImageAsAWhole) {
    std::string path = Write("RV70 3-14.txt", "@1100\n01 10 0D 0B\n@FFFE\n00 11\nq\n");
    host.SetDeviceCodeLookup(TestDeviceCodeLookup);
    ASSERT_EQ(host.BSLLoadTIFile(path.c_str()), 1);
    EXPECT_EQ(ImageNow(), "@0110010010B0D");
    EXPECT_STREQ(host.ImageLabel(), "RV70 3.14");
    EXPECT_EQ(host.ImageDeviceType(), 3);
    EXPECT_EQ(host.VersionNumber(), 314);
    EXPECT_TRUE(host.Image().loadedFromFile);
    EXPECT_EQ(host.Vectors()[15], 0x1100u);
    EXPECT_EQ(host.Vectors()[0], 0xFFFFu);
    EXPECT_NE(testing::ReadFile(log.FileName()).find("BSLLoadTIFile loaded file " + path + " ("), std::string::npos);
}

TEST_F(ImageFileTest, FailedLoadLeavesTheCurrentImageExactlyAsItWas) {
    ASSERT_EQ(host.BSLLoadTIFile(Write("RV7 1-00.txt", "@1100\n01 02\n@FFFE\n00 11\nq\n").c_str()), 1);
    const std::string before = ImageNow();
    std::uint32_t vectorsBefore[16];
    std::memcpy(vectorsBefore, host.Vectors(), sizeof vectorsBefore);

    struct Case {
        const char* content;
        ResultCode expected;
        bool logsInvalid;
    };
    const Case cases[] = {
        {"@2000\n05 06\nq\n", -100, true},           // no vector section
        {" @2000\n05 06\n@FFFE\n00 22\nq\n", -100, false},
        {"@2000\n05 06\n@FFFE\n00 22\n", -100, false},
        {"@2000\n05 06\n@FFFE\n00 2\nq\n", -100, true},
    };
    for (const auto& c : cases) {
        std::string path = Write("TQ 9-99.txt", c.content);
        EXPECT_EQ(host.BSLLoadTIFile(path.c_str()), c.expected) << c.content;
        EXPECT_EQ(ImageNow(), before);
        EXPECT_EQ(std::memcmp(host.Vectors(), vectorsBefore, sizeof vectorsBefore), 0);
        EXPECT_STREQ(host.ImageLabel(), "RV7 1.00");
        EXPECT_EQ(host.VersionNumber(), 100);
    }
    std::string logText = testing::ReadFile(log.FileName());
    EXPECT_NE(logText.find("is not a valid TI-Text file"), std::string::npos);

    // A file that is not there, and a folder that cannot be read as one.
    EXPECT_EQ(host.BSLLoadTIFile(dir.File("missing.txt").c_str()), -ENOENT);
    EXPECT_NE(testing::ReadFile(log.FileName()).find("BSLLoadTIFile got error 2 trying to open datafile"),
              std::string::npos);
    EXPECT_EQ(host.BSLLoadTIFile(dir.Path().c_str()), -EISDIR);
    EXPECT_EQ(ImageNow(), before);
}

TEST_F(ImageFileTest, RefusedLineIsNamedInTheLog) {
    const std::string before = ImageNow();
    std::string path = Write("TRU 3-70.txt", "@1100\n01 02\n03 04\n1 10 0D\n@FFFE\n00 11\nq\n");
    EXPECT_EQ(host.BSLLoadTIFile(path.c_str()), -100);
    path = Write("TRU 3-71.txt", "@1100\n01 02\n@FFFC\n00 11 22 33\n@FFFE\n00 11\nq\n");
    EXPECT_EQ(host.BSLLoadTIFile(path.c_str()), -100);
    path = Write("TRU 3-72.txt", "@1100\n01 02\nq\n");
    EXPECT_EQ(host.BSLLoadTIFile(path.c_str()), -100);
    const std::string logText = testing::ReadFile(log.FileName());
    EXPECT_NE(logText.find("BSLLoadTIFile refused line 4 of file " + dir.File("TRU 3-70.txt") +
                           ": a data token is not a byte of two hex digits"),
              std::string::npos)
        << logText;
    EXPECT_NE(logText.find("BSLLoadTIFile refused line 5 of file " + dir.File("TRU 3-71.txt") +
                           ": sections share addresses"),
              std::string::npos)
        << logText;
    EXPECT_NE(logText.find("BSLLoadTIFile refused file " + dir.File("TRU 3-72.txt") +
                           ": there is no vector section"),
              std::string::npos)
        << logText;
    EXPECT_NE(logText.find("BSLLoadTIFile: file " + dir.File("TRU 3-70.txt") + " is not a valid TI-Text file ("),
              std::string::npos);
    EXPECT_EQ(ImageNow(), before);
}

TEST_F(ImageFileTest, DumpHasTheDumpLayoutAndIsNoTiTextFile) {
    std::string path = dir.File("dump.txt");
    ASSERT_EQ(host.BSLWriteTIFile(path.c_str()), 1);
    std::string dump = testing::ReadFile(path);
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < dump.size();) {
        std::size_t end = dump.find('\n', start);
        ASSERT_NE(end, std::string::npos) << "every line ends in a line feed";
        lines.push_back(dump.substr(start, end - start));
        start = end + 1;
    }
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0].size(), 6u);
    EXPECT_EQ(lines[0], std::string(host.ImageText(), 6));
    EXPECT_EQ(lines[1].size(), 32u);
    EXPECT_EQ(lines[lines.size() - 3], "@FFE0");
    EXPECT_EQ(lines[lines.size() - 2].size(), 32u);
    EXPECT_EQ(lines[lines.size() - 1].substr(28), "1100");  // the reset vector, as a word
    EXPECT_EQ(dump.find('q'), std::string::npos);
    EXPECT_EQ(dump.find('\r'), std::string::npos);

    // Joined up again, the lines before the vectors are the image text.
    std::string joined;
    for (std::size_t i = 0; i + 3 < lines.size(); ++i) joined += lines[i];
    EXPECT_EQ(joined, ImageNow());

    const std::string before = ImageNow();
    EXPECT_EQ(host.BSLLoadTIFile(path.c_str()), -100);
    EXPECT_EQ(ImageNow(), before);
}

TEST_F(ImageFileTest, DumpHeaderAfterPartLineStaysOnThatLine) {
    ASSERT_EQ(host.BSLLoadTIFile(Write("x.txt", "@1100\n01 02 03 04\n@2000\n05 06\n@FFFE\n00 11\nq\n").c_str()), 1);
    std::string path = dir.File("dump.txt");
    ASSERT_EQ(host.BSLWriteTIFile(path.c_str()), 1);
    EXPECT_EQ(testing::ReadFile(path),
              "@01100\n02010403@02000\n0605\n@FFE0\n"
              "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\nFFFFFFFFFFFFFFFFFFFFFFFFFFFF1100\n");
    EXPECT_EQ(host.BSLWriteTIFile(dir.File("no/such/folder/dump.txt").c_str()), -ENOENT);
}

}  // namespace
}  // namespace quor
