#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "timing/IntegerReading.h"

namespace {

TEST(IntegerReading, ReadsAndClamps)
{
    const std::pair<std::string_view, int> cases[] = {
        {"", 0},
        {"abc", 0},
        {"07", 7},
        {"  -12x", -12},
        {" \t\n\v\f\r+9", 9},
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
        {std::string_view("123456").substr(0, 3), 123},  // stops at the end of a view
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(ReadInteger(text), value) << text;
}

TEST(IntegerReading, WholeIntegerFieldsTakeTheIntRangeAndNothingElse)
{
    const std::pair<std::string_view, std::optional<int>> cases[] = {
        {" -7 ", -7},
        {"+42", 42},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"4294967303", std::nullopt},
        {"12ab", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"1 2", std::nullopt},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(ReadWholeInteger(text), value) << text;
}

}  // namespace
