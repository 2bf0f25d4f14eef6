#include "input/token_scanner.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

#include "common/line_read.h"
#include "common/text_numbers.h"
#include "input/real_text.h"

namespace {

// A segment holds at most 199 characters, at positions 0 to 198.
constexpr int segment_limit = line_buffer_size - 1;
constexpr int last_segment_position = line_buffer_size - 2;
// The break_point of a segment that holds the end of its line.
constexpr int complete_segment = line_buffer_size;
// The break_point of an oversized segment: one token fills it and goes on in the stream. No
// whole token can end there, since white space follows a whole token inside its segment.
constexpr int oversized_segment = last_segment_position;
// When a number runs past the end of an oversized segment, its last characters stay at the
// front of the next piece. A number looks at most two characters ahead (an exponent letter
// and its sign) before it knows where it ends; one more keeps the end of a number that ends
// before them above position 0, since a scan_offset of 0 means that a new line is due.
constexpr int kept_lookahead = 3;
// The hundreds, tens and ones digits of an integer are its value modulo this.
constexpr int low_digits_modulus = 1000;

// The UTF-8 byte order mark.
constexpr char byte_order_mark[] = {'\xEF', '\xBB', '\xBF'};

// Bounded line read: at most limit - 1 characters, up to and including a newline, NUL
// terminated; false only when the stream delivers no character.
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

// Reads the fill markers left by a read that found blanks at positions 198 and 199. Only a
// newline ends a line: a form feed or a NUL byte in the last place is one more character of
// a line that goes on.
bool segment_is_complete(const TokenScanner& scanner) {
    if (scanner.line_buffer[segment_limit] != '\0') return true;  // the read stopped short
    return scanner.line_buffer[last_segment_position] == '\n';
}

// Searches a cut segment backwards, never before position 0. save_point becomes the start
// of the token cut by the end of the buffer (199 when position 198 is white space, 0 when
// the segment holds no white space at all); break_point becomes the last character of the
// last whole token before it, or -1 when no such token exists. A NUL byte counts as a
// character of a token, so that the scan meets it and ends the line there, as it does in a
// line that fits the buffer, wherever the NUL stands.
void find_break(TokenScanner& scanner) {
    const char* buffer = scanner.line_buffer;
    int position = last_segment_position;
    while (position >= 0 && !is_white_space(buffer[position]))
        --position;
    scanner.save_point = position + 1;
    while (position >= 0 && is_white_space(buffer[position]))
        --position;
    scanner.break_point = position;
}

// The line ends with the stream: the carried tail, empty or not, is its last segment, so
// a last token that filled a segment exactly still comes back before the end of input.
void end_line_with_tail(TokenScanner& scanner, int tail_length) {
    scanner.line_buffer[tail_length] = '\0';
    scanner.break_point = complete_segment;
}

// Passes over a byte order mark (EF BB BF) in front of the first byte of the input, which
// some editors write there; it is no character of the first line. Bytes that begin like the
// mark but are not it stay at the front of line_buffer as the start of the first line; gives
// their count. line_has_ended is set when the input or the line (a newline among them) ends
// within them.
int pass_byte_order_mark(TokenScanner& scanner, std::FILE* stream, bool& line_has_ended) {
    scanner.is_at_input_start = false;
    int kept = 0;
    for (const char mark_byte : byte_order_mark) {
        const int c = getc_unlocked(stream);
        if (c == EOF) {
            line_has_ended = true;
            return kept;
        }
        scanner.line_buffer[kept++] = static_cast<char>(c);
        if (static_cast<char>(c) != mark_byte) {
            line_has_ended = c == '\n';
            return kept;
        }
    }
    return 0;
}

// Reads the next segment: the first of a new line, or, when line_goes_on, the next one of
// the current line after its carried tail. Gives 1 when a new line gets no character.
// A cut segment without a whole token (only white space, or white space before a token that
// reaches position 198) holds nothing to scan before its tail: the tail is carried and the
// line goes on with the next read, so a long run of blanks never reports an end of line.
[[nodiscard]] int read_segment(TokenScanner& scanner, std::FILE* stream, bool line_goes_on) {
    for (;;) {
        int tail_length = line_goes_on ? carry_tail(scanner) : 0;
        if (scanner.is_at_input_start) {
            bool line_has_ended = false;
            tail_length = pass_byte_order_mark(scanner, stream, line_has_ended);
            if (line_has_ended) {
                if (tail_length == 0) return 1;
                end_line_with_tail(scanner, tail_length);
                break;
            }
            line_goes_on = tail_length > 0;
        }
        scanner.line_buffer[last_segment_position] = ' ';
        scanner.line_buffer[segment_limit] = ' ';
        if (!read_piece(scanner.line_buffer + tail_length, line_buffer_size - tail_length,
                        stream)) {
            // A failed read cuts the line short: its carried tail is no whole token, and the
            // line has no end to report. The input ends here; a number being read on through
            // the buffer stops at the tail's end.
            if (std::ferror(stream) != 0) {
                end_line_with_tail(scanner, tail_length);
                scanner.scan_offset = 0;
                return 1;
            }
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
        // A tail of 199 characters cannot be carried: the next read would have no room. The
        // token is scanned where it stands, and a number in it reads on past the buffer.
        if (scanner.save_point == 0) {
            scanner.break_point = oversized_segment;
            scanner.save_point = segment_limit;
            break;
        }
        line_goes_on = true;
    }
    scanner.scan_offset = 0;
    return 0;
}

// Ends the current line: the next request starts on the next line. In a cut segment the rest
// of the line is still in the stream and goes with it, so that whatever ended the line (a
// comment, a token that is not a number, a NUL byte), the next request starts after the
// line's newline, as it does when the line fits the buffer.
void end_line(TokenScanner& scanner, std::FILE* stream, ScanStatus& status) {
    if (scanner.break_point < complete_segment) {
        skip_rest_of_line(stream);
        scanner.break_point = complete_segment;
    }
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
    end_line(scanner, stream, status);
    return 1;
}

// The value of the last three digits of an integer of length characters at text.
int low_digits_of(const char* text, int length) {
    int low_digits = 0;
    for (int i = std::max(0, length - 3); i < length; ++i) {
        if (is_digit(text[i])) low_digits = low_digits * 10 + (text[i] - '0');
    }
    return low_digits;
}

// The characters of a number in an oversized segment, which may run on past the buffer.
struct NumberCursor {
    TokenScanner& scanner;
    std::FILE* stream;
    int position;
    // Where a real ends when its exponent letter has no digits after it; moved with the text.
    int exponent_letter = 0;

    char current() const {
        return scanner.line_buffer[position];
    }
    // Steps to the next character. At the end of a segment whose line goes on, the last
    // characters move to the front and the next piece of the line is read after them.
    void step() {
        ++position;
        if (position < segment_limit || scanner.break_point == complete_segment) return;
        const int shift = segment_limit - kept_lookahead;
        scanner.save_point = shift;
        // Reading on in a line never meets the end of the input as a failure: the line ends.
        (void)read_segment(scanner, stream, true);
        position -= shift;
        exponent_letter -= shift;
    }
    void mark_exponent_letter() {
        exponent_letter = position;
    }
    void return_to_exponent_letter() {
        position = exponent_letter;
    }
};

// Reads an integer at the cursor, however many digits it has; 1 when no digit follows the
// sign.
[[nodiscard]] int read_long_int(NumberCursor& cursor, int& value,
                                std::int64_t* wide_value = nullptr) {
    const bool is_negative = cursor.current() == '-';
    if (cursor.current() == '-' || cursor.current() == '+') cursor.step();
    if (!is_digit(cursor.current())) return 1;
    std::int64_t magnitude = 0;
    std::int64_t wide_magnitude = 0;
    int low_digits = 0;
    for (; is_digit(cursor.current()); cursor.step()) {
        add_digit(magnitude, cursor.current());
        add_wide_digit(wide_magnitude, cursor.current());
        low_digits = (low_digits * 10 + (cursor.current() - '0')) % low_digits_modulus;
    }
    value = clamped_int(is_negative, magnitude);
    if (wide_value != nullptr) *wide_value = is_negative ? -wide_magnitude : wide_magnitude;
    cursor.scanner.int_is_past_limit = magnitude == magnitude_limit;
    cursor.scanner.int_low_digits = low_digits;
    return 0;
}

// A number read on through the stream that a failed read cut short is no number: the input
// ends there instead.
bool is_cut_by_failure(std::FILE* stream, ScanStatus& status) {
    if (std::ferror(stream) == 0) return false;
    status = scan_end_of_input;
    return true;
}

// The value of a token's digits held at wide_magnitude_limit, with its sign.
std::int64_t wide_value_of(const char* text, int length) {
    std::int64_t magnitude = 0;
    for (int i = (text[0] == '-' || text[0] == '+') ? 1 : 0; i < length; ++i)
        add_wide_digit(magnitude, text[i]);
    return text[0] == '-' ? -magnitude : magnitude;
}

// next_int, and with is_wide next_wide_int: the same tokens, statuses and scanner fields. A
// template, so that the 32-bit draws of the body pay nothing for the header's 64-bit counts.
template <bool is_wide>
std::int64_t next_integer(TokenScanner& scanner, std::FILE* stream, ScanStatus& status) {
    if (reach_token(scanner, stream, status) != 0) return 0;
    int value = 0;
    std::int64_t wide_value = 0;
    if (scanner.break_point == oversized_segment) {
        NumberCursor cursor{scanner, stream, scanner.scan_offset};
        if (read_long_int(cursor, value, is_wide ? &wide_value : nullptr) != 0) {
            end_line(scanner, stream, status);
            return 0;
        }
        scanner.scan_offset = cursor.position;
        if (is_cut_by_failure(stream, status)) return 0;
        return is_wide ? wide_value : value;
    }
    std::int64_t magnitude = 0;
    const char* text = scanner.line_buffer + scanner.scan_offset;
    const int length = read_integer(text, value, magnitude);
    if (length == 0) {
        end_line(scanner, stream, status);
        return 0;
    }
    if constexpr (is_wide) wide_value = wide_value_of(text, length);
    scanner.int_is_past_limit = magnitude == magnitude_limit;
    scanner.int_low_digits = low_digits_of(text, length);
    scanner.scan_offset += length;
    return is_wide ? wide_value : value;
}

}  // namespace

int next_int(TokenScanner& scanner, std::FILE* stream, ScanStatus& status) {
    return static_cast<int>(next_integer<false>(scanner, stream, status));
}

std::int64_t next_wide_int(TokenScanner& scanner, std::FILE* stream, ScanStatus& status) {
    return next_integer<true>(scanner, stream, status);
}

double next_real(TokenScanner& scanner, std::FILE* stream, ScanStatus& status) {
    if (reach_token(scanner, stream, status) != 0) return 0.0;
    if (scanner.break_point == oversized_segment) {
        NumberCursor cursor{scanner, stream, scanner.scan_offset};
        char text[longest_real_text];
        bool has_negative_exponent = false;
        const int length = read_long_real(cursor, text, has_negative_exponent);
        if (length == 0) {
            end_line(scanner, stream, status);
            return 0.0;
        }
        scanner.scan_offset = cursor.position;
        if (is_cut_by_failure(stream, status)) return 0.0;
        return nearest_double(text, length, has_negative_exponent);
    }
    const char* text = scanner.line_buffer + scanner.scan_offset;
    const int length = static_cast<int>(measure_real(text));
    if (length == 0) {
        end_line(scanner, stream, status);
        return 0.0;
    }
    scanner.scan_offset += length;
    return convert_real(text, length);
}

void skip_rest_of_line(std::FILE* stream) {
    int c = getc_unlocked(stream);
    while (c != EOF && c != '\n')
        c = getc_unlocked(stream);
}
