#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "timing/IntegerReading.h"

namespace {

TEST(IntegerReading, ReadsLikeTheControllerTextsExpect)
{
    struct Case {
        std::string text;
        int expected;
    };
    const Case cases[] = {
        {"", 0},
        {"abc", 0},
        {"0", 0},
        {"42", 42},
        {"07", 7},
        {"  -12x", -12},
        {"+7", 7},
        {" \t\n\v\f\r9", 9},
        {"12 34", 12},
        {"1e3", 1},
        {"- 5", 0},
        {"--5", 0},
        {"+-5", 0},
        {"x12", 0},
        {"-", 0},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"000000000000000000000000042", 42},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("text \"" + c.text + "\"");
        EXPECT_EQ(ReadInteger(c.text), c.expected);
    }
}

TEST(IntegerReading, ClampsInsteadOfWrapping)
{
    struct Case {
        std::string text;
        int expected;
    };
    const Case cases[] = {
        {"2147483648", INT_MAX},
        {"4294967296", INT_MAX},  // would wrap to 0 in 32 bits
        {"4294967303", INT_MAX},  // would wrap to 7
        {"99999999999999999999999999", INT_MAX},
        {"-2147483649", INT_MIN},
        {"-99999999999999999999999999", INT_MIN},
        {"  +99999999999999999999x", INT_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("text \"" + c.text + "\"");
        EXPECT_EQ(ReadInteger(c.text), c.expected);
    }
}

TEST(IntegerReading, StopsAtTheEndOfAView)
{
    const std::string text = "123456";
    EXPECT_EQ(ReadInteger(std::string_view(text).substr(0, 3)), 123);
    static_assert(ReadInteger(" -8") == -8);
}

}  // namespace
