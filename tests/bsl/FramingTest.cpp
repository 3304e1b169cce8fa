#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "bsl/BSLFraming.h"

namespace quor {
namespace {

struct FrameCase {
    char letter;
    std::string payload;
    std::string frame;
};

TEST(BSLFraming, FramesCarryLetterPayloadAndChecksum) {
    const FrameCase cases[] = {
        {'g', "", "g.0095\r"},            // 103 + 46 = 149
        {'X', "1000", "X1000.0147\r"},    // four-digit address
        {'X', "01000", "X01000.0177\r"},  // five-digit address
        {'@', "FFC0", "@FFC0.016D\r"},
    };
    for (const auto& c : cases) {
        char out[64];
        std::size_t n = BuildBSLFrame(out, sizeof out, c.letter, c.payload.data(), c.payload.size());
        EXPECT_EQ(std::string(out, n), c.frame) << c.letter << c.payload;
    }
}

TEST(BSLFraming, ChecksumIsTakenModulo65535) {
    // 46 + 'W' + payload adding up to exactly 65535 must give 0, not 0xFFFF.
    std::string payload((65535 - 46 - 'W') / 'F', 'F');
    std::uint32_t sum = 46 + 'W' + static_cast<std::uint32_t>(payload.size()) * 'F';
    std::uint32_t need = 65535 - sum;  // made up with one last character
    ASSERT_LT(need, 256u);
    payload.push_back(static_cast<char>(need));
    EXPECT_EQ(BSLChecksum('W', payload.data(), payload.size()), 0);
    payload.push_back('0');
    EXPECT_EQ(BSLChecksum('W', payload.data(), payload.size()), '0');
}

TEST(BSLFraming, FrameThatDoesNotFitIsRefused) {
    std::string payload(512, 'A');
    char out[544];
    EXPECT_EQ(BuildBSLFrame(out, sizeof out, 'W', payload.data(), payload.size()), 519u);
    EXPECT_EQ(BuildBSLFrame(out, 519, 'W', payload.data(), payload.size()), 0u);  // no room for the zero
}

TEST(BSLFraming, ValuesAreWrittenWithFourOrFiveDigits) {
    const std::uint32_t values[] = {0x1000, 0xABC, 0x1FE00};
    char out[32];
    EXPECT_EQ(FormatBSLValues(out, sizeof out, values, 2, false), 8u);
    EXPECT_STREQ(out, "10000ABC");
    EXPECT_EQ(FormatBSLValues(out, sizeof out, values, 3, true), 15u);
    EXPECT_STREQ(out, "0100000ABC1FE00");
    // A value wider than four digits takes five: the room is checked, not assumed.
    EXPECT_EQ(FormatBSLValues(out, 9, values + 1, 2, false), 0u);
    EXPECT_EQ(FormatBSLValues(out, 10, values + 1, 2, false), 9u);
}

struct ReplyCase {
    std::string reply;
    ResultCode transportError;
    ResultCode expected;
};

TEST(BSLFraming, RepliesAreJudgedByTheirFirstTwoCharacters) {
    const ReplyCase cases[] = {
        {"+12+\r", 0, 5},        // acknowledged: the length
        {"A+", 0, 2},            // the second character counts too
        {"+", 0, 1},
        {"-", 0, -1},            // rejected
        {"?2", 0, -1},
        {"?\r", 0, -1},
        {"ERROR\r", 0, -1},      // unrecognised
        {"", -21, -21},          // nothing came
        {"xy", -21, -21},        // a transport error wins over garbage
        {"-", -21, -1},          // but not over a clear rejection
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JudgeBSLReply(c.reply.c_str(), static_cast<std::uint32_t>(c.reply.size()), c.transportError),
                  c.expected)
            << "'" << c.reply << "'";
    }
}

TEST(BSLFraming, OnlyAPositiveNumberBetweenTwoPlusSignsIsAVersion) {
    const std::pair<std::string, ResultCode> cases[] = {
        {"+12+\r", 12},
        {"+12+", 12},
        {"+12+\r\n", 12},
        {"+007+\r", 7},
        {"+2147483647+\r", 2147483647},  // the largest that fits
        {"+2147483648+\r", -111},
        {"+4294967308+\r", -111},        // would wrap to 12
        {"+-112+\r", -111},              // would pass for "no working loader"
        {"+0+\r", -111},
        {"+7\r", -111},                  // no closing "+"
        {"+7", -111},
        {"+ 7+\r", -111},
        {"++\r", -111},
        {"+12+34\r", -111},
        {"12+\r", -111},
        {"A+12+\r", -111},
        {"+1a+\r", -111},
        {"", -111},
    };
    for (const auto& [reply, expected] : cases) {
        EXPECT_EQ(ParseLoaderVersion(reply.data(), static_cast<std::uint32_t>(reply.size())), expected)
            << "'" << reply << "'";
    }
    // Only the characters counted are read.
    EXPECT_EQ(ParseLoaderVersion("+12+\r", 3), -111);
    EXPECT_EQ(ParseLoaderVersion(nullptr, 5), -111);
}

}  // namespace
}  // namespace quor
