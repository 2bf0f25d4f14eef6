// Output formats: every format the copies can be written in, each one entry of a table.
//
// An entry names the format as -format takes it, gives its words for the usage text, says
// what it refuses (declared connections, counts past 32 bits, a graph it cannot hold) and
// writes it, whole into a stream or one part of it into the file the parts share. The run
// calls through the entry and never asks which format it holds: a new format is a writer of
// its own and one entry here. Only the checks print; the writers return what became of the
// write, and the run, or the part writer here, turns a failure into its one message.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "common/message_sink.h"
#include "graph/vertex_graph.h"
#include "output/graph_writer.h"
#include "output/part_plan.h"
#include "output/write_result.h"

// What one run writes, whatever the format.
struct OutputJob {
    int times = 0;
    const std::string* input_name = nullptr;  // named in the text output's comment line
    int nvtxs = 0;
    std::int64_t nedges = 0;  // of one copy, as the builder gives it
    int nconnect = 0;
    const VertexGraph* graph = nullptr;
    const ReplicaExtras* extras = nullptr;
};

// Where one part lies in the file the parts share.
struct PartPlace {
    std::int64_t whole_size = 0;  // -1: past what a file offset holds
    std::int64_t start = 0;       // the part's first byte, for a format written in order
    std::int64_t stop = 0;        // the byte after its last
};

struct OutputFormat {
    const char* name;   // as -format takes it
    const char* usage;  // the format in -format's usage text, one sentence
    // The header's counts must fit the 32-bit numbers its readers hold, unless -wide.
    bool counts_fit_32_bits;
    bool holds_declared_connections;  // a header can count edges that no line holds
    // The check of the built graph before anything is written: prints its message and
    // returns 1. Null when the format takes any graph.
    int (*check_graph)(const OutputJob& job, MessageSink& messages);
    // Writes the whole output to stream: at the fields' positions when is_new_file (the
    // empty file of its own that is to replace the target), else in order.
    WriteResult (*write_whole)(std::FILE* stream, bool is_new_file, const OutputJob& job);
    // Fills place for the copies job.extras narrows to; returns 1 when the memory is not there.
    int (*place_part)(const OutputJob& job, PartPlace& place);
    // Writes the part through descriptor, a file already of the whole size.
    WriteResult (*write_part)(const OutputJob& job, int descriptor, const PartPlace& place);
};

// Every format, the default first.
std::span<const OutputFormat> output_formats();

// The format named name, or null when there is none.
const OutputFormat* find_output_format(std::string_view name);

// One field of every format as a sentence lists them: "text or parhip" for the names.
std::string output_format_list(const char* OutputFormat::*field);

// Writes part plan of the output named output_name in format: opens the file the parts share
// at the whole size, writes the part's copies at their positions and closes it. Prints the
// open, write-failure and memory-shortage messages and returns 1.
[[nodiscard]] int write_output_part(const OutputFormat& format, const std::string& output_name,
                                    const PartPlan& plan, const OutputJob& job,
                                    MessageSink& messages);
