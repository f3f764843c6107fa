#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "timing/IntegerReading.h"

namespace {

TEST(IntegerReading, ReadsAndClamps)
{
    EXPECT_EQ(ReadInteger(""), 0);
    EXPECT_EQ(ReadInteger("abc"), 0);
    EXPECT_EQ(ReadInteger("07"), 7);
    EXPECT_EQ(ReadInteger("  -12x"), -12);
    EXPECT_EQ(ReadInteger(" \t\n\v\f\r+9"), 9);
    EXPECT_EQ(ReadInteger("12 34"), 12);
    EXPECT_EQ(ReadInteger("- 5"), 0);
    EXPECT_EQ(ReadInteger("+-5"), 0);
    EXPECT_EQ(ReadInteger("2147483647"), INT_MAX);
    EXPECT_EQ(ReadInteger("-2147483648"), INT_MIN);
    EXPECT_EQ(ReadInteger("2147483648"), INT_MAX);
    EXPECT_EQ(ReadInteger("4294967303"), INT_MAX);  // would wrap to 7 in 32 bits
    EXPECT_EQ(ReadInteger("-2147483649"), INT_MIN);
    EXPECT_EQ(ReadInteger("  +99999999999999999999999999x"), INT_MAX);
    EXPECT_EQ(ReadInteger("-99999999999999999999999999"), INT_MIN);
}

TEST(IntegerReading, StopsAtTheEndOfAView)
{
    const std::string text = "123456";
    EXPECT_EQ(ReadInteger(std::string_view(text).substr(0, 3)), 123);
}

}  // namespace
