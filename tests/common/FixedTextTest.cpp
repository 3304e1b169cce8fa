#include <gtest/gtest.h>

#include <cstring>

#include "common/FixedText.h"

namespace quor {
namespace {

TEST(FixedTextTest, CopiesAreCutToTheLimitAndAlwaysTerminated) {
    struct Case {
        const char* in;
        const char* kept;
    };
    for (const Case& c : {Case{"", ""}, Case{"abc", "abc"}, Case{"abcde", "abcde"}, Case{"abcdef", "abcde"},
                          Case{nullptr, ""}}) {
        FixedText<5> t;
        std::memset(t.data(), 'x', t.capacity());
        t.Assign(c.in);
        EXPECT_STREQ(t.c_str(), c.kept);
        EXPECT_LE(t.size(), 5u);
    }
}

TEST(FixedTextTest, AppendAndFormatStopAtTheLimit) {
    FixedText<8> t("name");
    t.Append(" (busy)");
    EXPECT_EQ(t, "name (bu");
    t.Append("more");
    EXPECT_EQ(t, "name (bu");
    EXPECT_EQ(t.Format("%s %d", "COM", 123456), 8u);
    EXPECT_EQ(t, "COM 1234");
}

}  // namespace
}  // namespace quor
