// Graph repair: turns lists of directed entries into the lists of an undirected graph.
//
// The entries may be listed at one end only, repeated, self edges, or give one edge different
// weights at its entries. The repair lists every edge once at each of its ends, drops self
// entries and repeats, and gives each edge the weight of its first entry in file order, at
// both ends. It reads only the arrays it is handed and allocates only its own blocks (no
// block per vertex), in time linear in the vertices and entries, on several threads: the
// entries towards lower vertices are gathered by counting, by ranges of the lower vertex, and
// each range is merged with its lists in cache, never looked up one by one; only the entries
// that differ from their other end are kept aside, then every list is copied with them. It
// prints nothing: the caller words the counts. Vertex weights are not its concern: they pass
// through unchanged.
#pragma once

#include <cstdint>

#include "common/block.h"

// The most entries, read or repaired, taken without -wide: positions and counts of entries
// are then signed 32-bit values, as in the narrow arrays of the readers.
constexpr std::int64_t narrow_repair_entries = 2147483646;
// With -wide: two entries for each of 2^62 - 1 edges, so that any sum of them stays a signed
// 64-bit value.
constexpr std::int64_t wide_repair_entries = 2 * ((std::int64_t{1} << 62) - 1);

// The entries to repair, in the compact form of the readers. Vertex v's entries lie at the
// positions edge_offsets[v - 1] up to edge_offsets[v], and every neighbour number lies in
// 1..nvtxs (the caller has checked them). Within one vertex's list, positions run in file
// order.
struct RepairInput {
    int nvtxs = 0;
    // nvtxs + 1 entries; null for a graph without entries
    const std::int64_t* edge_offsets = nullptr;
    const int* adjacency = nullptr;
    const float* edge_weights = nullptr;  // one per entry; null without edge weights
    // The place of each entry among all entries in file order (any increasing numbering);
    // null when the position order is the file order, as in an adjacency file. Its numbers
    // tell at most narrow_repair_entries entries apart: with more entries it is refused.
    const int* entry_order = nullptr;
    // Every entry's edge is listed at both ends, with the same weight at the first entry of
    // each (as a reader that places each line at both ends gives them): only self entries
    // and repeats are left to drop, and the ends are not compared.
    bool is_symmetric = false;
    int threads = 1;  // at least 1
    // Where the narrow positions end: lists of up to this many entries, read and repaired,
    // are repaired on 32-bit positions; longer ones are refused unless is_wide.
    // 0: narrow_repair_entries. Tests lower it to try the wide positions on small lists.
    std::int64_t narrow_entries = 0;
    // -wide: lists past the narrow positions are repaired on 64-bit ones, up to
    // wide_repair_entries. A list that fits the narrow ones pays nothing for it.
    bool is_wide = false;
};

// The repaired lists: vertex v's neighbours at edge_offsets[v - 1] up to edge_offsets[v], its
// own entries first in their order, then those added for the edges only the other end
// listed, in the order of their positions. edge_weights is empty without input weights.
struct RepairedLists {
    Block<std::int64_t> edge_offsets;
    Block<int> adjacency;
    Block<float> edge_weights;
};

// What the repair changed, one count per kind.
struct RepairCounts {
    std::int64_t one_sided_edges = 0;     // edges listed at one end only: entry added
    std::int64_t self_entries = 0;        // self entries dropped
    std::int64_t repeated_entries = 0;    // entries repeating an earlier one of the same list
    std::int64_t weight_differences = 0;  // edges listed at both ends with different weights
    std::int64_t edge_count = 0;          // the edges of the repaired lists
};

enum class RepairResult {
    repaired,
    out_of_memory,
    // the lists, read or repaired, would hold more entries than the limit allows: the
    // narrow one, or wide_repair_entries with is_wide
    too_large,
};

// Repairs input into lists and counts. After a result other than repaired, lists and counts
// hold nothing the caller may use.
[[nodiscard]] RepairResult repair_graph(const RepairInput& input, RepairedLists& lists,
                                        RepairCounts& counts);
