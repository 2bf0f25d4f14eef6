// Input formats: the formats a graph file may be read in, one table entry each.
//
// An entry holds the format's name as -from takes it, the words the usage text gives it, and
// its reader, which fills the arrays every later stage reads, with the same messages and rules
// for errors and warnings. The driver reads through the entry and never branches on a name.
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "common/block.h"
#include "common/message_sink.h"
#include "input/graph_reader.h"

struct InputFormat {
    const char* name;
    const char* usage;  // the format in -from's usage text, one sentence
    // Reads `file` (closed before return) as read_graph_file does.
    int (*read)(std::FILE* file, const char* file_name, MessageSink& messages,
                Block<std::int64_t>& edge_offsets, Block<int>& adjacency, int& nvtxs,
                Block<int>& vertex_weights, Block<float>& edge_weights,
                const ReaderSettings& settings);
};

// Every format, the default (text) first.
std::span<const InputFormat> input_formats();

// The format named exactly name, or nullptr.
const InputFormat* find_input_format(std::string_view name);

// One field of every format as a sentence lists them: "text or parhip" for the names.
std::string input_format_list(const char* InputFormat::*field);
