// Graph file reader: reads, checks and stores one graph file.
//
// Draws every number through a token scanner of its own, checks the header and every vertex
// line, prints each error and warning on standard output in the order it meets their causes,
// and hands the graph back as compact arrays: offsets into one array of neighbour numbers,
// with vertex and edge weights where the format code asks for them. An edge that only one
// of its ends lists is an error, found at the higher end's line or, when only the lower end
// lists it, once the last vertex line has been read. A stream that fails is reported as
// such, never taken for the end of the file. It closes the file on every path. It knows
// nothing of the per-vertex records or of the output.
#pragma once

#include <cstdio>

#include "common/block.h"

// What a caller may want to know of a reading besides its result and the arrays.
struct ReadSummary {
    // Warnings printed; the two lines of the trailing-data warning count as one.
    int warning_count = 0;
    // The stream reported an error rather than its end: the file was not read to its end,
    // whatever the messages before say. The reader has printed "Error. Cannot read graph
    // file: NAME" after all its other messages, and its result is 1.
    bool has_read_error = false;
};

// Reads the graph file `file` (closed before return) named `file_name` in messages. Fills
// edge_offsets (nvtxs + 1 entries), adjacency (2 * nedges + 1), vertex_weights (nvtxs) and
// edge_weights (2 * nedges + 1); an array the file does not call for stays empty, which
// stands for absent. nvtxs holds the last value drawn by the header search. Returns 0, or 1
// after any error message (the arrays then hold what the reading got to).
[[nodiscard]] int read_graph_file(std::FILE* file, const char* file_name, Block<int>& edge_offsets,
                                  Block<int>& adjacency, int& nvtxs, Block<int>& vertex_weights,
                                  Block<float>& edge_weights);

// The same, and fills summary with the count of warnings and whether the stream failed.
[[nodiscard]] int read_graph_file(std::FILE* file, const char* file_name, Block<int>& edge_offsets,
                                  Block<int>& adjacency, int& nvtxs, Block<int>& vertex_weights,
                                  Block<float>& edge_weights, ReadSummary& summary);
