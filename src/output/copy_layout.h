// Copy layout: what each copy of the replicated graph holds and where it lies in the output,
// found without writing it.
//
// Copy j of the output is a function of the graph and j alone. Its join partners are those of
// the join ring, so every copy holds the same number of list entries. In text, the bytes of a
// copy follow from the digit counts of its numbers: vertex u of copy c is written once per
// list entry naming u, and its digits are those of c * nvtxs + u. The text extent counts, per
// vertex number, how often it is written, and from that gives the byte position of any copy
// in constant time, however many copies come before it. Nothing here writes or prints.
#pragma once

#include <cstdint>
#include <vector>

#include "common/block.h"
#include "graph/vertex_graph.h"
#include "output/graph_writer.h"
#include "output/join_ring.h"

// What places the copies of a text output; filled by measure_text_copies.
struct TextExtent {
    int times = 0;
    int nvtxs = 0;
    std::int64_t front_bytes = 0;  // the comment and header lines
    // The bytes of a copy that its number does not change: the blanks, the newlines and the
    // weights' texts.
    std::int64_t fixed_copy_bytes = 0;
    // entries_up_to[u]: the neighbour entries of one copy naming vertices 1 to u; nvtxs + 1
    // entries.
    Block<std::int64_t> entries_up_to;
    // The ring's pairs: the partners listed in next copies are the `from`s of its previous
    // partners, those listed in previous copies the `from`s of its next partners, both sorted.
    JoinRing ring;
};

// Counts what text_copy_start needs: front_bytes is the length of the comment and header
// lines, and extras says which weights the lines carry. Returns 1 when the memory is not there.
[[nodiscard]] int measure_text_copies(const VertexGraph& graph, int times, int nvtxs,
                                      std::int64_t front_bytes, const ReplicaExtras& extras,
                                      TextExtent& extent);

// The byte position in the text output where copy begins, for copy from 0 to times (times
// gives the whole output's size). -1 when that passes the largest file size a 64-bit offset
// holds.
std::int64_t text_copy_start(const TextExtent& extent, int copy);
