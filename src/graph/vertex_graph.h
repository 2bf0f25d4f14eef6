// Vertex graph: one record per vertex, each with a neighbour list of its own.
//
// The builder copies the reader's compact arrays into at most four blocks (slot pointers,
// records, neighbour lists, weight lists), dropping self entries with their warnings and
// lowering the edge count to match. The graph refers to nothing of the reader's and is not
// changed once built; the writer only reads it.
#pragma once

#include <cstdint>

#include "common/block.h"
#include "common/message_sink.h"

struct VertexRecord {
    int weight;           // the given vertex weight, or 1
    int list_length;      // entries in neighbours, entry 0 (the vertex itself) included
    int* neighbours;      // entry 0 is the vertex's own number, then its kept neighbours
    float* edge_weights;  // parallel to neighbours, entry 0 the negated sum; null if none
};

// slots has nvtxs + 1 entries indexed by vertex number (slot 0 unused); the other three
// vectors are the blocks the slots and records point into.
struct VertexGraph {
    Block<VertexRecord*> slots;
    Block<VertexRecord> records;
    Block<int> lists;
    Block<float> weights;
};

// Builds graph from edge_offsets (nvtxs + 1 entries, or null for a graph without edges),
// adjacency, and optional vertex_weights / edge_weights (null when absent). Sets nedges to
// edge_offsets[nvtxs] / 2 less one per dropped self entry, and prints the self-edge
// warnings to messages. When a block cannot be obtained it reports "Error. Not enough memory to
// build the graph." and returns 1.
[[nodiscard]] int build_vertex_graph(const std::int64_t* edge_offsets, const int* adjacency,
                                     int nvtxs, std::int64_t& nedges, const int* vertex_weights,
                                     const float* edge_weights, VertexGraph& graph,
                                     MessageSink& messages);
