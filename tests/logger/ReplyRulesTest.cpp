#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "logger/ReplyRules.h"

namespace quor {
namespace {

TEST(ReplyRules, JudgeReplyTable) {
    struct Case {
        const char* reply;
        const char* command;
        ReplyVerdict verdict;
    };
    const Case cases[] = {
        {"\rRv70 2.05\r>", "get -ver\r", ReplyVerdict::kAccepted},
        {"get -ver\r\rRv70 2.05\r>", "get -ver\r", ReplyVerdict::kEcho},
        {"\rERROR\r>", "get -ver\r", ReplyVerdict::kDeviceError},
        {"\rwhat?\r>", "get -w\r", ReplyVerdict::kDeviceError},
        {"\rUnsupported\r>", "get -x\r", ReplyVerdict::kDeviceError},
        {"\rerror\r>", "get -w\r", ReplyVerdict::kAccepted},  // the word is case-sensitive
        {"get -ver", "get -ver\r", ReplyVerdict::kAccepted},  // the echo must be the whole command
        // An echo wins over an error word in the same reply.
        {"set -i ?\r\rERROR\r>", "set -i ?\r", ReplyVerdict::kEcho},
    };
    for (const Case& c : cases) EXPECT_EQ(JudgeReply(c.reply, c.command), c.verdict) << c.reply;
}

TEST(ReplyRules, EmptyPromptIsExactlyTwoReturnsAndPrompt) {
    EXPECT_TRUE(IsEmptyPromptReply("\r\r>"));
    EXPECT_TRUE(IsEmptyPromptReply("\r\r>tail"));
    EXPECT_FALSE(IsEmptyPromptReply("\r>"));
    EXPECT_FALSE(IsEmptyPromptReply("\r5\r>"));
    EXPECT_FALSE(IsEmptyPromptReply(""));
}

TEST(ReplyRules, CheckDeviceNameCodes) {
    struct Case {
        const char* name;
        ResultCode code;
    };
    const Case cases[] = {
        {"LOGGER1", 1},      {nullptr, -53},       {"", -53},         {"NINECHARS", -54}, {"query", -52},
        {"OK", -52},         {"boot", -52},        {"Query", 1},      {"MY LOG", -50},    {"A\tB", -50},
        {"AB\x7F", -50},     {"AB\xFF", -50},      {"A:B", -51},      {"A?", -51},        {"A\\B", -51},
        {"A,B", -51},        {"A\"B", -51},        {"A\xE9", -56},    {"a-b_c.1", 1},
    };
    for (const Case& c : cases) EXPECT_EQ(CheckDeviceName(c.name), c.code) << (c.name ? c.name : "(null)");
}

TEST(ReplyRules, CapabilitiesByKindAndVersion) {
    struct Case {
        int kind;
        bool newFirmware;
        std::int32_t version;
        std::uint32_t word;
    };
    const Case cases[] = {
        {kKindRv7, true, 165, 0x371F},
        {kKindRv7, false, 165, 0x331C},
        {kKindRv70, true, 104, 0x7737},
        {kKindRv70, true, 105, 0x7737 + 0x80},
        {kKindRv70, true, 123, 0x7737 + 0x200000 + 0xC00000 + 0x70000 + 0x8800 + 0x40 + 0x80},
        {kKindRv70, true, 202, 0x7737 + 0x4000000 + 0x1000000 + 0x200000 + 0xC00000 + 0x70000 + 0x8800 + 0x40 + 0x80},
        {kKindCorvalink, true, 108, 0x4503 + 0x80},
        {kKindCorvalink, true, 109, 0x4503 + 0x20000 + 0x80},
        {kKindRv7b, true, 203, 0x74BE},
        {kKindRv7b, true, 204, 0x74BE + 0x40000},
        {kKindHJD, true, 100, 0x3007},
        {kKindCalibrator, true, 100, 0x10026},
        {kKindPalomet, true, 100, 0x1D3083},
        {kKindKL3, true, 100, 0x5E3FFF7},
        {kKindZRL2, true, 100, 0x7C3F6F7},
        {kKindMeshkeep, true, 100, 0x1005},
        {kKindUnknown, true, 100, 0x1005},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CapabilitiesFor(c.kind, c.newFirmware, c.version), c.word) << c.kind << " " << c.version;
}

TEST(ReplyRules, VersionLineAndKindTable) {
    char word[kFamilyWordSize];
    std::int32_t v = 0;
    ASSERT_TRUE(ParseVersionLine("Rv70 1.23", word, &v));
    EXPECT_STREQ(word, "RV70");
    EXPECT_EQ(v, 123);
    EXPECT_EQ(KindFromCode(word), kKindRv70);
    ASSERT_TRUE(ParseVersionLine("RV7B 2.04", word, &v));
    EXPECT_EQ(KindFromCode(word), kKindRv7b);
    EXPECT_EQ(v, 204);
    ASSERT_TRUE(ParseVersionLine("aqven_cal 1.00", word, &v));
    EXPECT_EQ(KindFromCode(word), kKindCalibrator);
    EXPECT_FALSE(ParseVersionLine("Rv70", word, &v));
    EXPECT_FALSE(ParseVersionLine("Rv70 x.23", word, &v));
    // Numbers whose version would not fit 32 bits, or that are no version.
    v = 42;
    const std::string longWord = std::string(40, 'A') + " 1.23";
    for (const char* line : {"Rv70 99999999.11", "Rv70 -2147483648.11", "Rv70 99999999999999999999.11",
                             "Rv70 -1.23", "Rv70 1.2", "Rv70 1.", longWord.c_str()}) {
        EXPECT_FALSE(ParseVersionLine(line, word, &v)) << line;
    }
    EXPECT_EQ(v, 42);
    ASSERT_TRUE(ParseVersionLine("\tRv70  21474835.99", word, &v));  // the largest that fits
    EXPECT_EQ(v, 2147483599);
    ASSERT_TRUE(ParseVersionLine("Rv70 1. 2 3", word, &v));  // blanks before each digit, as "%1d" reads
    EXPECT_EQ(v, 123);
    // Device codes match exactly: no prefix matches.
    EXPECT_EQ(KindFromCode("RV"), kKindUnknown);
    EXPECT_EQ(KindFromCode("ZRL2"), kKindUnknown);
    EXPECT_STREQ(FamilyName(kKindHJD), "AQVEN Comm Dev");
    EXPECT_STREQ(FamilyName(kKindZRL2), "ZRL2");
    EXPECT_STREQ(FamilyName(99), "Unknown");
}

TEST(ReplyRules, TextValueReading) {
    char out[9];
    EXPECT_EQ(ReadTextValue("\r  North\r>", false, out, 8), 1);
    EXPECT_STREQ(out, "North");
    EXPECT_EQ(ReadTextValue("OK\rSN-12345678\r>", true, out, 8), 1);
    EXPECT_STREQ(out, "SN-12345");  // cut to the field
    EXPECT_EQ(ReadTextValue("\r>", false, out, 8), -31);
    EXPECT_EQ(ReadTextValue("x\r\r>", true, out, 8), -30);
    EXPECT_STREQ(out, "");
    // Line feeds of either place are not part of the value.
    EXPECT_EQ(ReadTextValue("\r\nNorth\r\n>", true, out, 8), 1);
    EXPECT_STREQ(out, "North");
    EXPECT_EQ(ReadTextValue("\n\n North\n>", false, out, 8), 1);
    EXPECT_STREQ(out, "North");
    EXPECT_EQ(ReadWord(" OLDRV7\rVersion: 1.65", out, 8), 6u);
    EXPECT_STREQ(out, "OLDRV7");
    EXPECT_EQ(ReadWord(" \rVersion: 1.65", out, 8), 0u);  // the next line is not this value
}

TEST(ReplyRules, LineEndsBecomeOneCarriageReturn) {
    struct Case {
        std::string in;
        const char* out;
    };
    const Case cases[] = {
        {"\r\nTRU 3.64\r\n>", "\rTRU 3.64\r>"},
        {"\nTRU 3.64\n>", "\rTRU 3.64\r>"},
        {"\r\n\r\n>", "\r\r>"},   // still the empty prompt
        {"\n\r>", "\r\r>"},       // LF then CR: two line ends
        {"\rOK\r>", "\rOK\r>"},     // nothing to change
        {"", ""},
    };
    for (const Case& c : cases) {
        std::string text = c.in;
        text.push_back('\0');
        const std::uint32_t n = NormalizeLineEnds(text.data(), static_cast<std::uint32_t>(c.in.size()));
        EXPECT_STREQ(text.c_str(), c.out) << c.in;
        EXPECT_EQ(n, std::strlen(c.out));
    }
    EXPECT_TRUE(HasPromptLine("\r>"));
    EXPECT_TRUE(HasPromptLine("OK\n>"));
    EXPECT_TRUE(HasPromptLine("a>b\r>"));
    EXPECT_FALSE(HasPromptLine(">"));
    EXPECT_FALSE(HasPromptLine("OK>"));
}

TEST(ReplyRules, NumbersAreReadOnlyWithinTheirRange) {
    struct Case {
        const char* text;
        range::IntRange range;
        bool read;
        std::int32_t value;
    };
    const Case cases[] = {
        {"\r\n 42\r>", range::kAnyInt32, true, 42},
        {"+7", range::kAnyInt32, true, 7},
        {"-2147483648", range::kAnyInt32, true, -2147483647 - 1},
        {"2147483647", range::kAnyInt32, true, 2147483647},
        {"2147483648", range::kAnyInt32, false, 0},
        {"-2147483649", range::kAnyInt32, false, 0},
        {"99999999999999999999", range::kAnyInt32, false, 0},
        {"-99999999999999999999", range::kAnyInt32, false, 0},
        {"300", range::kTraitByte, false, 0},
        {"-1", range::kTraitByte, false, 0},
        {"255", range::kTraitByte, true, 255},
        {"97", range::kTimeZone, false, 0},
        {"-96", range::kTimeZone, true, -96},
        {"65536", range::kIpPort, false, 0},
        {"x", range::kAnyInt32, false, 0},
        {"", range::kAnyInt32, false, 0},
    };
    for (const Case& c : cases) {
        std::int32_t v = 0;
        EXPECT_EQ(ReadInt(c.text, c.range, &v), c.read) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
    std::int32_t h = 0;
    EXPECT_TRUE(ReadHex("1A2B\r>", range::kRadioSubchannel, &h));
    EXPECT_EQ(h, 0x1A2B);
    EXPECT_FALSE(ReadHex("10000", range::kRadioSubchannel, &h));
    EXPECT_FALSE(ReadHex("-1", range::kRadioSubchannel, &h));
    EXPECT_FALSE(ReadHex("FFFFFFFFFFFFFFFFFFFF", range::kRadioSubchannel, &h));
    EXPECT_FALSE(ReadHex("7", range::kRadioChannel, &h));
    EXPECT_EQ(h, 0x1A2B);

    double d = 5;
    EXPECT_TRUE(ReadReal(" -89.5\r", 90, &d));
    EXPECT_DOUBLE_EQ(d, -89.5);
    for (const char* text : {"1e300", "1e400", "nan", "inf", "-inf", "90.00001", "x"}) {
        EXPECT_FALSE(ReadReal(text, 90, &d)) << text;
    }
    EXPECT_DOUBLE_EQ(d, -89.5);
    EXPECT_TRUE(HasNumber(" nan"));
    EXPECT_TRUE(HasNumber("\r-5"));
    EXPECT_FALSE(HasNumber("\r>"));

    std::int32_t values[5] = {};
    EXPECT_EQ(ReadIntegers("1 2 99999999999 4 5", values, 5, range::kNonNegative), 2);
    EXPECT_EQ(ReadIntegers("1 2 3 4 5", values, 5, range::kNonNegative), 5);
}

TEST(ReplyRules, CommandsThatDoNotFitAreNotBuilt) {
    char out[16];
    EXPECT_TRUE(FormatCommand(out, sizeof out, "set -w %d\r", 60));
    EXPECT_STREQ(out, "set -w 60\r");
    EXPECT_TRUE(FormatCommand(out, sizeof out, "%s", "exactly15chars."));
    EXPECT_FALSE(FormatCommand(out, sizeof out, "%s", "sixteen chars..."));
    EXPECT_STREQ(out, "");  // nothing cut is left to send
    EXPECT_FALSE(FormatCommand(out, sizeof out, "set -lat %+.5f\r", 1e300));
    EXPECT_TRUE(IsSendableText("North Field"));
    EXPECT_FALSE(IsSendableText("North\rset -i X"));
    EXPECT_FALSE(IsSendableText("North\n"));
}

TEST(ReplyRules, SmallHelpers) {
    EXPECT_EQ(BaudCodeFor(9600), 0);
    EXPECT_EQ(BaudCodeFor(57600), 3);
    EXPECT_EQ(BaudCodeFor(460800), 6);
    EXPECT_EQ(BaudCodeFor(14400), -1);
    const std::uint32_t v[] = {200, 100, 1};
    EXPECT_EQ(AdcChecksum(v, 3), 301u % 256u);
    EXPECT_TRUE(IsHexDigits("0123456789abcdefABCDEF0123456789", 32));
    EXPECT_FALSE(IsHexDigits("0123456789abcdefABCDEF012345678", 32));
    EXPECT_FALSE(IsHexDigits("0123456789abcdefABCDEF012345678G", 32));
    EXPECT_STREQ(RadioValueStart("OK 2A1F\r>"), "2A1F\r>");
    EXPECT_STREQ(RadioValueStart("\r3\r>"), "\r3\r>");
    EXPECT_STREQ(RadioValueStart("OK"), "");  // never past the end
    std::int32_t values[5];
    EXPECT_EQ(ReadIntegers("\r1 2 300\r>", values, 5, range::kNonNegative), 3);
    EXPECT_EQ(ClampToByte(300), 255);
    EXPECT_EQ(ClampToByte(-3), 0);
}

}  // namespace
}  // namespace quor
