#include "input/real_text.h"

#include <limits>
#include <system_error>

namespace {

const char* skip_digits(const char* position) {
    while (is_digit(*position))
        ++position;
    return position;
}

// Reads a real held in memory, for read_long_real.
struct MemoryCursor {
    const char* position;
    const char* exponent_letter = nullptr;

    char current() const {
        return *position;
    }
    void step() {
        ++position;
    }
    void mark_exponent_letter() {
        exponent_letter = position;
    }
    void return_to_exponent_letter() {
        position = exponent_letter;
    }
};

}  // namespace

// Measures the real at text: sign, mantissa, and an exponent only when a digit follows its
// letter and sign. Gives the count of characters, 0 when no number starts at text.
std::int64_t measure_real(const char* text) {
    const char* position = text;
    if (*position == '-' || *position == '+') ++position;
    const char* mantissa = position;
    position = skip_digits(position);
    bool has_digits = position != mantissa;
    if (*position == '.') {
        const char* fraction = position + 1;
        position = skip_digits(fraction);
        has_digits = has_digits || position != fraction;
    }
    if (!has_digits) return 0;
    if (is_exponent_letter(*position)) {
        const char* exponent = position + 1;
        if (*exponent == '-' || *exponent == '+') ++exponent;
        if (is_digit(*exponent)) position = skip_digits(exponent);
    }
    return position - text;
}

// The nearest double to a real written as from_chars reads it: no "+", and e as the only
// exponent letter.
double nearest_double(const char* text, int length, bool has_negative_exponent) {
    double value = 0.0;
    const std::from_chars_result result = std::from_chars(text, text + length, value);
    if (result.ec != std::errc::result_out_of_range) return value;
    // A number of at most 199 characters lies between 1e-199 and 1e199 before its exponent,
    // and a shortened long one between 0.1 and 1, so only a negative exponent can take it
    // below the smallest double, and only a positive one above the largest.
    const bool is_negative = text[0] == '-';
    if (has_negative_exponent) return is_negative ? -0.0 : 0.0;
    const double infinity = std::numeric_limits<double>::infinity();
    return is_negative ? -infinity : infinity;
}

// Converts a measured real of length characters to the nearest double. from_chars takes no
// leading "+" and knows only e as the exponent letter, so it reads a copy without the one
// and with the other; having been measured first, the copy holds no form it would read
// differently (hexadecimal, inf, nan).
double convert_real(const char* text, int length) {
    // Its first byte is set so that no compiler takes a copy of an empty text for unread.
    char normalised[short_real_limit + 1];
    normalised[0] = '0';
    int copied = 0;
    bool has_negative_exponent = false;
    for (int i = text[0] == '+' ? 1 : 0; i < length; ++i) {
        char c = text[i];
        if (is_exponent_letter(c)) {
            c = 'e';
            has_negative_exponent = text[i + 1] == '-';
        }
        normalised[copied++] = c;
    }
    return nearest_double(normalised, copied, has_negative_exponent);
}

double convert_real_in_memory(const char* text, std::int64_t length) {
    if (length < short_real_limit) return convert_real(text, static_cast<int>(length));
    MemoryCursor cursor{text};
    char normalised[longest_real_text] = {};
    bool has_negative_exponent = false;
    const int normalised_length = read_long_real(cursor, normalised, has_negative_exponent);
    return nearest_double(normalised, normalised_length, has_negative_exponent);
}
