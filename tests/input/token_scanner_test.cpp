#include "input/token_scanner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "test_support.h"

using namespace std::string_literals;

namespace {

using Lines = std::vector<std::vector<double>>;
using Outcomes = std::vector<std::pair<ScanStatus, double>>;

constexpr double int_max = std::numeric_limits<int>::max();
constexpr double int_min = std::numeric_limits<int>::min();
constexpr double infinity = std::numeric_limits<double>::infinity();

// Scans the whole text with next_int (or next_real) and gives the numbers of each line, a
// line being closed by its status 1.
Lines scan_lines(std::string_view text, bool as_real = false) {
    std::FILE* stream = test_support::stream_with(text);
    TokenScanner scanner;
    Lines lines(1);
    ScanStatus status = scan_number;
    for (int requests = 0; requests < 100000; ++requests) {
        double value =
            as_real ? next_real(scanner, stream, status) : next_int(scanner, stream, status);
        if (status == scan_end_of_input) break;
        if (status == scan_number) lines.back().push_back(value);
        if (status == scan_end_of_line) lines.emplace_back();
    }
    std::fclose(stream);
    EXPECT_EQ(status, scan_end_of_input);
    EXPECT_TRUE(lines.back().empty()) << "numbers without an end of line before the input ends";
    lines.pop_back();
    return lines;
}

// Issues one request per letter of kinds ('i' next_int, 'r' next_real).
Outcomes scan_requests(std::string_view text, std::string_view kinds) {
    std::FILE* stream = test_support::stream_with(text);
    TokenScanner scanner;
    Outcomes outcomes;
    for (char kind : kinds) {
        ScanStatus status = 7;
        double value =
            kind == 'r' ? next_real(scanner, stream, status) : next_int(scanner, stream, status);
        outcomes.emplace_back(status, value);
    }
    std::fclose(stream);
    return outcomes;
}

// Single-digit numbers separated by blanks, exactly length characters, ending in a blank.
std::string filler(int length) {
    std::string text(length % 2, '7');  // an odd length starts with one two-digit number
    while (static_cast<int>(text.size()) + 2 <= length)
        text += "7 ";
    return text;
}

std::vector<double> sevens(int length) {
    std::vector<double> numbers(static_cast<std::size_t>(length / 2), 7);
    if (length % 2 == 1) numbers[0] = 77;
    return numbers;
}

std::vector<double> plus(std::vector<double> numbers, std::vector<double> more) {
    numbers.insert(numbers.end(), more.begin(), more.end());
    return numbers;
}

struct LineCase {
    const char* name;
    std::string text;
    Lines lines;
};

const LineCase short_line_cases[] = {
    {"two lines", "3 4\n5\n", {{3, 4}, {5}}},
    {"empty and blank lines", "\n  \t \n7\n", {{}, {}, {7}}},
    {"comment at the start and after blanks", "% 1\n  # 2\n3\n", {{}, {}, {3}}},
    {"comment after a blank and right after a number", "3 4 % 9\n3 4%9\n", {{3, 4}, {3, 4}}},
    {"letters after a number drop the line", "12abc 5\n6\n", {{12}, {6}}},
    {"comma", "3,4\n", {{3}}},
    {"carriage return line ends", "3 4\r\n5\r\n", {{3, 4}, {5}}},
    {"last line without newline", "7 8", {{7, 8}}},
    {"NUL ends the scan of a line", "1 2\0 3\n4\n"s, {{1, 2}, {4}}},
    {"form feed and vertical tab inside a line", "1\f2\v3\n", {{1, 2, 3}}},
    {"carriage return between numbers", "2\r3\r\r4\n", {{2, 3, 4}}},
    {"byte above 127 is not white space", "1\xa0 2\n", {{1}}},
    {"integer limits saturate",
     "2147483647 2147483648 -2147483648 -2147483649 -99999999999999999999\n",
     {{int_max, int_max, int_min, int_min, int_min}}},
    {"signs", "+7 -0 - 5\n+ 5\n", {{7, 0}, {}}},
    {"no base prefix", "0x1A\n", {{0}}},
};

TEST(TokenScanner, returns_the_numbers_of_each_line) {
    for (const LineCase& c : short_line_cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(scan_lines(c.text), c.lines);
    }
}

struct RequestCase {
    const char* name;
    std::string_view text;
    std::string_view kinds;
    Outcomes outcomes;
};

const RequestCase request_cases[] = {
    {"int stops at a point", "2.5\n", "ii", {{0, 2}, {1, 0}}},
    {"real goes on after int", "2.5\n", "ir", {{0, 2}, {0, 0.5}}},
    {"ints and reals mixed", "1 2.5 3\n", "irii", {{0, 1}, {0, 2.5}, {0, 3}, {1, 0}}},
    {"exponent letters",
     "1E3 1d3 1D-2 -.5e1 +2.5\n",
     "rrrrr",
     {{0, 1000}, {0, 1000}, {0, 0.01}, {0, -5}, {0, 2.5}}},
    {"point forms", "5. .5 .\n", "rrr", {{0, 5}, {0, 0.5}, {1, 0}}},
    {"letter without exponent digits", "1e 1e+\n", "rr", {{0, 1}, {1, 0}}},
    {"no inf", "inf\n", "r", {{1, 0}}},
    {"no nan", "nan\n", "r", {{1, 0}}},
    {"no hexadecimal", "0x1p3\n", "rr", {{0, 0}, {1, 0}}},
    {"out of range",
     "1e999 -1D999 1e-999 4.9e-324\n",
     "rrrr",
     {{0, infinity}, {0, -infinity}, {0, 0}, {0, 4.9406564584124654e-324}}},
    {"end of input repeats", "7", "iiii", {{0, 7}, {1, 0}, {-1, 0}, {-1, 0}}},
    {"empty input", "", "rr", {{-1, 0}, {-1, 0}}},
};

TEST(TokenScanner, answers_mixed_requests) {
    for (const RequestCase& c : request_cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(scan_requests(c.text, c.kinds), c.outcomes);
    }
}

TEST(TokenScanner, keeps_a_number_whole_across_the_end_of_the_buffer) {
    for (int start = 190; start <= 205; ++start) {
        SCOPED_TRACE(start);
        EXPECT_EQ(scan_lines(filler(start) + "123456789 8\n5\n"),
                  Lines({plus(sevens(start), {123456789, 8}), {5}}));
        EXPECT_EQ(scan_lines(filler(start) + "-1.25e-3 8\n", true),
                  Lines({plus(sevens(start), {-1.25e-3, 8})}));
        EXPECT_EQ(scan_lines(std::string(start, ' ') + "123456789 8\n"), Lines({{123456789, 8}}));
    }
}

TEST(TokenScanner, reads_runs_around_the_segment_length) {
    for (int length : {198, 199, 200, 400}) {
        SCOPED_TRACE(length);
        std::string numbers = filler(length + 1);  // ends in a digit at length - 1
        numbers.pop_back();
        EXPECT_EQ(scan_lines(numbers + "\n5\n"), Lines({sevens(length + 1), {5}}));
        EXPECT_EQ(scan_lines(numbers), Lines({sevens(length + 1)}));
        EXPECT_EQ(scan_lines(std::string(length, ' ') + "\n5\n"), Lines({{}, {5}}));
        EXPECT_EQ(scan_lines(std::string(length, ' ') + "7\n"), Lines({{7}}));
        EXPECT_EQ(scan_lines(std::string(length, ' ')), Lines({{}}));
        EXPECT_EQ(scan_lines(std::string(length, '1') + " 7\n5\n"), Lines({{int_max, 7}, {5}}));
        EXPECT_EQ(scan_lines(std::string(length, '0') + "\r\n5\n"), Lines({{0}, {5}}));
        EXPECT_EQ(scan_lines(std::string(length, '%') + " 7\n5\n"), Lines({{}, {5}}));
        EXPECT_EQ(scan_lines(std::string(2, ' ') + std::string(length, '#') + "\n5\n"),
                  Lines({{}, {5}}));
        EXPECT_EQ(scan_lines(std::string(1, ' ') + std::string(length, '1') + " 7"),
                  Lines({{int_max, 7}}));
        // A token that is not a number ends its line, the rest of a long line included.
        EXPECT_EQ(scan_lines(std::string(length, 'x') + " 7\n5\n"), Lines({{}, {5}}));
    }
    EXPECT_EQ(scan_lines(std::string(1, '0') + "." + std::string(300, '0') + "1 7\n", true),
              Lines({{1e-301, 7}}));
}

const LineCase cut_segment_cases[] = {
    {"form feed at position 198 is white space",
     filler(198) + "\f4 5\n6\n",
     {plus(sevens(198), {4, 5}), {6}}},
    {"form feed at 197 is white space", filler(197) + "\f4 5\n", {plus(sevens(197), {4, 5})}},
    {"white space at 198 carries nothing", filler(199) + "4 5\n", {plus(sevens(199), {4, 5})}},
    {"comment discards the rest of the line",
     filler(150) + "% " + std::string(100, 'w') + " 1\n5\n",
     {sevens(150), {5}}},
    {"discarded comment goes on after a form feed",
     filler(150) + "% " + std::string(60, 'w') + "\f7 8\n5\n",
     {sevens(150), {5}}},
    {"input ends in a discarded comment",
     filler(150) + "% " + std::string(100, 'w'),
     {sevens(150)}},
    {"non-number drops the rest of the line",
     filler(100) + "x " + filler(97) + "4 5\n6\n",
     {sevens(100), {6}}},
    {"comment at the last whole token",
     filler(194) + "12% 34 56\n7\n",
     {plus(sevens(194), {12}), {7}}},
    {"letter at the last whole token",
     filler(194) + "12a 34 56\n7\n",
     {plus(sevens(194), {12}), {7}}},
};

TEST(TokenScanner, ends_lines_inside_cut_segments) {
    for (const LineCase& c : cut_segment_cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(scan_lines(c.text), c.lines);
    }
}

// Every line with the given count of blanks in front, the last line too unless it is empty.
std::string shifted(const std::string& text, int blank_count) {
    const std::string blanks(static_cast<std::size_t>(blank_count), ' ');
    std::string moved = text.empty() ? text : blanks;
    for (std::size_t i = 0; i < text.size(); ++i) {
        moved += text[i];
        if (text[i] == '\n' && i + 1 < text.size()) moved += blanks;
    }
    return moved;
}

struct SeamCase {
    const char* name;
    std::string text;
    bool as_real;
    Lines lines;
};

const std::string long_digits(300, '9');
const std::string halfway = "1.00000000000000011102230246251565404236316680908203125";

const SeamCase seam_cases[] = {
    {"word in a long line", "2 junk" + std::string(250, ' ') + "1 3\n5\n", false, {{2}, {5}}},
    {"word longer than the buffer", "2 " + std::string(450, 'w') + " 1 3\n5\n", false, {{2}, {5}}},
    {"form feeds between numbers",
     filler(150) + "\f\f1\f" + std::string(60, '\f') + "2\n",
     false,
     {plus(sevens(150), {1, 2})}},
    {"form feed in a discarded comment",
     "1 % " + std::string(250, 'w') + "\f7 8\n5\n",
     false,
     {{1}, {5}}},
    {"NUL among the blanks before a cut token",
     filler(190) + "12 \0\0  34 5\n6\n"s,
     false,
     {plus(sevens(190), {12}), {6}}},
    {"integers saturate whatever their length",
     "-" + long_digits + " +" + long_digits + " " + std::string(400, '0') + "\n",
     false,
     {{int_min, int_max, 0}}},
    {"real of many digits",
     "1" + std::string(400, '0') + "e-400 -" + long_digits + "e-300\n",
     true,
     {{1, -1}}},
    {"reals past the limits",
     long_digits + long_digits + " 0." + long_digits + "e-99999999999\n",
     true,
     {{infinity, 0}}},
    // 1 + 2^-53 lies halfway between 1 and the next double: only digits far beyond it decide.
    {"halfway between two doubles, then a digit far on",
     halfway + std::string(1000, '0') + "1 " + halfway + std::string(1000, '0') + "\n",
     true,
     {{1.0000000000000002, 1}}},
};

// A line reads the same wherever the buffer's seams fall in it: blanks before each line move
// every token across every position of the buffer.
TEST(TokenScanner, reads_a_line_the_same_wherever_the_seams_fall) {
    for (const SeamCase& c : seam_cases) {
        SCOPED_TRACE(c.name);
        for (int blank_count = 0; blank_count <= line_buffer_size + 10; ++blank_count) {
            SCOPED_TRACE(blank_count);
            ASSERT_EQ(scan_lines(shifted(c.text, blank_count), c.as_real), c.lines);
        }
    }
}

struct PaddedCase {
    const char* name;
    const char* before;
    char padding;
    std::string after;
    bool as_real;
    Lines lines;
};

// A token of 199 characters or more is read where it stands and then in pieces of 196: the
// padding moves what follows it across the first two of those seams.
const PaddedCase padded_cases[] = {
    {"integer ends at a letter", "", '0', "23x 4\n5\n", false, {{23}, {5}}},
    {"signs end integers", "-", '0', "7-8+9 1\n", false, {{-7, -8, 9, 1}}},
    {"NUL ends the line", "1 ", '0', "2\0 3\n5\n"s, false, {{1, 2}, {5}}},
    {"exponent letter and sign without digits", "", '0', "1.5e+x 2\n5\n", true, {{1.5}, {5}}},
    {"exponent letter and sign before a point",
     "",
     '0',
     "1.5e-.5" + filler(300) + "\n5\n",
     true,
     {{1.5}, {5}}},
    {"exponent after an empty fraction", "", '0', "2.e-1d1\n", true, {{0.2}}},
    {"signs and points start reals", "", '0', "1+.5-.25 6\n", true, {{1, 0.5, -0.25, 6}}},
    {"fraction digits", "0.", '0', "125e3 4\n", false, {{0}}},
    {"fraction digits as a real", "0.", '0', "125 4\n", true, {{0, 4}}},
    {"comment after a long word", "1 ", 'w', "%9\n5\n", false, {{1}, {5}}},
};

TEST(TokenScanner, reads_tokens_longer_than_the_buffer_piece_by_piece) {
    for (const PaddedCase& c : padded_cases) {
        SCOPED_TRACE(c.name);
        for (int length = 180; length <= 420; ++length) {
            SCOPED_TRACE(length);
            Lines lines = c.lines;
            // 0. and length zeros before 125: 0.125 times 10 to the power of minus length.
            if (std::string_view(c.before) == "0." && c.as_real) {
                lines[0][0] = std::strtod(("0.125e-" + std::to_string(length)).c_str(), nullptr);
            }
            ASSERT_EQ(scan_lines(c.before + std::string(length, c.padding) + c.after, c.as_real),
                      lines);
        }
    }
}

}  // namespace
