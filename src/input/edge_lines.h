// Edge lines: the lines of one line-aligned chunk of an edge list, each an edge "u v" or
// "u v w", scanned on their own.
//
// A line's numbers are separated by blanks or tabs, or by one comma among them; a line that
// starts with a comment mark, or holds nothing, is no edge. The vertex numbers are kept as
// counted from 0 whatever the file counts from, two per edge, and the weights beside them
// once the chunk has met one. Nothing here needs another chunk, so every chunk is scanned
// on its own thread; the scan stops at the chunk's first fault, which the reader names by
// its line once the lines before the chunk are counted.
#pragma once

#include <cstdint>
#include <vector>

#include "input/block_input.h"

// What the lines are read against.
struct EdgeLineFormat {
    int first_number = 0;    // the number of the first vertex: 0 or 1
    int last_number = 0;     // the largest vertex number taken
    int fewest_numbers = 2;  // the numbers a line must hold
    int most_numbers = 3;    // and may hold; the third is the weight
    // The weights are kept, and then must be positive and finite as floats; else each is only
    // read as a number.
    bool keeps_weights = true;
};

enum class EdgeLineFault : std::uint8_t {
    none,
    too_few_numbers,   // value: the numbers the line holds
    too_many_numbers,  // value: the numbers the line holds, counted up to one too many
    not_a_number,
    vertex_below_first,  // value: the number, held at the 32-bit limits
    vertex_above_last,   // value: as above
    bad_weight,          // weight: the weight as read
};

// What one chunk gave.
struct EdgeLineScan {
    std::vector<int> ends;        // two per edge, the vertices counted from 0
    std::vector<float> weights;   // one per edge once a line of the chunk had a weight, else none
    std::int64_t line_count = 0;  // the lines scanned, the faulty one included
    int largest_vertex = -1;      // counted from 0; -1 without an edge
    std::int64_t weighted_lines = 0;
    EdgeLineFault fault = EdgeLineFault::none;
    std::int64_t fault_line = 0;  // counted from 0 within the chunk
    std::int64_t fault_value = 0;
    double fault_weight = 0.0;
};

// Scans the lines of chunk into scan. Throws std::bad_alloc when its memory is not there.
void scan_edge_lines(const EdgeLineFormat& format, const Chunk& chunk, EdgeLineScan& scan);
