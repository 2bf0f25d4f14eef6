// Real text: the conversion of a real number's text to the nearest double, for the token
// scanner's line buffer and for text held whole in memory alike.
//
// A real is an optional sign, digits with an optional point (at least one digit), and an
// exponent only when a digit follows its letter (e, E, d or D) and sign; there are no
// hexadecimal, inf or nan forms. A text of any length gives the nearest double: a short one
// through from_chars, a long one through its first significant digits, which settle it.
// The scanner's numbers and those of the chunks read in memory so come out the same.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "common/text_numbers.h"

// A real of more digits keeps this many significant ones, and one more that stands for all
// the later ones when any of them is not 0: the nearest double is settled by the first 767
// significant digits and whether anything follows them.
constexpr int kept_significant_digits = 800;
// Past this decimal exponent a significand between 0.1 and 1 overflows or underflows.
constexpr std::int64_t largest_decimal_exponent = 99999;
// The sign, "0.", the kept digits, the stand-in, "e" and the exponent with its sign.
constexpr int longest_real_text = 1 + 2 + kept_significant_digits + 1 + 1 + 1 + 5;
// Exponent digits beyond this value change nothing, and the sum with a line's digit count
// stays far inside 64 bits.
constexpr std::int64_t exponent_cap = 1'000'000'000'000'000;

constexpr bool is_exponent_letter(char c) {
    return c == 'e' || c == 'E' || c == 'd' || c == 'D';
}

// The count of characters of the real at text, 0 when no number starts there. The text ends
// in a character that ends a number (white space, a NUL or any other), which is not read past.
std::int64_t measure_real(const char* text);

// The nearest double to a real written as from_chars reads it: no "+", and e as the only
// exponent letter.
double nearest_double(const char* text, int length, bool has_negative_exponent);

// Converts a measured real of length characters, fewer than short_real_limit, to the nearest
// double.
double convert_real(const char* text, int length);

// Converts a measured real of any length, held whole in memory, to the nearest double.
double convert_real_in_memory(const char* text, std::int64_t length);

// A real of this many characters or more is converted through its significant digits.
constexpr int short_real_limit = 199;

// The significant digits of a long real, as many as decide its nearest double.
struct Significand {
    char digits[kept_significant_digits];
    int kept_count = 0;
    bool has_later_non_zero = false;
    // The value is 0.digits times 10 to this power, before the number's own exponent.
    std::int64_t point_exponent = 0;
};

inline void take_digit(Significand& significand, char digit) {
    if (significand.kept_count < kept_significant_digits) {
        significand.digits[significand.kept_count++] = digit;
    } else if (digit != '0') {
        significand.has_later_non_zero = true;
    }
}

// Reads the mantissa of a real at the cursor; false when it holds no digit.
template <class Cursor>
bool read_long_mantissa(Cursor& cursor, Significand& significand) {
    bool has_digits = false;
    for (; is_digit(cursor.current()); cursor.step()) {
        has_digits = true;
        // Leading zeros hold no place.
        if (significand.kept_count == 0 && cursor.current() == '0') continue;
        take_digit(significand, cursor.current());
        ++significand.point_exponent;
    }
    if (cursor.current() != '.') return has_digits;
    cursor.step();
    for (; is_digit(cursor.current()); cursor.step()) {
        has_digits = true;
        if (significand.kept_count == 0 && cursor.current() == '0') {
            --significand.point_exponent;
        } else {
            take_digit(significand, cursor.current());
        }
    }
    return has_digits;
}

// Reads the exponent of a real at the cursor, 0 when there is none. Without a digit after
// the letter and its sign, the number ends before the letter.
template <class Cursor>
std::int64_t read_long_exponent(Cursor& cursor) {
    if (!is_exponent_letter(cursor.current())) return 0;
    cursor.mark_exponent_letter();
    cursor.step();
    const bool is_negative = cursor.current() == '-';
    if (cursor.current() == '-' || cursor.current() == '+') cursor.step();
    if (!is_digit(cursor.current())) {
        cursor.return_to_exponent_letter();
        return 0;
    }
    std::int64_t exponent = 0;
    for (; is_digit(cursor.current()); cursor.step())
        exponent = std::min(exponent * 10 + (cursor.current() - '0'), exponent_cap);
    return is_negative ? -exponent : exponent;
}

// Reads a real at the cursor, however many characters it has, and writes the same value to
// text in at most longest_real_text characters, as from_chars reads it: its sign, then 0 or
// 0.DIGITSeN. Gives the text's length, 0 when no number starts at the cursor.
template <class Cursor>
int read_long_real(Cursor& cursor, char* text, bool& has_negative_exponent) {
    const bool is_negative = cursor.current() == '-';
    if (cursor.current() == '-' || cursor.current() == '+') cursor.step();
    Significand significand;
    if (!read_long_mantissa(cursor, significand)) return 0;
    const std::int64_t exponent = read_long_exponent(cursor);
    char* end = text;
    if (is_negative) *end++ = '-';
    *end++ = '0';
    if (significand.kept_count == 0) return static_cast<int>(end - text);
    *end++ = '.';
    end = std::copy(significand.digits, significand.digits + significand.kept_count, end);
    if (significand.has_later_non_zero) *end++ = '1';
    *end++ = 'e';
    const std::int64_t decimal_exponent = std::clamp(
        significand.point_exponent + exponent, -largest_decimal_exponent, largest_decimal_exponent);
    has_negative_exponent = decimal_exponent < 0;
    end = std::to_chars(end, text + longest_real_text, decimal_exponent).ptr;
    return static_cast<int>(end - text);
}
