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

#include <cstdint>
#include <cstdio>

#include "common/block.h"
#include "common/message_sink.h"

// How a file is read; the defaults are those of a run.
struct ReaderSettings {
    // Threads that scan and check the vertex lines; 0: one per processor.
    int threads = 0;
    // The size of the line-aligned chunks the input is read and checked in; 0: the default
    // of a few MiB. A line longer than a chunk makes its chunk longer. Tests make them tiny.
    std::int64_t chunk_bytes = 0;
    // Whether the vertices that no line reached get their empty lists written into
    // edge_offsets. A check that hands the arrays to nobody leaves their memory untouched.
    bool fills_unreached_lists = true;
};

// Reads the graph file `file` (closed before return) named `file_name` in messages, which
// go to `messages`: each error of the file counts there as one error, each warning (the two
// lines of the trailing-data warning together) as one warning, and a stream that failed
// rather than ended as one more error, the message of report_cannot_read, after all the
// others, which then tell only what the lines read whole prove: a line the failure cut
// short, the lines never read and the count of the whole file prove nothing. Fills edge_offsets
// (nvtxs + 1 entries), adjacency (2 * nedges + 1), vertex_weights (nvtxs) and edge_weights (2 *
// nedges + 1); an array the file does not call for stays empty, which stands for absent. nvtxs
// holds the last value drawn by the header search. Returns 0, or 1 after any error message (the
// arrays then hold what the reading got to).
[[nodiscard]] int read_graph_file(std::FILE* file, const char* file_name, MessageSink& messages,
                                  Block<std::int64_t>& edge_offsets, Block<int>& adjacency,
                                  int& nvtxs, Block<int>& vertex_weights,
                                  Block<float>& edge_weights,
                                  const ReaderSettings& settings = ReaderSettings{});
