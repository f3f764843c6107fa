#pragma once
// The two ways a number is read from a text. ReadInteger is the lenient one of panel texts,
// time records and file items: leading white space, an optional sign, then digits up to the first
// other character; no digits read as 0. Values beyond the int range clamp rather than wrap, so a
// long run of digits in a file or a field cannot turn into an unrelated number. ReadWholeInteger is
// the strict one of integer fields.

#include <climits>
#include <cstdint>
#include <optional>
#include <string_view>

constexpr int ReadInteger(std::string_view text)
{
    std::size_t i = 0;
    const auto isSpace = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    };
    while (i < text.size() && isSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // One past INT_MAX is the magnitude of INT_MIN; anything larger is clamped the same way.
    constexpr std::int64_t kLimit = std::int64_t{INT_MAX} + 1;
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > kLimit) {
            magnitude = kLimit;
        }
    }
    if (negative) {
        return static_cast<int>(-magnitude);
    }
    return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

// A whole integer field: optional blanks, a sign, digits, optional blanks, and a value within the
// int range. Anything else is not an integer.
constexpr std::optional<int> ReadWholeInteger(std::string_view text)
{
    std::size_t i = 0;
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i++] == '-';
    }
    const std::size_t digits = i;
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > std::int64_t{INT_MAX} + 1) {
            return std::nullopt;
        }
    }
    if (i == digits) {
        return std::nullopt;
    }
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (i != text.size() || value > INT_MAX) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}
