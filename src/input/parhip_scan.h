// Binary scan: the targets and weights of a range of vertices of a binary graph file, checked
// as the text reader checks vertex lines, on their own.
//
// A range knows where its targets start, so it is checked apart from the others: ranges,
// self edges, repeats and weights. The entries it keeps go to the reader's arrays at the
// positions of its own targets, compacted there; the placing in range order moves them down
// to follow the ranges before it. Each message is a note with the entries the range kept
// before it, as a chunk's are.
#pragma once

#include <cstdint>
#include <vector>

#include "common/block.h"
#include "input/note_list.h"
#include "input/parhip_layout.h"

// The arrays the entries go to: adjacency and edge_weights (null without edge weights) at
// their arc positions, vertex_weights (null without them) and edge_offsets at the vertex's.
struct ScanTargets {
    std::int64_t* edge_offsets = nullptr;
    int* adjacency = nullptr;
    int* vertex_weights = nullptr;
    float* edge_weights = nullptr;
};

struct RangeScan {
    std::int64_t first_vertex = 0;  // counted from 0, as in the file
    std::int64_t end_vertex = 0;
    std::int64_t first_arc = 0;  // where the range's targets, and so its kept entries, start
    // The entries kept; edge_offsets[v + 1] holds those kept up to the end of vertex v's list.
    std::int64_t kept = 0;
    NoteList notes;
    // Only the range's first self edge has a note; whether it is the file's first is settled
    // when the range is placed.
    std::int64_t self_edge_count = 0;
    std::int64_t ignored_count = 0;
    // The reading stops at the vertex (from 1) whose weight or target is at fault: the last
    // note is the error, or, for a target outside 0..n-1, bad_target holds it.
    bool has_fatal_error = false;
    int stop_vertex = 0;
    bool has_bad_target = false;
    std::uint64_t bad_target = 0;
    // The repeat search of long lists: stamps[u] == v when u is kept on the list of v. Sized
    // at the first long list.
    Block<int> stamps;
};

// Checks the vertices range.first_vertex up to range.end_vertex into range and targets.
// Throws std::bad_alloc when the stamps cannot be had; a note without memory sets
// range.notes.has_failed.
void scan_parhip_range(const unsigned char* bytes, const ParhipLayout& layout,
                       const ScanTargets& targets, RangeScan& range);
