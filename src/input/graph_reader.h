// Graph file reader: reads, checks and stores one graph file.
//
// Draws every number through a token scanner of its own, checks the header and every vertex
// line, reports each error and warning to its message sink in the order it meets their causes,
// and hands the graph back as compact arrays: offsets into one array of neighbour numbers,
// with vertex and edge weights where the format code asks for them. An edge that only one
// of its ends lists is an error, found at the higher end's line or, when only the lower end
// lists it, once the last vertex line has been read. A stream that fails is reported as
// such, never taken for the end of the file. It closes the file on every path. It knows
// nothing of the per-vertex records or of the output.
#pragma once

#include <cstdio>

#include "common/block.h"
#include "common/message_sink.h"

// Reads the graph file `file` (closed before return) named `file_name` in messages, which
// go to `messages`: each error of the file counts there as one error, each warning (the two
// lines of the trailing-data warning together) as one warning, and a stream that failed
// rather than ended as one more error, "Error. Cannot read graph file: NAME", after all the
// others. Fills edge_offsets (nvtxs + 1 entries), adjacency (2 * nedges + 1), vertex_weights
// (nvtxs) and edge_weights (2 * nedges + 1); an array the file does not call for stays empty,
// which stands for absent. nvtxs holds the last value drawn by the header search. Returns 0,
// or 1 after any error message (the arrays then hold what the reading got to).
[[nodiscard]] int read_graph_file(std::FILE* file, const char* file_name, MessageSink& messages,
                                  Block<int>& edge_offsets, Block<int>& adjacency, int& nvtxs,
                                  Block<int>& vertex_weights, Block<float>& edge_weights);
