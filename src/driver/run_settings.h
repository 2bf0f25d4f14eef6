// Run settings: what the run does, settled once from the options before any stage runs.
//
// The options record what the user said; the settings add what that leaves open: the thread
// count from the processors the run may use, the default output name, whether the graph goes
// to standard output and so where the messages go, and whether the input's weights reach the
// copies. The stages are handed the settings and never look at the options.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "common/message_sink.h"
#include "driver/command_line.h"
#include "input/input_formats.h"
#include "output/output_format.h"

// The name that stands for a standard stream: standard input after -in, standard output
// after -out.
inline constexpr const char* standard_stream_name = "-";

// The format of the output file and the share of it this run writes.
struct OutputChoice {
    const OutputFormat* format = nullptr;  // null for a check, which writes nothing
    int part_index = 0;
    int part_count = 0;  // 0: the whole file
};

struct RunSettings {
    std::string input_name;   // "-": standard input
    std::string output_name;  // the file to write, "-" for standard output; empty with -check
    bool graph_to_standard_output = false;
    // Standard output, or standard error when the graph itself goes to standard output.
    std::FILE* message_stream = nullptr;
    int times = 0;
    int nconnect = 0;
    int threads = 1;  // formatting threads, at least 1
    // Reading threads, at least 1: as many as formatting, but no more than the processors,
    // since each holds chunks of the file in memory.
    int reading_threads = 1;
    bool check_only = false;
    bool is_strict = false;
    bool is_wide = false;
    bool repairs = false;      // the faults with one sound repair are mended, not refused
    bool wants_stats = false;  // a summary of the graph once it is read without error
    // A progress line when standard error is a terminal: not with -quiet, nor where anything
    // else could reach that terminal by another way (standard output a pipe, or a terminal
    // that takes the graph).
    bool shows_progress = false;
    bool carries_weights = false;  // the input's weights, whichever it has, reach the copies
    std::vector<std::string> join_items;
    OutputChoice output;  // settled by choose_output, which may refuse the values
    // The input's format, settled by choose_input, which may refuse the name.
    const InputFormat* input_format = nullptr;
};

// Reads -from into settings.input_format. Prints "Error. Invalid input format NAME." and returns
// 1 for a name no input format has.
[[nodiscard]] int choose_input(const RunOptions& options, RunSettings& settings,
                               MessageSink& messages);

// Fills settings from options. Prints nothing and refuses nothing: the counts are taken as
// given, and a run refuses what it cannot do before it looks at its settings.
void resolve_settings(const RunOptions& options, RunSettings& settings);
