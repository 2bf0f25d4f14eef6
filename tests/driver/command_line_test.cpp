#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

// The record a command line gives, field by field, for a failing row.
std::string described(const RunOptions& o) {
    std::ostringstream text;
    text << "in [" << o.input_name << "] out [" << o.output_name << "] times " << o.times
         << " refused [" << o.refused_times_value << "] nconnect " << o.nconnect << " connect";
    for (int vertex : o.connect_list)
        text << ' ' << vertex;
    text << " join";
    for (const std::string& item : o.join_items)
        text << " [" << item << ']';
    text << " flags " << o.check_only << o.is_strict << o.is_wide << o.wants_help << o.wants_version
         << o.wants_weights << o.wants_stats << o.is_quiet << o.has_part << " dangling ["
         << o.option_without_value << "] threads " << o.threads << " format [" << o.format_name
         << "] from [" << o.from_name << "] part [" << o.part_value << ']';
    return text.str();
}

struct CommandLineCase {
    const char* name;
    std::vector<const char*> arguments;  // after the program's name
    RunOptions expected;
};

const CommandLineCase command_line_cases[] = {
    {"no arguments", {}, {}},
    {"plain options",
     {"-in", "g.graph", "-times", "3", "-out", "o.graph"},
     {.input_name = "g.graph", .output_name = "o.graph", .times = 3}},
    {"prefix matches",
     {"-input", "a", "-timesten", "4", "-outfile", "b", "-in2", "c"},
     {.input_name = "c", .output_name = "b", .times = 4}},
    {"near misses are passed over", {"-i", "a", "-o", "b", "-connec", "1", "-IN", "x"}, {}},
    {"option with equals sign", {"-in=g.graph", "real.graph"}, {.input_name = "real.graph"}},
    {"an option string as a value",
     {"-in", "-out", "-times", "2"},
     {.input_name = "-out", .times = 2}},
    {"stray file name", {"g.graph", "-times", "1"}, {.times = 1}},
    {"names taken whole without outer white space",
     {"-in", "  my graph \n", "-out", "\tx\v y\r"},
     {.input_name = "my graph", .output_name = "x\v y"}},
    {"empty value keeps the earlier one",
     {"-out", "a", "-out", "", "-out", " \t"},
     {.output_name = "a"}},
    {"later value wins",
     {"-times", "2", "-times", "5", "-in", "a", "-in", "b"},
     {.input_name = "b", .times = 5}},
    {"leading integer", {"-times", "3copies", "-nconnect", " -4x"}, {.times = 3, .nconnect = -4}},
    {"no digits give 0", {"-times", "abc", "-nconnect", "+"}, {}},
    {"plus sign", {"-times", "+7"}, {.times = 7}},
    {"saturation",
     {"-times", "99999999999", "-nconnect", "-99999999999"},
     {.times = 2147483647, .refused_times_value = "99999999999", .nconnect = -2147483647 - 1}},
    {"a count just within the limit", {"-times", "2147483647"}, {.times = 2147483647}},
    {"a count just past the limit",
     {"-times", "2147483648"},
     {.times = 2147483647, .refused_times_value = "2147483648"}},
    {"a negative count past the limit",
     {"-times", "-2147483648"},
     {.times = -2147483647 - 1, .refused_times_value = "-2147483648"}},
    {"a refused count kept as written",
     {"-times", " 0099999999999999999999x"},
     {.times = 2147483647, .refused_times_value = " 0099999999999999999999x"}},
    {"leading zeros", {"-times", "00000000000000000000002"}, {.times = 2}},
    {"a later count replaces a refused one",
     {"-times", "99999999999", "-times", "3"},
     {.times = 3}},
    {"connect list capped by nconnect",
     {"-nconnect", "2", "-connect", "5 6 7"},
     {.nconnect = 2, .connect_list = {5, 6}}},
    {"connect before nconnect is unread", {"-connect", "5 6", "-nconnect", "2"}, {.nconnect = 2}},
    {"connect delimiters",
     {"-nconnect", "9", "-connect", ",, 1,2\t3\n4x ,-5,,"},
     {.nconnect = 9, .connect_list = {1, 2, 3, 4, -5}}},
    {"connect of delimiters only",
     {"-nconnect", "3", "-connect", " ,,\t", "-times", "2"},
     {.times = 2, .nconnect = 3}},
    {"connect starts afresh",
     {"-nconnect", "3", "-connect", "1 2", "-connect", "9"},
     {.nconnect = 3, .connect_list = {9}}},
    {"trailing option", {"-times", "2", "-input"}, {.times = 2, .option_without_value = "-input"}},
    {"trailing value-like option",
     {"-in", "a", "-out"},
     {.input_name = "a", .option_without_value = "-out"}},
    {"--help", {"--help"}, {.wants_help = true}},
    {"-h after options", {"-times", "2", "-h"}, {.times = 2, .wants_help = true}},
    {"--version", {"--version"}, {.wants_version = true}},
    {"help and version as values",
     {"-in", "--help", "-out", "--version"},
     {.input_name = "--help", .output_name = "--version"}},
    {"near help and version", {"-help", "--versions"}, {}},
    {"-check", {"-check", "-in", "a"}, {.input_name = "a", .check_only = true}},
    {"switches by their leading characters",
     {"-strictly", "-widen", "-in", "a"},
     {.input_name = "a", .is_strict = true, .is_wide = true}},
    {"a switch last", {"-in", "a", "-wide"}, {.input_name = "a", .is_wide = true}},
    {"a switch as a value", {"-in", "-check"}, {.input_name = "-check"}},
    {"-weights", {"-weights", "-in", "a"}, {.input_name = "a", .wants_weights = true}},
    {"switches cut short are passed over",
     {"-chec", "-stric", "-wid", "-weight", "-out"},
     {.option_without_value = "-out"}},
    // -stats and -strict share "-st": neither is a prefix of the other.
    {"-stats, -quiet and -strict",
     {"-statsall", "-quietly", "-strict", "-in", "a"},
     {.input_name = "a", .is_strict = true, .wants_stats = true, .is_quiet = true}},
    {"-stats and -quiet cut short", {"-stat", "-quie", "-in", "-stats"}, {.input_name = "-stats"}},
    {"the format and the part as written",
     {"-formats", "parhip", "-partition", " 1/2"},
     {.format_name = "parhip", .has_part = true, .part_value = " 1/2"}},
    {"an option string as a part",
     {"-format", " text", "-part", "-in"},
     {.format_name = " text", .has_part = true, .part_value = "-in"}},
    {"an empty part", {"-part", ""}, {.has_part = true}},
    // -from and -format share "-f": neither is a prefix of the other.
    {"-from beside -format",
     {"-fromage", "parhip", "-fro", "x", "-formats", "text"},
     {.format_name = "text", .from_name = "parhip"}},
    {"threads and joins",
     {"-threads", "3", "-join", "1:2, 3", "-join", "4"},
     {.join_items = {"1:2", "3", "4"}, .threads = 3}},
};

TEST(CommandLine, fills_the_run_options) {
    for (const CommandLineCase& c : command_line_cases) {
        SCOPED_TRACE(c.name);
        std::vector<const char*> argv = {"graphrep"};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        RunOptions options;
        parse_command_line(static_cast<int>(argv.size()), argv.data(), options);
        EXPECT_TRUE(options == c.expected)
            << "got      " << described(options) << "\nexpected " << described(c.expected);
    }
}

}  // namespace
