#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "instrument/SettingsFileText.h"

namespace quor::settingsfile {
namespace {

using namespace std::string_literals;

struct FindCase {
    const char* what;
    std::string text;
    const char* key;
    std::optional<std::string> value;
};

TEST(SettingsFileLookup, FindsAKeyOnlyWhereItBeginsALineFollowedByItsEquals) {
    const FindCase cases[] = {
        {"plain", "a=\"1\"\r\nb=\"2\"\r\n", "b", "2"},
        {"another key's text inside a value", "name=\"x sn=\"9\" adc 2\"\r\nsn=\"5\"\r\n", "sn", "5"},
        {"a value naming the key before its line", "location=\"sn 4, adc 2\"\r\nadc=\"3\"\r\nsn=\"7\"\r\n", "adc", "3"},
        {"a key that is the start of another", "adccal=\"7\"\r\nadc=\"3\"\r\n", "adc", "3"},
        {"key without its equals", "sn \"4\"\r\n", "sn", std::nullopt},
        {"key indented", " sn=\"5\"\r\n", "sn", std::nullopt},
        {"no opening quote", "sn=5\r\n", "sn", std::nullopt},
        {"unterminated quote, the next line does not close it", "sn=\"abc\r\nx=\"1\"\r\n", "sn", std::nullopt},
        {"value holding a quote runs to the line's last quote", "name=\"a\"b\"\r\n", "name", "a\"b"},
        {"LF line ends", "x=\"1\"\nsn=\"5\"\n", "sn", "5"},
        {"last line without a line end", "x=\"1\"\r\nsn=\"5\"", "sn", "5"},
        {"empty value is found", "sn=\"\"\r\n", "sn", ""},
        {"the first line wins", "sn=\"1\"\r\nsn=\"2\"\r\n", "sn", "1"},
        {"case matters", "SN=\"1\"\r\n", "sn", std::nullopt},
        {"older builds' port keys", "Port number=\"3\" value=\"12\"\r\n", "Port number=\"3\" value", "12"},
        {"empty text", "", "sn", std::nullopt},
    };
    for (const FindCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<std::string_view> found = FindValue(c.text, c.key);
        ASSERT_EQ(found.has_value(), c.value.has_value());
        if (found) {
            EXPECT_EQ(std::string(*found), *c.value);
        }
    }
}

TEST(SettingsFileLookup, TextValuesFitTheirFieldOrAreNotRestored) {
    FixedText<8> field("keep");
    EXPECT_EQ(ReadText("name=\"12345678\"\r\n", "name", field), Lookup::kFound);
    EXPECT_EQ(field, "12345678");

    field = "keep";
    EXPECT_EQ(ReadText("name=\"123456789\"\r\n", "name", field), Lookup::kTooLong);
    EXPECT_EQ(field, "keep");  // never a value cut to the field
    EXPECT_EQ(ReadText("name=\"\"\r\n", "name", field), Lookup::kEmpty);
    EXPECT_EQ(ReadText("name=\"ab\0cd\"\r\n"s, "name", field), Lookup::kBadText);
    EXPECT_EQ(ReadText("x=\"1\"\r\n", "name", field), Lookup::kMissing);
    EXPECT_EQ(field, "keep");
}

TEST(SettingsFileLookup, NumbersAreWholeAndInRange) {
    struct Case {
        const char* value;
        std::int64_t min, max;
        std::optional<std::int64_t> expected;
    };
    const Case cases[] = {
        {"12", 0, 100, 12},
        {"-5", -10, 10, -5},
        {"-2147483648", INT32_MIN, INT32_MAX, INT32_MIN},
        {"2147483648", INT32_MIN, INT32_MAX, std::nullopt},
        {"99999999999999999999", INT32_MIN, INT32_MAX, std::nullopt},
        {"12x", 0, 100, std::nullopt},
        {" 12", 0, 100, std::nullopt},
        {"+5", 0, 100, std::nullopt},
        {"", 0, 100, std::nullopt},
        {"256", 0, 255, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        std::int64_t v = -77;
        Lookup r = ReadInteger("n=\""s + c.value + "\"\r\n", "n", c.min, c.max, &v);
        if (c.expected) {
            EXPECT_EQ(r, Lookup::kFound);
            EXPECT_EQ(v, *c.expected);
        } else {
            EXPECT_EQ(r, Lookup::kBadText);
            EXPECT_EQ(v, -77);
        }
    }
}

TEST(SettingsFileLookup, FloatingPointValuesAreFiniteAndInRange) {
    struct Case {
        const char* value;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {"+12.34567", 12.34567}, {"-0.50000", -0.5}, {"+90.00000", 90.0}, {"+90.00001", std::nullopt},
        {"inf", std::nullopt},   {"nan", std::nullopt}, {"1e300", std::nullopt}, {"+", std::nullopt},
        {"+-1", std::nullopt},   {"", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        double v = 7;
        Lookup r = ReadDouble("lat=\""s + c.value + "\"\r\n", "lat", -90, 90, &v);
        EXPECT_EQ(r == Lookup::kFound, c.expected.has_value());
        if (c.expected) {
            EXPECT_DOUBLE_EQ(v, *c.expected);
        }
    }
}

TEST(SettingsFileLookup, ByteListsHoldFiveNumbersOrNothing) {
    std::uint8_t v[kPortCount] = {9, 9, 9, 9, 9};
    EXPECT_EQ(ReadByteList("ports=\"1 2 3 4 255\"\r\n", "ports", v), Lookup::kFound);
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[4], 255);
    for (const char* bad : {"1 2 3 4", "1 2 3 4 5 6", "1 2 3 4 256", "1 2 x 4 5", "", "-1 2 3 4 5"}) {
        SCOPED_TRACE(bad);
        std::uint8_t w[kPortCount] = {9, 9, 9, 9, 9};
        EXPECT_EQ(ReadByteList("ports=\""s + bad + "\"\r\n", "ports", w), Lookup::kBadText);
        EXPECT_EQ(w[0], 9);
    }
}

TEST(SettingsFileLines, HeaderThenOneQuotedLinePerKey) {
    FileLines lines;
    lines.Add("type", "TRU");
    lines.AddFormatted("tau", "%ld", -3L);
    EXPECT_EQ(lines.Text(),
              "***** Auto-Generated Settings File -- DO NOT EDIT *****\r\n\r\ntype=\"TRU\"\r\ntau=\"-3\"\r\n");
    EXPECT_TRUE(HasHeader(lines.Text()));
    EXPECT_TRUE(lines.leftOut.empty());
}

TEST(SettingsFileLines, AValueWithALineEndIsLeftOutNotSplitIntoKeys) {
    FileLines lines;
    lines.Add("name", "ab\r\nsn=\"666\"");
    lines.Add("sn", "123");
    ASSERT_EQ(lines.leftOut.size(), 1u);
    EXPECT_EQ(lines.leftOut[0], "name");
    std::string text = lines.Text();
    EXPECT_EQ(std::string(*FindValue(text, "name")), "");
    EXPECT_EQ(std::string(*FindValue(text, "sn")), "123");
}

TEST(SettingsFileLines, HeaderNeedsItsOwnLine) {
    EXPECT_TRUE(HasHeader(std::string(kHeader) + "\n\ntype=\"TRU\""));
    EXPECT_FALSE(HasHeader(std::string(kHeader)));
    EXPECT_FALSE(HasHeader(std::string(kHeader) + "X\r\n"));
    EXPECT_FALSE(HasHeader("type=\"TRU\"\r\n"));
    EXPECT_FALSE(HasHeader(""));
}

}  // namespace
}  // namespace quor::settingsfile
