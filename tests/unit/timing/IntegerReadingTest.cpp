#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "timing/IntegerReading.h"

namespace {

TEST(IntegerReading, ReadsAndClamps)
{
    struct Case {
        std::string text;
        int expected;
    };
    const Case cases[] = {
        {"", 0},
        {"abc", 0},
        {"07", 7},
        {"  -12x", -12},
        {"+7", 7},
        {" \t\n\v\f\r9", 9},
        {"12 34", 12},
        {"- 5", 0},
        {"+-5", 0},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"2147483648", INT_MAX},
        {"4294967303", INT_MAX},  // would wrap to 7 in 32 bits
        {"-2147483649", INT_MIN},
        {"  +99999999999999999999999999x", INT_MAX},
        {"-99999999999999999999999999", INT_MIN},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadInteger(c.text), c.expected) << "text \"" << c.text << "\"";
    }
}

TEST(IntegerReading, StopsAtTheEndOfAView)
{
    const std::string text = "123456";
    EXPECT_EQ(ReadInteger(std::string_view(text).substr(0, 3)), 123);
}

}  // namespace
