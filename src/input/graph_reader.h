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
#include "common/text_numbers.h"

// The largest edge count a header may give without -wide: adjacency then holds at most
// 2^31 - 1 entries, and every position in it is a signed 32-bit value.
constexpr std::int64_t narrow_edge_limit = 1073741823;

// What a reading found besides the arrays, for a repair of the graph and its summary: the
// header's edge count and the entries the reader itself left out, by kind.
struct ReadFindings {
    // A reader that reads for a repair fills the findings; one that does not (a format
    // whose reader knows no repair) leaves this false, and its file is taken as read.
    bool is_filled = false;
    std::int64_t header_nedges = 0;
    std::int64_t self_entries = 0;        // self edges dropped
    std::int64_t repeated_entries = 0;    // repeats of a neighbour already kept for the vertex
    std::int64_t bad_weight_entries = 0;  // entries whose edge weight is not above 0
    // Lines after the last vertex that hold a number: every one in repair mode, else up to
    // the first.
    std::int64_t trailing_lines = 0;
    // The lists hold each line of an edge list (or entry of a matrix) at both of its ends, as
    // read: they are a graph only once repaired, whatever the run asks, and the repair's
    // counts are of lines, not of a header's edges.
    bool holds_edge_lines = false;
    // And they are a matrix's entries: its diagonal holds no edges.
    bool holds_matrix_entries = false;
};

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
    // -wide: the header's edge count is drawn in 64 bits and may reach 2^62. The vertex count
    // keeps its limit: vertex numbers stay 32-bit in adjacency, so an edge costs no more.
    bool is_wide = false;
    // Where the narrow arrays end: the largest edge count taken without is_wide, and half the
    // entries a narrow reading for a repair keeps. 0: narrow_edge_limit. Tests lower it to try
    // the switch and the refusals on small files.
    std::int64_t narrow_edge_limit = 0;
    // The most entries the symmetry check gathers at once, in rounds over the vertices; 0: a
    // budget of 1 GiB. Tests make the rounds small.
    std::int64_t round_entries = 0;
    // Repair mode: the faults a repair of the graph mends do not fail the reading. Edges
    // listed at one end only are reported and read on; entries past 2 * nedges are reported
    // once and all read (the arrays grow beyond the header's counts); a header without edges
    // still has its vertex lines read; and every line after the last vertex is counted. The
    // messages are those of a reading without it, up to where that one stops.
    bool repairs = false;
    // A matrix's values are its edge weights, and must be positive; else each is only read as
    // a number. The other formats read the weights they have whatever this says.
    bool takes_values_as_weights = false;
    // Filled at the end of a reading that got past the header, when given.
    ReadFindings* findings = nullptr;
};

// The edge count past which a header is refused without -wide.
inline std::int64_t narrow_limit_of(const ReaderSettings& settings) {
    return settings.narrow_edge_limit > 0 ? settings.narrow_edge_limit : narrow_edge_limit;
}

// The largest edge count a header may give: 2^62 with -wide, so that 2 * nedges + 1 entries
// and the one past them stay unsigned 64-bit values.
inline std::int64_t largest_edge_count(const ReaderSettings& settings) {
    return settings.is_wide ? wide_magnitude_limit - 1 : narrow_limit_of(settings);
}

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
