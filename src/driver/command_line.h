// Command line: turns the argument vector into what the user asked for.
//
// Each option is recognised by its leading characters; the switches (the options of the
// option table without a value: -check, -strict, -wide, -weights) stand alone, and every other
// option takes the next argument as its value, whatever that holds. Arguments that match
// nothing are passed over. The scan prints nothing: what it could not use (an option with no
// value after it) is left in the record for the run to report. What the options leave open
// (thread count, output name, where messages go) is settled later, into the run's settings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RunOptions {
    std::string input_name{};
    std::string output_name{};  // empty: the default "%d_%s" of times and input_name
    int times = 0;
    // The -times value as written when its digits pass 2147483647: such a count is refused.
    std::string refused_times_value{};
    int nconnect = 0;
    // At most nconnect numbers. No stage reads them: which vertices of which copies a declared
    // connection joins is not settled, so the header only counts 2 * nconnect edges; the list
    // is still read as given, so that a command line that names one keeps working.
    std::vector<int> connect_list{};
    bool check_only = false;             // -check: read and check, write nothing
    bool is_strict = false;              // -strict: a warning fails the run
    bool is_wide = false;                // -wide: counts and vertex numbers past 32 bits
    bool repairs = false;                // -repair: mend the faults that have one sound repair
    std::string option_without_value{};  // the last argument, as written, when it is an option
    bool wants_help = false;
    bool wants_version = false;
    std::vector<std::string> join_items{};  // every -join item as written, checked once read
    bool wants_weights = false;
    bool wants_stats = false;  // -stats: a summary of the graph once it is read without error
    bool is_quiet = false;     // -quiet: no progress line on the terminal
    int threads = 0;           // formatting threads; 0: one per processor the run may use
    std::string format_name = "text";  // -format as written, checked by the run
    std::string from_name = "text";    // -from as written, checked by the run
    bool has_part = false;             // -part given: the run writes one part of the file
    std::string part_value{};          // -part as written, checked by the run

    friend bool operator==(const RunOptions&, const RunOptions&) = default;
};

// Fills options from argv[1] to argv[argc - 1]. Prints nothing.
void parse_command_line(int argc, const char* const* argv, RunOptions& options);

// The leading integer of text: white space, one optional sign, decimal digits; 0 when there
// are none, saturated at the 32-bit limits.
int leading_integer(const char* text);

// The same, and in magnitude the value of its digits held at magnitude_limit (so that
// magnitude == magnitude_limit tells digits past 2147483647); 0 without a digit.
int leading_integer(const char* text, std::int64_t& magnitude);
