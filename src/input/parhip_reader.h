// Binary graph reader: reads, checks and stores a graph file in the binary layout that the
// binary output writes (see parhip_layout.h), giving the arrays the graph file reader gives.
//
// A regular file is mapped and read in place; anything else (a pipe, a decompressed stream)
// is read whole into memory first. The layout is checked first: header, size and offsets.
// Then the vertices' targets and weights are checked on several threads, each over a range
// of vertices, as the text reader checks vertex lines, with its messages and its rules for
// what is an error and what a warning: a target outside 0..n-1, a vertex weight that is not
// positive or passes 2147483647 end the reading; self edges, repeated targets and edge weights
// that are not positive are dropped with a warning. Then the symmetry check and the summary
// warnings of the text reader follow. Closes the file on every path.
#pragma once

#include <cstdio>

#include "common/block.h"
#include "common/message_sink.h"
#include "input/graph_reader.h"

// Reads the binary graph file `file` (closed before return) named file_name in messages, as
// read_graph_file reads a text one: the same arrays, vertices numbered from 1 in adjacency,
// the same counting of errors and warnings. Returns 0, or 1 after any error message.
[[nodiscard]] int read_parhip_file(std::FILE* file, const char* file_name, MessageSink& messages,
                                   Block<std::int64_t>& edge_offsets, Block<int>& adjacency,
                                   int& nvtxs, Block<int>& vertex_weights,
                                   Block<float>& edge_weights,
                                   const ReaderSettings& settings = ReaderSettings{});
