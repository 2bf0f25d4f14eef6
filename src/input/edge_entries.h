// Edge entries: the edges of an edge list or a matrix, read in parallel chunks and placed
// at both of their ends.
//
// The lines after a format's own header are cut into line-aligned chunks, each scanned on a
// thread of its own (edge_lines.h) into the edges it holds, which wait there until the
// input has ended: only then are the vertex count and every vertex's entry count known.
// The edges are then placed by a counting pass, every edge at both of its ends in line
// order, so that the lists are those of an adjacency file that lists each line's edge at its
// two ends: a self edge at its one end, an edge given twice as a repeat in both lists, with
// the weight of the earlier line first in both. Making that a graph (repeats and self edges
// dropped) is the repair's work, not the reader's.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "common/block.h"
#include "input/edge_lines.h"

// The chunks of one reading, in file order.
struct EdgeGathering {
    std::vector<std::unique_ptr<EdgeLineScan>> chunks;
    bool has_failed = false;  // some chunk's memory was not there
    // Filled by find_edge_fault: the file's first fault, its chunk and line (counted from 1).
    const EdgeLineScan* fault = nullptr;
    std::int64_t fault_line = 0;
};

// Reads file from its position to its end in chunks of chunk_bytes (0: the default) on up to
// threads threads (0: one per processor) into gathering. The chunks after a fault are left
// unread. Prints nothing.
void gather_edge_lines(std::FILE* file, const EdgeLineFormat& format, int threads,
                       std::int64_t chunk_bytes, EdgeGathering& gathering);

// Finds the first fault in file order, numbering its line after lines_before lines; false when
// there is none.
bool find_edge_fault(EdgeGathering& gathering, std::int64_t lines_before);

// The counts of the gathered edges.
struct EdgeTotals {
    std::int64_t edges = 0;
    std::int64_t entries = 0;  // two per edge, one per self edge
    int largest_vertex = -1;   // counted from 0
    bool has_weights = false;
};
EdgeTotals count_edges(const EdgeGathering& gathering);

// Places the gathered edges of nvtxs vertices (each gathered vertex below it) into
// edge_offsets (nvtxs + 1), adjacency (vertices numbered from 1) and edge_weights (when
// totals.has_weights) on up to threads threads, then releases the chunks. Throws
// std::bad_alloc when the memory is not there.
void place_edges(EdgeGathering& gathering, const EdgeTotals& totals, int nvtxs, int threads,
                 Block<std::int64_t>& edge_offsets, Block<int>& adjacency,
                 Block<float>& edge_weights);
