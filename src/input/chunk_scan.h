// Chunk scan: the vertex lines of one line-aligned chunk, scanned and checked on their own.
//
// Without vertex numbers the vertex of a line is the count of lines before it, so a chunk
// whose first vertex is known can be checked apart from the others: numbers, ranges, self
// edges, repeats and weights. What needs the rest of the file waits: where the kept entries
// go in adjacency (the entries kept before the chunk), whether a self edge is the file's
// first, the bound of 2 * nedges, and the symmetry of the edges. Each message is kept as a
// note with the count of entries the chunk kept before it, so that it can be put in file
// order among the others later. The scan stops at the chunk's first error that ends a
// reading, and at the first number after the body.
#pragma once

#include <cstdint>
#include <vector>

#include "common/block.h"
#include "input/block_input.h"
#include "input/note_list.h"

// What the lines are checked against: the header.
struct ScanFormat {
    int nvtxs = 0;
    bool has_edge_weights = false;
    bool has_vertex_weights = false;
    // 2 * nedges: a chunk that keeps more entries than that is refused whatever came before
    // it, so it stops there, and its counts of entries stay within 32 bits.
    std::int64_t entry_limit = 0;
    // Every line after the last vertex that holds a number is counted, not only the first.
    bool counts_trailing_lines = false;
};

// What one chunk gave. Vectors keep their room from one chunk to the next.
struct ChunkScan {
    std::int64_t first_vertex = 0;
    std::vector<int> entries;             // the kept neighbours, in file order
    std::vector<float> entry_weights;     // their edge weights, when the file has them
    std::vector<std::int64_t> line_ends;  // the entries kept up to the end of each whole line
    // The weights of the vertices begun, a failing line's among them when its weight was good.
    std::vector<int> vertex_weights;
    NoteList notes;
    // Only the chunk's first self edge has a note; whether it is the file's first is settled
    // when the chunk is placed.
    std::int64_t self_edge_count = 0;
    std::int64_t ignored_count = 0;
    std::int64_t repeated_count = 0;
    std::int64_t bad_weight_count = 0;
    std::int64_t trailing_lines = 0;  // from the line after the last vertex on
    bool has_fatal_error = false;     // the last note is an error that ends the reading
    int fatal_vertex = 0;             // the vertex of its line
    bool reaches_body_end = false;    // the chunk holds the line after the last vertex
    bool has_trailing_data = false;   // and a number from that line on
    // The repeat search of long lines: stamps[u] == v when u is kept on the long line of v.
    // Sized once, at the first long line; vertex numbers start at 1, so 0 stamps nothing.
    Block<int> stamps;
    // A bit per page of stamps that has been written: an untouched page is written before it
    // is first read (see is_kept_on_line).
    Block<std::uint64_t> written_pages;
};

// Scans the lines of chunk, the first of which describes first_vertex, into scan.
void scan_chunk(const ScanFormat& format, const Chunk& chunk, std::int64_t first_vertex,
                ChunkScan& scan);

// Whether a line from text on, up to end, begins with a number (after white space).
bool holds_trailing_number(const char* text, const char* end);

// The lines from text on, up to end, that begin with a number (after white space).
std::int64_t count_trailing_lines(const char* text, const char* end);
