// Matrix reader: reads a Matrix Market coordinate file, giving the arrays the graph file
// reader gives.
//
// The graph of a square matrix A is that of A + A^T without its diagonal: an entry (i, j),
// i != j, is the edge {i, j}; a diagonal entry is no edge, and the repair counts it. The
// banner must name a coordinate matrix whose field is pattern, integer or real and whose
// symmetry is general or symmetric; the size line must give a square matrix, and exactly
// as many entries as follow it, each inside the matrix. The values are the edge weights when
// the run carries weights (they must be positive then), else each is only read as a number.
// Anything else is refused with its reason. The entries are read and placed as the lines of
// an edge list (edge_entries.h). Closes the file on every path.
#pragma once

#include <cstdio>

#include "common/block.h"
#include "common/message_sink.h"
#include "input/graph_reader.h"

// Reads as read_graph_file reads.
[[nodiscard]] int read_mtx_file(std::FILE* file, const char* file_name, MessageSink& messages,
                                Block<std::int64_t>& edge_offsets, Block<int>& adjacency,
                                int& nvtxs, Block<int>& vertex_weights, Block<float>& edge_weights,
                                const ReaderSettings& settings);
