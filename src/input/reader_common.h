// Reader common: what the serial and the parallel reader of a graph file share. The header
// line and the fields its format code switches on, the arrays sized from it once, the end of
// the lists that the body never reached, the summary warnings after the body, and the close
// of the file with its read error. Both readers print through the run's message sink, so the
// same file gives the same messages whichever reads it.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common/block.h"
#include "common/message_sink.h"
#include "input/graph_reader.h"
#include "input/reader_messages.h"
#include "input/token_scanner.h"

// The arrays a reader fills, as its caller hands them in.
struct GraphArrays {
    Block<std::int64_t>& edge_offsets;
    Block<int>& adjacency;
    int& nvtxs;
    Block<int>& vertex_weights;
    Block<float>& edge_weights;
};

// The header line: the counts and the fields the format code switches on.
struct GraphHeader {
    int nvtxs = 0;
    std::int64_t nedges = 0;
    bool has_edge_weights = false;
    bool has_vertex_weights = false;
    bool has_vertex_numbers = false;
    // The header's line number, counting the lines without numbers before it.
    std::int64_t line_number = 0;
    // What the header's last draw left: the end of its line, or the end of the input.
    ScanStatus status = scan_number;
    // Not of the header line: the reading is for a repair (ReaderSettings::repairs).
    bool repairs = false;
    // The most entries a reading for a repair keeps, whatever the header says: twice the
    // narrow edge limit, so that a narrow repair's positions stay signed 32-bit values; with
    // -wide, the wide edge limit.
    std::int64_t max_kept = 0;
};

// The most entries a narrow reading keeps, whatever the header says: kept_count, one past it,
// and the entries of edge_offsets stay signed 32-bit values.
constexpr std::int64_t max_kept_entries = 2147483646;

// What the body left for the summary: the counts of the checks and the last vertex begun.
struct BodyCounts {
    std::int64_t self_edge_count = 0;
    std::int64_t ignored_count = 0;
    std::int64_t kept_count = 0;
    int current_vertex = 0;
    // The stream failed: the lines from current_vertex on were not read whole, and no count
    // of the whole file is known.
    bool is_cut_short = false;
    // Of the ignored entries, the repeats; and the bad-weight warnings, repeats included.
    std::int64_t repeated_count = 0;
    std::int64_t bad_weight_count = 0;
    std::int64_t trailing_lines = 0;
};

// Empties every array: an array a file does not call for stays empty, which stands for absent.
void release_graph_arrays(GraphArrays& arrays);

// What the texts of the file's messages name besides their own numbers.
MessageContext message_context(const GraphHeader& header, const char* file_name);

// The edge counts a header may give: up to max_nedges, drawn in 64 bits when is_wide (else
// as a 32-bit number, clamped as every number of the file is).
struct EdgeCountLimit {
    std::int64_t max_nedges = 0;
    bool is_wide = false;
};

// Draws lines through scanner until one begins with a number and takes the header from it;
// arrays.nvtxs holds the vertex count as drawn, and header.max_kept follows from limit. Prints the
// error and returns 1 when a count is out of range. The scanner is left at the start of the line
// after the header.
[[nodiscard]] int read_graph_header(TokenScanner& scanner, std::FILE* file, const char* file_name,
                                    MessageSink& messages, const EdgeCountLimit& limit,
                                    GraphHeader& header, GraphArrays& arrays);

// Without edges, vertex weights or vertex numbers there is nothing a vertex line could add,
// and no vertex line is read; unless the reading is for a repair, which reads the vertex lines
// of a header that counts too few edges, 0 included.
bool file_has_body(const GraphHeader& header);

// Grows adjacency, and edge_weights when the file has them, to hold entry_count entries, the
// way both readers do it, so that they leave arrays of the same size. Throws std::bad_alloc
// when the memory is not there.
void grow_entry_arrays(GraphArrays& arrays, const GraphHeader& header, std::int64_t entry_count);

// Hands counts to findings, when given.
void note_findings(const GraphHeader& header, const BodyCounts& counts, ReadFindings* findings);

// Sizes the arrays once from the header (an array the file does not call for stays empty),
// with edge_offsets[0] = 0. Prints the memory error and returns 1 when they cannot be had.
[[nodiscard]] int allocate_graph_arrays(const GraphHeader& header, const char* file_name,
                                        MessageSink& messages, GraphArrays& arrays);

// Prints the memory error of the header's counts.
void report_no_memory(const GraphHeader& header, const char* file_name, MessageSink& messages);

// Gives the vertices after the last one begun no neighbours: entry nvtxs of edge_offsets
// always, and the entries between only when fills_unreached_lists (a check that hands the
// arrays to nobody leaves the memory of vertices no line reached untouched). Nothing is
// written when no vertex line was begun: the arrays are then released.
void end_unreached_lists(GraphArrays& arrays, const BodyCounts& counts, bool fills_unreached_lists);

// After the body and the trailing-data check: the self-edge summary and the count check (not
// when the stream failed: the count was never read whole), or,
// when no vertex line was begun, the arrays released as absent (the vertex weights stay).
void finish_graph(const GraphHeader& header, const BodyCounts& counts, const char* file_name,
                  MessageSink& messages, GraphArrays& arrays);

// Closes the file and reports a stream that failed rather than ended, after every other
// message; gives result, or 1 after such a failure.
[[nodiscard]] int close_graph_file(std::FILE* file, const char* file_name, MessageSink& messages,
                                   int result);
