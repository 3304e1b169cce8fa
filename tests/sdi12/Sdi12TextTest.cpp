#include <gtest/gtest.h>

#include <string>

#include "sdi12/SensorCodes.h"
#include "sdi12/Sdi12Text.h"

namespace quor::sdi12 {
namespace {

TEST(Sdi12TextTest, ReplyTextSkipsAddressAndOneBlankAndEndsAtCarriageReturn) {
    struct Case {
        const char* reply;
        const char* text;
    } cases[] = {
        {"0 abc\r\n", "abc"}, {"0abc\r", "abc"}, {"0  abc\r", " abc"}, {"0\tabc", "abc"},
        {"0\r", ""},          {"", ""},          {"0 a\nb\rc", "a\nb"},
    };
    for (const Case& c : cases) EXPECT_EQ(ReplyText(c.reply), c.text) << c.reply;
}

TEST(Sdi12TextTest, ReplyBelongsToItsCommandByItsAddress) {
    struct Case {
        const char* command;
        const char* reply;
        char known;  // the sensor's address as last heard ('\0': not yet)
        bool belongs;
    } cases[] = {
        // The address query: any address, with nothing after it.
        {"?!", "3\r", '0', true},
        {"?!", "3\r\n", '\0', true},
        {"?!", "3 1.02 0.5\r", '3', false},  // a late calibration is no address answer
        {"?!", "\n\r", '\0', false},
        // Wildcard commands: the sensor's known address, or any while unknown.
        {"?X4!", "3 1 2\r", '3', true},
        {"?X4!", "3 1 2\r", '\0', true},
        {"?X4!", "5 1 2\r", '3', false},
        {"?X4!", "\n3 1 2\r", '\0', false},  // a line feed is no address
        {"?X4!", "\0", '\0', false},
        {"?X4!", "3 1 2", '3', false},         // no carriage return: not all of it came
        {"?X4!", "", '3', false},
        // The address change: the new address, or the old one when not taken.
        {"0A7!", "7\r", '0', true},
        {"0A7!", "0\r", '5', true},
        {"0A7!", "5\r", '5', false},
        // A command to one address is answered from it.
        {"3I!", "3\r", '\0', true},
        {"3I!", "0\r", '0', false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReplyBelongs(c.command, c.reply, c.known), c.belongs) << c.command << " " << c.reply;
    }
}

TEST(Sdi12TextTest, OnlyPrintableTextWithoutTheCommandEndIsSendable) {
    EXPECT_TRUE(IsSendableText("1.02 -0.013\t0.25"));
    EXPECT_TRUE(IsSendableText(""));
    EXPECT_FALSE(IsSendableText("1 2!3"));
    EXPECT_FALSE(IsSendableText("1 2\n"));
    EXPECT_FALSE(IsSendableText(std::string("1\0" "2", 3)));
    EXPECT_FALSE(IsSendableText("caf\xe9"));
}

TEST(Sdi12TextTest, IdentificationGivesAddressTextAndVersion) {
    struct Case {
        const char* reply;
        bool readable;
        bool tooLong;
        char address;
        const char* identification;
        std::uint32_t version;
    } cases[] = {
        {"013VENDORXXMODEL 356", true, false, '0', "VENDORXXMODEL 356", 356},
        {"313KARVELL 7QA   399 rev B\r\n", true, false, '3', "KARVELL 7QA   399 rev B", 399},
        {"013KARVELL 7QA   356 and more text:36\r", true, false, '0', "KARVELL 7QA   356 and more text:36", 356},
        {"013KARVELL 7QA   999999999999999999\r", true, false, '0', "KARVELL 7QA   999999999999999999", 999},
        // Longer than its field: not cut, not kept.
        {"013KARVELL 7QA   356 and a lot more text after it\r", true, true, '0', "", 356},
        // No three-digit version, no address: nothing is guessed.
        {"013KARVELL 7QA   04\r", false, false, '0', "", 0},
        {"013KARVELL 7QA   3x5\r", false, false, '0', "", 0},
        {"013KARVELL 7QA   -12\r", false, false, '0', "", 0},
        {"0 99999999999999999999\r", false, false, '0', "", 0},
        {"\n13KARVELL 7QA   356\r", false, false, '0', "", 0},
        {"0\r", false, false, '0', "", 0},
        {"", false, false, '0', "", 0},
    };
    for (const Case& c : cases) {
        IdentityReading r = ParseIdentification(c.reply);
        EXPECT_EQ(r.readable, c.readable) << c.reply;
        EXPECT_EQ(r.tooLong, c.tooLong) << c.reply;
        EXPECT_EQ(r.address, c.address) << c.reply;
        EXPECT_EQ(r.identification, c.identification) << c.reply;
        EXPECT_EQ(r.version, c.version) << c.reply;
    }
}

TEST(Sdi12TextTest, SensorTypeIsALetterOrANumberKeptInEightBits) {
    struct Case {
        const char* reply;
        bool known;
        int type;
        bool numeric;
    } cases[] = {
        {"0 z\r", true, 'z', false}, {"0z\r", true, 'z', false}, {"0115\r", true, 115, true},
        {"0 93\r", true, 93, true},  {"0 254\r", true, 254, true}, {"0 z \r", true, 'z', false},
        {"0\r", false, 0, false},    {"0 \r", false, 0, false},    {"", false, 0, false},
        {"0 0\r", false, 0, false},  // type 0 and 255 are no type
        {"0 255\r", false, 0, false},
        // Out of range is no type, never a masked or shortened number.
        {"0 300\r", false, 0, false},
        {"01159\r", false, 0, false},
        {"0 99999999999999999999\r", false, 0, false},
        {"0\x01\r", false, 0, false},
        {"0 \n\r", false, 0, false},
        {"0 zQQQQ\r", false, 0, false},
        {"0 7 rev\r", false, 0, false},
    };
    for (const Case& c : cases) {
        TypeReading r = ParseSensorType(c.reply);
        EXPECT_EQ(r.known, c.known) << c.reply;
        EXPECT_EQ(r.type, c.type) << c.reply;
        EXPECT_EQ(r.numeric, c.numeric) << c.reply;
    }
}

TEST(Sdi12TextTest, SerialNumberFollowsTheAddressAndIsKeptWholeOrNotAtAll) {
    struct Case {
        const char* reply;
        FieldRead read;
        const char* sn;
    } cases[] = {
        {"0 KD-40712\r", FieldRead::kRead, "KD-40712"},
        {"0KD-40712\r", FieldRead::kRead, "KD-40712"},
        {"0 01234567890123456789012345678901\r", FieldRead::kRead, "01234567890123456789012345678901"},
        {"0\r", FieldRead::kAbsent, "old"},
        {"0 \r", FieldRead::kAbsent, "old"},
        {"0", FieldRead::kAbsent, "old"},
        {"0 012345678901234567890123456789012\r", FieldRead::kTooLong, "old"},
        {"0 KD!40712\r", FieldRead::kUnsendable, "old"},
        {"0 KD\n40712\r", FieldRead::kUnsendable, "old"},
    };
    for (const Case& c : cases) {
        SerialNumber sn = "old";
        EXPECT_EQ(ParseSerialNumber(c.reply, sn), c.read) << c.reply;
        EXPECT_EQ(sn, c.sn) << c.reply;
    }
}

TEST(Sdi12TextTest, TypeFromIdentificationKnowsTheModelsThatCannotTellTheirType) {
    EXPECT_EQ(TypeFromIdentification("KARVELL 7QA   356"), kType7QA);
    EXPECT_EQ(TypeFromIdentification("KARVELL HV-KN 101"), kTypeHVKN);
    EXPECT_EQ(TypeFromIdentification("KARVELL HV-KE 101"), kTypeHVKE);
    EXPECT_EQ(TypeFromIdentification("KARVELL 7QM   356"), kTypeNone);
    EXPECT_EQ(TypeFromIdentification("KARVELL 7QA356"), kTypeNone);
}

TEST(Sdi12TextTest, FamiliesAcceptOnlyTheirMembers) {
    struct Case {
        int family;
        int type;
        bool member;
    } cases[] = {
        {kFamilyNDV, 's', true},     {kFamilyNDV, 'n', true},      {kFamilyNDV, 'z', false},
        {kFamilyWPX, 'y', true},     {kFamilyWPX, 'l', true},      {kFamilyWPX, 'k', true},
        {kFamilyWPX, 'w', false},    {kFamilyWLD, 't', true},      {kFamilyWLD, 'e', true},
        {kFamilyHTx, 'p', true},     {kFamilyHTx, 'f', true},      {kFamilySOLRA1x, 'h', true},
        {kFamilySOLRA1x, 'g', true}, {kFamilySOLRA1x, 'z', false}, {kFamilySOLRA1x, 0, false},
    };
    for (const Case& c : cases) {
        const Family* f = FindFamily(c.family);
        ASSERT_NE(f, nullptr) << c.family;
        EXPECT_EQ(IsFamilyMember(*f, c.type), c.member) << c.family << " " << c.type;
    }
    EXPECT_EQ(FindFamily('z'), nullptr);
    EXPECT_EQ(FindFamily(265), nullptr);
}

TEST(Sdi12TextTest, WriteRepliesAreJudgedByOkThenError) {
    EXPECT_EQ(JudgeWriteReply("0OK\r"), WriteVerdict::kAccepted);
    EXPECT_EQ(JudgeWriteReply("0 OK\r\n"), WriteVerdict::kAccepted);
    EXPECT_EQ(JudgeWriteReply("0ERROR\r"), WriteVerdict::kRefused);
    EXPECT_EQ(JudgeWriteReply("0\r"), WriteVerdict::kUnconfirmed);
    EXPECT_EQ(JudgeWriteReply(""), WriteVerdict::kUnconfirmed);
}

TEST(Sdi12TextTest, OnlyWholeMinusOneEntriesAreRepaired) {
    struct Case {
        const char* in;
        const char* out;
        bool changed;
    } cases[] = {
        {"-1 2.5 -1", "+0 2.5 +0", true},
        {"1 -1\t3 -1", "1 +0\t3 +0", true},
        {"2e-1 -10 -1.5 3-1", "2e-1 -10 -1.5 3-1", false},
        {"1 2 3", "1 2 3", false},
        {"", "", false},
    };
    for (const Case& c : cases) {
        std::string text = c.in;
        EXPECT_EQ(RepairMinusOneEntries(text), c.changed) << c.in;
        EXPECT_EQ(text, c.out) << c.in;
    }
}

constexpr const char* kOld = "1 1.44832 1.91683 2.35961 2.991";
constexpr const char* k7QNew = "1 1.39619 2.03054 2.54573 2.9907";
constexpr const char* kHR4New = "1 1.4724 2.03944 2.5652 2.9907";

TEST(Sdi12TextTest, XaDefaultsByTypeAndVersionNeverReplaceTheSensorsOwnCalibration) {
    struct Case {
        int type;
        std::uint32_t version;
        const char* reply;
        bool readOk;
        const char* stored;
        bool defaulted;
    } cases[] = {
        // Old firmware: a missing or short reply gets the old default.
        {'z', 340, "", false, kOld, true},
        {'z', 355, "0\r", true, kOld, true},
        {'x', 340, "0 1 1.5 2 2.5 3\r", true, "1 1.5 2 2.5 3", false},
        {'w', 352, "0 1\r", true, kOld, true},
        // 356 to 399 (HR4: 353 to 401): missing gets the range's default;
        // whatever the sensor reported stays, the old default included.
        {'z', 356, "", false, k7QNew, true},
        {'x', 399, "0 1 1.44832 1.91683 2.35961 2.991\r", true, kOld, false},
        {'z', 380, "0 1 1.44832 1.91683 2.35961 2.991 \r", true, "1 1.44832 1.91683 2.35961 2.991 ", false},
        {'z', 356, "0 1 1.43 1.92 2.33 2.97\r", true, "1 1.43 1.92 2.33 2.97", false},
        {'z', 370, "0 1 1.44832 1.91683 2.35961 2.9915\r", true, "1 1.44832 1.91683 2.35961 2.9915", false},
        {'z', 370, "0 1 1.39619 2.03054 2.54573 2.9907\r", true, k7QNew, false},
        {'w', 353, "0 1 1.44832 1.91683 2.35961 2.991\r", true, kOld, false},
        {'w', 401, "0 1 1.45 2.01 2.51 2.97\r", true, "1 1.45 2.01 2.51 2.97", false},
        {'w', 380, "", false, kHR4New, true},
        // Newer firmware keeps whatever came, empty included.
        {'z', 400, "", false, "", false},
        {'w', 402, "0\r", true, "", false},
        {'w', 420, "0 1 1.44832 1.91683 2.35961 2.991\r", true, kOld, false},
        // Types without defaults.
        {'y', 300, "", false, "", false},
        {'k', 300, "0 1 0.998\r", true, "1 0.998", false},
        {'h', 300, "0\r", true, "", false},
    };
    for (const Case& c : cases) {
        XaChoice choice = ChooseXaReply(c.type, c.version, c.reply, c.readOk);
        EXPECT_EQ(ReplyText(choice.reply), c.stored) << char(c.type) << " " << c.version << " " << c.reply;
        EXPECT_EQ(choice.defaulted, c.defaulted) << char(c.type) << " " << c.version << " " << c.reply;
    }
}

TEST(Sdi12TextTest, OldNineNumberCalibrationIsConverted) {
    struct Case {
        const char* in;
        bool converted;
        const char* out;
    } cases[] = {
        {"1 2 3 4 5 6 7 8 9", true, "1.000 -2.000000e+03 1.000000e+03 0.000000e+00 5.5 9.0"},
        {"2 0.5 3.5 0 1.5 2.5 0 0 4", true, "2.000 -1.666667e+02 3.333333e+02 0.000000e+00 2.0 4.0"},
        {"1 2 3 4 5 6 7 8", false, ""},  // not the old format: kept as it was
        {"1 2 2 4 5 6 7 8 9", false, ""},  // no conversion defined for N2 = N3
        {"+1 2 3 4 5 6 7 8 9", true, "1.000 -2.000000e+03 1.000000e+03 0.000000e+00 5.5 9.0"},
        // Not finite, or beyond single precision: no value is invented.
        {"inf 2 3 4 5 6 7 8 9", false, ""},
        {"1 2 3 4 5 6 7 8 nan", false, ""},
        {"1 2 3 4 5 6 7 8 1e300", false, ""},
        {"1 2 3 4 3e38 3e38 7 8 9", false, ""},  // E overflows
        {"1 0 1e-37 4 5 6 7 8 9", false, ""},    // B overflows
        {"", false, ""},
    };
    for (const Case& c : cases) {
        CalibrationText out;
        EXPECT_EQ(ConvertOldCalibration(c.in, out), c.converted) << c.in;
        EXPECT_EQ(out, c.out) << c.in;
    }
}

}  // namespace
}  // namespace quor::sdi12
