// Token scanner: turns a graph file into numbers, one line at a time.
//
// Owns the 200-byte line buffer and the position inside it; one scanner serves one input
// stream from its first line to its end. A line that fits the buffer is read whole; a
// longer line is read in segments of at most 199 characters, and a token cut by the end of
// a segment is carried to the front and completed by the next read. A token too long for
// any segment is scanned where it stands, its numbers reading on through the stream. The
// caller never sees the seams: a line of any length gives the numbers and the statuses that
// it would give if it fitted the buffer. The scanner knows nothing of headers, vertices or
// weights (the reader gives numbers their meaning), allocates nothing and never prints:
// every outcome reaches the caller as a ScanStatus.
#pragma once

#include <cstdint>
#include <cstdio>

// 0: a number was read; 1: the current line holds no further number (end of line, comment,
// or a token that is not a number; the next request starts on the next line); -1: the
// stream delivered no further character.
using ScanStatus = int;
constexpr ScanStatus scan_number = 0;
constexpr ScanStatus scan_end_of_line = 1;
constexpr ScanStatus scan_end_of_input = -1;

// A segment occupies positions 0 to 198; its NUL lies at 199 at the latest, and positions
// 198 and 199 double as the fill markers of each read.
constexpr int line_buffer_size = 200;

struct TokenScanner {
    char line_buffer[line_buffer_size] = {};
    // Where the next request scans; 0 at the start of a request means a new line is due.
    int scan_offset = 0;
    // 200: the segment holds the end of its line. 198: the segment is one token that goes
    // on past it. Below: the last character of the last whole token of a cut segment; once
    // scanning passes it, the next segment is read.
    int break_point = line_buffer_size;
    // First position of the carried tail of a cut segment; 199 means an empty tail.
    int save_point = 0;
    // No byte has been read yet: a byte order mark in front of the first line is passed over.
    bool is_at_input_start = true;
    // Of the last integer read: whether its digits pass 2147483647 (its value then saturated),
    // and the value of its last three digits as written, whatever its length and sign.
    bool int_is_past_limit = false;
    int int_low_digits = 0;
};

// Reads the next number of the current line as a 32-bit integer (saturating at the limits,
// however many digits it has).
// Writes the outcome into status; the result is 0 unless status is scan_number.
[[nodiscard]] int next_int(TokenScanner& scanner, std::FILE* stream, ScanStatus& status);

// Reads the next number of the current line as next_int does, and gives it in 64 bits,
// held at wide_magnitude_limit (or its negation). The header of a wide file counts this way.
[[nodiscard]] std::int64_t next_wide_int(TokenScanner& scanner, std::FILE* stream,
                                         ScanStatus& status);

// Reads the next number of the current line as a double (d and D are exponent letters; no
// hexadecimal, inf or nan forms). Writes the outcome into status; 0.0 unless scan_number.
[[nodiscard]] double next_real(TokenScanner& scanner, std::FILE* stream, ScanStatus& status);

// Reads and discards characters up to and including the next newline, or to the end of the
// input. A form feed is white space like any other and does not end the line.
void skip_rest_of_line(std::FILE* stream);
