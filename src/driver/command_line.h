// Command line: turns the argument vector into the run's settings.
//
// Each option is recognised by its leading characters and takes the next argument as its
// value, whatever that holds. Arguments that match nothing are passed over. The scan prints
// nothing: what it could not use (an option with no value after it) is left in the record
// for the run sequence to report.
#pragma once

#include <string>
#include <vector>

struct RunOptions {
    std::string input_name;
    std::string output_name;  // empty: the default "%d_%s" of times and input_name
    int times = 0;
    int nconnect = 0;
    std::vector<int> connect_list;     // at most nconnect numbers; read by no later stage
    std::string option_without_value;  // the last argument, as written, when it is an option
    bool wants_help = false;
    bool wants_version = false;
    std::vector<std::string> join_items;  // every -join item as written, checked once read
    bool wants_weights = false;
    int threads = 0;  // formatting threads; 0: one per processor the run may use
};

// Fills options from argv[1] to argv[argc - 1]. Prints nothing.
void parse_command_line(int argc, const char* const* argv, RunOptions& options);

// The leading integer of text: white space, one optional sign, decimal digits; 0 when there
// are none, saturated at the 32-bit limits.
int leading_integer(const char* text);
