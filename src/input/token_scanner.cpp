#include "input/token_scanner.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

#include "common/line_read.h"

namespace {

// A segment holds at most 199 characters, at positions 0 to 198.
constexpr int segment_limit = line_buffer_size - 1;
constexpr int last_segment_position = line_buffer_size - 2;
// The break_point of a segment that holds the end of its line.
constexpr int complete_segment = line_buffer_size;
// Past this magnitude an integer saturates whatever digits follow.
constexpr std::int64_t saturated_magnitude = std::int64_t{std::numeric_limits<int>::max()} + 1;

// These run once per character: plain comparisons, no locale, and a NUL is neither.
constexpr bool is_white_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

constexpr bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

constexpr bool is_comment(char c) {
    return c == '%' || c == '#';
}

constexpr bool is_exponent_letter(char c) {
    return c == 'e' || c == 'E' || c == 'd' || c == 'D';
}

// Bounded line read: at most limit - 1 characters, up to and including a newline, NUL
// terminated; false only when the stream delivers no character. The stream has one reader
// and the run one thread, so the unlocked form is safe and spares a lock per line.
bool read_piece(char* place, int limit, std::FILE* stream) {
    return read_line(place, limit, stream) != nullptr;
}

// Moves the carried tail (positions save_point to 198) to the front and gives its length.
// The tail lies at higher positions than its destination, so copying front to back is safe
// even where the two overlap.
int carry_tail(TokenScanner& scanner) {
    const int tail_length = segment_limit - scanner.save_point;
    for (int i = 0; i < tail_length; ++i) {
        scanner.line_buffer[i] = scanner.line_buffer[scanner.save_point + i];
    }
    return tail_length;
}

// Reads the fill markers left by a read that found blanks at positions 198 and 199.
bool segment_is_complete(const TokenScanner& scanner) {
    const char last = scanner.line_buffer[last_segment_position];
    if (scanner.line_buffer[segment_limit] != '\0') return true;  // the read stopped short
    // The read filled the buffer exactly to the end of its line; a form feed in this last
    // place ends the line as a newline does.
    return last == '\0' || last == '\n' || last == '\f';
}

// Searches a cut segment backwards, never before position 0. save_point becomes the start
// of the token cut by the end of the buffer (199 when position 198 is white space, 0 when
// the segment holds no white space at all); break_point becomes the last character of the
// last whole token before it, or -1 when no such token exists. NUL bytes are passed over.
void find_break(TokenScanner& scanner) {
    const char* buffer = scanner.line_buffer;
    int position = last_segment_position;
    while (position >= 0 && !is_white_space(buffer[position]))
        --position;
    scanner.save_point = position + 1;
    while (position >= 0 && (is_white_space(buffer[position]) || buffer[position] == '\0')) {
        --position;
    }
    scanner.break_point = position;
}

// Discards the rest of a token from the stream; gives the white space that ends it, or EOF.
int discard_token_rest(std::FILE* stream) {
    int c = getc_unlocked(stream);
    while (c != EOF && !is_white_space(static_cast<char>(c)))
        c = getc_unlocked(stream);
    return c;
}

// A token of 199 characters or more never fits a segment. The buffer keeps its first 199
// characters and they are scanned as a token of their own: a number yields the value of
// those characters, anything else ends the line as a short token would. The rest of the
// token is discarded from the stream, so the token never yields a second number, and the
// line goes on after it unless the token was the last thing on its line.
void cut_oversized_token(TokenScanner& scanner, std::FILE* stream) {
    const int end = discard_token_rest(stream);
    if (end == EOF || end == '\n' || end == '\f') {
        scanner.break_point = complete_segment;
        return;
    }
    scanner.break_point = last_segment_position;
    scanner.save_point = segment_limit;
}

// The line ends with the stream: the carried tail, empty or not, is its last segment, so
// a last token that filled a segment exactly still comes back before the end of input.
void end_line_with_tail(TokenScanner& scanner, int tail_length) {
    scanner.line_buffer[tail_length] = '\0';
    scanner.break_point = complete_segment;
}

// Reads the next segment: the first of a new line, or, when line_goes_on, the next one of
// the current line after its carried tail. Gives 1 when a new line gets no character.
// A cut segment without a whole token (only white space, or white space before a token that
// reaches position 198) holds nothing to scan before its tail: the tail is carried and the
// line goes on with the next read, so a long run of blanks never reports an end of line.
[[nodiscard]] int read_segment(TokenScanner& scanner, std::FILE* stream, bool line_goes_on) {
    for (;;) {
        const int tail_length = line_goes_on ? carry_tail(scanner) : 0;
        scanner.line_buffer[last_segment_position] = ' ';
        scanner.line_buffer[segment_limit] = ' ';
        if (!read_piece(scanner.line_buffer + tail_length, line_buffer_size - tail_length,
                        stream)) {
            if (!line_goes_on) return 1;
            end_line_with_tail(scanner, tail_length);
            break;
        }
        if (segment_is_complete(scanner)) {
            scanner.break_point = complete_segment;
            break;
        }
        find_break(scanner);
        if (scanner.break_point >= 0) break;
        // A tail of 199 characters cannot be carried: the next read would have no room.
        if (scanner.save_point == 0) {
            cut_oversized_token(scanner, stream);
            break;
        }
        line_goes_on = true;
    }
    scanner.scan_offset = 0;
    return 0;
}

// Ends the current line: the next request starts on the next line.
void end_line(TokenScanner& scanner, ScanStatus& status) {
    scanner.scan_offset = 0;
    status = scan_end_of_line;
}

// Brings scan_offset to the next token of the current line, reading a segment first when
// none is being scanned or the scan has passed the last whole token of a cut segment. At
// break_point itself the character there is still scanned, so a number followed by one
// more character ends the line there exactly as it would anywhere else. Gives 1 with the
// status set when the request ends without a token to convert.
[[nodiscard, gnu::always_inline]] inline int reach_token(TokenScanner& scanner, std::FILE* stream,
                                                         ScanStatus& status) {
    status = scan_number;
    if (scanner.scan_offset == 0 || scanner.scan_offset > scanner.break_point) {
        if (read_segment(scanner, stream, scanner.scan_offset != 0) != 0) {
            status = scan_end_of_input;
            return 1;
        }
    }
    int offset = scanner.scan_offset;
    // The segment's NUL stops the skip at position 199 at the latest.
    while (is_white_space(scanner.line_buffer[offset]))
        ++offset;
    scanner.scan_offset = offset;
    if (!is_comment(scanner.line_buffer[offset])) return 0;
    // In a cut segment the rest of the comment is still in the stream.
    if (scanner.break_point < complete_segment) skip_rest_of_line(stream);
    end_line(scanner, status);
    return 1;
}

// Converts an optional sign and decimal digits at text into value, saturating at the 32-bit
// limits; gives the count of characters consumed, 0 when no digit follows the sign.
int convert_int(const char* text, int& value) {
    const char* position = text;
    const bool is_negative = *position == '-';
    if (*position == '-' || *position == '+') ++position;
    const char* digits = position;
    std::int64_t magnitude = 0;
    for (; is_digit(*position); ++position) {
        // A saturated value stays put, but every digit of the run is still consumed.
        if (magnitude <= saturated_magnitude) magnitude = magnitude * 10 + (*position - '0');
    }
    if (position == digits) return 0;
    if (magnitude > saturated_magnitude) magnitude = saturated_magnitude;
    if (is_negative) {
        value = static_cast<int>(-magnitude);
    } else {
        value = magnitude < saturated_magnitude ? static_cast<int>(magnitude)
                                                : std::numeric_limits<int>::max();
    }
    return static_cast<int>(position - text);
}

const char* skip_digits(const char* position) {
    while (is_digit(*position))
        ++position;
    return position;
}

// Measures the real at text: sign, mantissa, and an exponent only when a digit follows its
// letter and sign. Gives the count of characters, 0 when no number starts at text.
int measure_real(const char* text) {
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
    return static_cast<int>(position - text);
}

// Converts a measured real of length characters to the nearest double. from_chars takes no
// leading "+" and knows only e as the exponent letter, so it reads a copy without the one
// and with the other; having been measured first, the copy holds no form it would read
// differently (hexadecimal, inf, nan).
double convert_real(const char* text, int length) {
    char normalised[line_buffer_size];  // a number never outgrows its segment
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
    double value = 0.0;
    const std::from_chars_result result = std::from_chars(normalised, normalised + copied, value);
    if (result.ec != std::errc::result_out_of_range) return value;
    // A number of at most 199 characters lies between 1e-199 and 1e199 before its exponent,
    // so only a negative exponent can take it below the smallest double, and only a
    // positive one above the largest.
    const bool is_negative = text[0] == '-';
    if (has_negative_exponent) return is_negative ? -0.0 : 0.0;
    const double infinity = std::numeric_limits<double>::infinity();
    return is_negative ? -infinity : infinity;
}

}  // namespace

int next_int(TokenScanner& scanner, std::FILE* stream, ScanStatus& status) {
    if (reach_token(scanner, stream, status) != 0) return 0;
    int value = 0;
    const int length = convert_int(scanner.line_buffer + scanner.scan_offset, value);
    if (length == 0) {
        end_line(scanner, status);
        return 0;
    }
    scanner.scan_offset += length;
    return value;
}

double next_real(TokenScanner& scanner, std::FILE* stream, ScanStatus& status) {
    if (reach_token(scanner, stream, status) != 0) return 0.0;
    const char* text = scanner.line_buffer + scanner.scan_offset;
    const int length = measure_real(text);
    if (length == 0) {
        end_line(scanner, status);
        return 0.0;
    }
    scanner.scan_offset += length;
    return convert_real(text, length);
}

void skip_rest_of_line(std::FILE* stream) {
    int c = getc_unlocked(stream);
    while (c != EOF && c != '\n' && c != '\f')
        c = getc_unlocked(stream);
}
