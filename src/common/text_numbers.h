// Text numbers: the character classes (white space, digits, comment marks) and the saturating
// integer that the command line and both readers read alike.
//
// White space is exactly blank, tab, newline, vertical tab, form feed and carriage return;
// no byte of value 128 or above and no NUL is white space. An integer is an optional sign and
// decimal digits, read whole however many digits there are, and its value is held at the
// 32-bit limits. Everything here runs once per character of the input, so it is inline and
// makes no call: no locale, no errno, no allocation.
#pragma once

#include <cstdint>
#include <limits>

constexpr bool is_white_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// White space inside a line: all of it but the newline, which ends the line.
constexpr bool is_blank(char c) {
    return c == ' ' || c == '\t' || (c >= '\v' && c <= '\r');
}

// A comment runs from either mark to the end of its line.
constexpr bool is_comment(char c) {
    return c == '%' || c == '#';
}

constexpr bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// One past the largest int: a magnitude that reaches it stays there, which is enough to give
// every 32-bit value, -2147483648 included, and to tell a number past the limits.
constexpr std::int64_t magnitude_limit = std::int64_t{std::numeric_limits<int>::max()} + 1;

// Adds a decimal digit to a magnitude held at magnitude_limit.
constexpr void add_digit(std::int64_t& magnitude, char digit) {
    magnitude = magnitude * 10 + (digit - '0');
    if (magnitude > magnitude_limit) magnitude = magnitude_limit;
}

// One past the largest count of a wide header: 2 * nedges + 1 entries must stay an unsigned
// 64-bit value. A wide magnitude that reaches it stays there.
constexpr std::int64_t wide_magnitude_limit = (std::int64_t{1} << 62) + 1;

// Adds a decimal digit to a magnitude held at wide_magnitude_limit.
constexpr void add_wide_digit(std::int64_t& magnitude, char digit) {
    const int value = digit - '0';
    magnitude = magnitude > (wide_magnitude_limit - value) / 10 ? wide_magnitude_limit
                                                                : magnitude * 10 + value;
}

// The int of a sign and a magnitude from add_digit, clamped to the 32-bit limits.
constexpr int clamped_int(bool is_negative, std::int64_t magnitude) {
    if (is_negative) return static_cast<int>(-magnitude);
    return magnitude < magnitude_limit ? static_cast<int>(magnitude)
                                       : std::numeric_limits<int>::max();
}

// Reads an optional "+" or "-" and the decimal digits after it at text, which ends in a
// character that is not a digit. Gives the count of characters read, 0 when no digit follows
// the sign; value is then the number clamped to the 32-bit limits, and magnitude its digits'
// value held at magnitude_limit (so magnitude == magnitude_limit: the digits pass
// 2147483647). Both stay as they were when no digit is read.
constexpr int read_integer(const char* text, int& value, std::int64_t& magnitude) {
    const char* position = text;
    const bool is_negative = *position == '-';
    if (*position == '-' || *position == '+') ++position;
    const char* digits = position;
    std::int64_t digits_value = 0;
    for (; is_digit(*position); ++position)
        add_digit(digits_value, *position);
    if (position == digits) return 0;
    magnitude = digits_value;
    value = clamped_int(is_negative, digits_value);
    return static_cast<int>(position - text);
}
