// Binary graph writer: the replicated graph in the binary adjacency layout ("parhip") that
// distributed partitioners read in parallel, each process seeking to its own slice.
//
// Every field is an unsigned 64-bit little-endian integer: the version, n (the vertices), m
// (the arcs, twice the edges), offsets[0..n] (the byte position in the file of each vertex's
// first target; offsets[n] is where the targets end), the m targets counted from 0, then the
// n vertex weights and the m edge weights when they are written. The version has a bit set
// for each weight array left out: bit 0 for the edge weights, bit 1 for the vertex weights;
// without weights it is 3. Each vertex lists its targets in the order of the text output,
// its join partners after its neighbours, and a join edge weighs 1.
//
// Copy j owns its slice of every array, placed by arithmetic alone, so any range of copies is
// written by itself at its own positions; the copies are sums over the vertex graph's arrays,
// formed into one buffer of bounded size and written in large blocks, so memory does not
// grow with the number of copies. The writer neither opens nor closes its target; only the
// weight check prints.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common/message_sink.h"
#include "graph/vertex_graph.h"
#include "output/graph_writer.h"

// Where the bytes go: a stream, written in order from its start (the whole output only), or
// a descriptor, written at each range's own position (any copies, on several threads).
struct ByteTarget {
    std::FILE* stream = nullptr;
    int descriptor = -1;
};

// The size in bytes of the binary output of times copies, or -1 when that passes what a
// 64-bit file offset holds.
std::int64_t parhip_size(int times, int nvtxs, const VertexGraph& graph,
                         const ReplicaExtras& extras);

// Checks every edge weight of the graph: the layout holds whole numbers from 1 to 2^53 only.
// Prints "Error. Edge weight X cannot be written in the parhip format." for the first one that
// is not, X as the text output writes it, and returns 1.
[[nodiscard]] int check_parhip_weights(const VertexGraph& graph, int nvtxs, MessageSink& messages);

// Writes the copies extras.first_copy up to extras.end_copy, and the header first when
// extras.writes_front, on extras.threads threads for a descriptor target. The caller has
// checked the edge weights and that the size fits. Returns write_failed when a write fails,
// out_of_memory when the writer's own memory is not there.
[[nodiscard]] WriteResult write_parhip_graph(const ByteTarget& target, int times, int nvtxs,
                                             const VertexGraph& graph, const ReplicaExtras& extras);
