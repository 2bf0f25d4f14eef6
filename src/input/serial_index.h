// Serial index: the neighbour searches of the serial reader, in time linear in the lists
// however long they grow.
//
// It answers whether the vertex being read already keeps a neighbour (entry by entry in a
// short list, through stamps once the list grows long), and where a complete list holds a
// vertex (entry by entry in a short list, through a sorted copy of positions in a long one,
// which each later search walks forward from where the last one ended). It reads the
// reader's arrays and owns only its own blocks, sized once from the header.
#pragma once

#include <cstdint>

#include "common/block.h"
#include "input/repeat_search.h"

// A list longer than short_list_length is searched through stamps while it grows, and once
// it is complete through a sorted copy that each later search walks forward from where the
// last one ended, so no entry costs more than log(degree) and a whole list costs time linear
// in its length.

struct NeighbourIndex {
    const Block<std::int64_t>& edge_offsets;
    const Block<int>& adjacency;
    // Where the list of the current vertex starts in adjacency.
    std::int64_t list_start = 0;
    // The current vertex's list has grown long, and kept_for holds every entry of it.
    bool list_is_stamped = false;
    // kept_for[u] == v: u is already kept for vertex v, whose list is long.
    Block<int> kept_for{};
    // The places of the complete long lists' entries (counted from each list's start), each
    // list sorted by the neighbour there and kept at the same positions as the list in
    // adjacency. A graph without long lists never
    // touches the block, so it costs address space but no memory.
    Block<int> sorted_lists{};
    // search_cursors[u]: where in u's sorted long list the last search for a vertex ended.
    Block<int> search_cursors{};
};

// Sizes the index's blocks for nvtxs vertices and 2 * nedges entries; throws std::bad_alloc
// when the memory is not there.
void size_index(NeighbourIndex& index, int nvtxs, std::int64_t nedges);

// A new vertex's list starts at list_start; the list before it is complete now.
void begin_list(NeighbourIndex& index, int vertex, std::int64_t list_start);

// Copies and sorts the complete list of vertex when it is long.
void sort_long_list(NeighbourIndex& index, int vertex);

// Whether neighbour is already kept for the current vertex, whose list ends before
// kept_count.
bool is_kept_already(const NeighbourIndex& index, std::int64_t kept_count, int vertex,
                     int neighbour);

// Notes the entry just kept (kept_count counts it) for the repeat searches.
void note_kept(NeighbourIndex& index, std::int64_t kept_count, int vertex, int neighbour);

// The position of vertex in the complete list of owner, or -1. Between two restarts, the
// vertices that look into one long list must come in increasing order.
std::int64_t list_position(NeighbourIndex& index, int owner, int vertex);

// Lets the long lists of vertices 1 to last_vertex be searched again from their start.
void restart_searches(NeighbourIndex& index, int last_vertex);
