#include "input/token_scanner.h"

#include <gtest/gtest.h>

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
        // A token that is not a number ends its line; the rest of a long line comes back as
        // a line of its own.
        EXPECT_EQ(scan_lines(std::string(length, 'x') + " 7\n5\n"), Lines({{}, {7}, {5}}));
    }
    EXPECT_EQ(scan_lines(std::string(1, '0') + "." + std::string(300, '0') + "1 7\n", true),
              Lines({{0, 7}}));
}

const LineCase cut_segment_cases[] = {
    {"form feed at position 198 ends the line",
     filler(198) + "\f4 5\n6\n",
     {sevens(198), {4, 5}, {6}}},
    {"form feed at 197 is white space", filler(197) + "\f4 5\n", {plus(sevens(197), {4, 5})}},
    {"white space at 198 carries nothing", filler(199) + "4 5\n", {plus(sevens(199), {4, 5})}},
    {"comment discards the rest of the line",
     filler(150) + "% " + std::string(100, 'w') + " 1\n5\n",
     {sevens(150), {5}}},
    {"discarded comment ends at a form feed",
     filler(150) + "% " + std::string(60, 'w') + "\f7 8\n",
     {sevens(150), {7, 8}}},
    {"input ends in a discarded comment",
     filler(150) + "% " + std::string(100, 'w'),
     {sevens(150)}},
    {"non-number drops the rest of the segment",
     filler(100) + "x " + filler(97) + "4 5\n",
     {sevens(100), {4, 5}}},
    {"comment at the last whole token",
     filler(194) + "12% 34 56\n7\n",
     {plus(sevens(194), {12}), {7}}},
    {"letter at the last whole token",
     filler(194) + "12a 34 56\n7\n",
     {plus(sevens(194), {12}), {4, 56}, {7}}},
};

TEST(TokenScanner, ends_lines_inside_cut_segments) {
    for (const LineCase& c : cut_segment_cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(scan_lines(c.text), c.lines);
    }
}

}  // namespace
