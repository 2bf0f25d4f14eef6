// Edge list reader: reads a file of one edge per line, "u v" or "u v w", its vertices counted
// from 0 or from 1, giving the arrays the graph file reader gives.
//
// Lines that start with a comment mark and empty lines hold no edge. The vertex count is the
// largest vertex number plus one (counted from 0) or the largest (from 1); a vertex that no
// line names has no neighbours. Each line's edge is placed at both of its ends (edge_entries.h)
// and the findings say so: the caller makes the lists a graph through the repair, which drops
// self edges and repeats, an edge given in both directions among them, and keeps the weight
// of an edge's first line. A weight must be positive; a line without one weighs 1 in a file
// whose other lines have them. A line with one number, more than three, a number out of
// range or text that is not a number ends the reading with an error naming the line. Closes
// the file on every path.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common/block.h"
#include "common/message_sink.h"
#include "input/edge_entries.h"
#include "input/graph_reader.h"

// Read as read_graph_file reads, the vertices of the lines counted from 0, resp. from 1.
[[nodiscard]] int read_edge_list_file(std::FILE* file, const char* file_name, MessageSink& messages,
                                      Block<std::int64_t>& edge_offsets, Block<int>& adjacency,
                                      int& nvtxs, Block<int>& vertex_weights,
                                      Block<float>& edge_weights, const ReaderSettings& settings);
[[nodiscard]] int read_edge_list1_file(std::FILE* file, const char* file_name,
                                       MessageSink& messages, Block<std::int64_t>& edge_offsets,
                                       Block<int>& adjacency, int& nvtxs,
                                       Block<int>& vertex_weights, Block<float>& edge_weights,
                                       const ReaderSettings& settings);

// Prints the error of the first fault that gathering found, as the edge and matrix readers
// word it.
void report_edge_fault(const char* file_name, const EdgeLineFormat& format,
                       const EdgeGathering& gathering, MessageSink& messages);

// Places the gathered edges of nvtxs vertices into the arrays and fills settings.findings,
// when given, for the repair. Prints the error and returns 1 when the lists cannot hold them
// or their memory is not there.
[[nodiscard]] int place_gathered_edges(const char* file_name, EdgeGathering& gathering,
                                       const EdgeTotals& totals, int nvtxs,
                                       const ReaderSettings& settings,
                                       Block<std::int64_t>& edge_offsets, Block<int>& adjacency,
                                       Block<float>& edge_weights, MessageSink& messages);
