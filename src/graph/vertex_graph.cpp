#include "graph/vertex_graph.h"

#include <cstdint>
#include <cstdio>

#include "common/allocation.h"

namespace {

// Sizes every block of the graph once: the slots, the records, the neighbour lists and, when
// edge weights are given, the weight lists. Returns 1 when the memory is not there.
[[nodiscard]] int allocate_blocks(std::int64_t nvtxs, std::int64_t list_entries,
                                  bool has_edge_weights, VertexGraph& graph) {
    return allocates_or_fails([&] {
        graph.slots.resize(static_cast<std::size_t>(nvtxs + 1));
        graph.records.resize(static_cast<std::size_t>(nvtxs));
        graph.lists.resize(static_cast<std::size_t>(list_entries));
        if (has_edge_weights) graph.weights.resize(static_cast<std::size_t>(list_entries));
    });
}

// The self entries a build drops: how many, and the vertex of the first, the only one named.
struct SelfEntries {
    int count = 0;
    int first_vertex = 0;
};

void note_self_entry(int vertex, SelfEntries& self_entries) {
    if (self_entries.count == 0) self_entries.first_vertex = vertex;
    ++self_entries.count;
}

// Copies the adjacency entries at positions first to last - 1 of vertex into neighbours,
// skipping self entries. Returns the number of entries kept.
int copy_neighbours(int vertex, const int* adjacency, std::int64_t first, std::int64_t last,
                    int* neighbours, SelfEntries& self_entries) {
    int* next = neighbours;
    for (std::int64_t i = first; i < last; ++i) {
        if (adjacency[i] == vertex) {
            note_self_entry(vertex, self_entries);
            continue;
        }
        *next++ = adjacency[i];
    }
    return static_cast<int>(next - neighbours);
}

// As copy_neighbours, and copies each kept entry's weight alongside. Entry 0 of weights gets
// the negated sum, so that the list sums to zero; the sum is taken in double precision so
// that a long list does not lose its small weights.
int copy_weighted_neighbours(int vertex, const int* adjacency, const float* edge_weights,
                             std::int64_t first, std::int64_t last, int* neighbours, float* weights,
                             SelfEntries& self_entries) {
    int* next = neighbours;
    float* next_weight = weights + 1;
    double sum = 0.0;
    for (std::int64_t i = first; i < last; ++i) {
        if (adjacency[i] == vertex) {
            note_self_entry(vertex, self_entries);
            continue;
        }
        *next++ = adjacency[i];
        *next_weight++ = edge_weights[i];
        sum += edge_weights[i];
    }
    // A vertex without kept entries gets negative zero here, the negation of an empty sum.
    weights[0] = static_cast<float>(-sum);
    return static_cast<int>(next - neighbours);
}

}  // namespace

int build_vertex_graph(const std::int64_t* edge_offsets, const int* adjacency, int nvtxs,
                       std::int64_t& nedges, const int* vertex_weights, const float* edge_weights,
                       VertexGraph& graph, MessageSink& messages) {
    nedges = 0;
    graph = VertexGraph{};
    // Below one vertex the offsets hold no meaningful total, so they are not read at all.
    const std::int64_t vertex_count = nvtxs > 0 ? nvtxs : 0;
    const std::int64_t total =
        (edge_offsets != nullptr && vertex_count > 0) ? edge_offsets[vertex_count] : 0;
    const bool has_edge_weights = edge_weights != nullptr;
    if (allocate_blocks(vertex_count, vertex_count + total, has_edge_weights, graph) != 0) {
        messages.error("Error. Not enough memory to build the graph.\n");
        return 1;
    }

    int* next_entry = graph.lists.data();
    float* next_weight = has_edge_weights ? graph.weights.data() : nullptr;
    SelfEntries self_entries;
    for (int v = 1; v <= nvtxs; ++v) {
        VertexRecord& record = graph.records[v - 1];
        graph.slots[v] = &record;
        record.weight = vertex_weights != nullptr ? vertex_weights[v - 1] : 1;
        record.neighbours = next_entry;
        record.edge_weights = next_weight;
        next_entry[0] = v;

        // Without offsets no vertex has entries, and adjacency is never touched.
        const std::int64_t first = edge_offsets != nullptr ? edge_offsets[v - 1] : 0;
        const std::int64_t last = edge_offsets != nullptr ? edge_offsets[v] : 0;
        int kept = 0;
        if (has_edge_weights) {
            kept = copy_weighted_neighbours(v, adjacency, edge_weights, first, last, next_entry + 1,
                                            next_weight, self_entries);
            next_weight += kept + 1;
        } else {
            kept = copy_neighbours(v, adjacency, first, last, next_entry + 1, self_entries);
        }
        record.list_length = kept + 1;
        next_entry += kept + 1;
    }
    if (self_entries.count > 0) {
        messages.warning("WARNING: Self edge (%d,%d) being ignored\n", self_entries.first_vertex,
                         self_entries.first_vertex);
    }
    if (self_entries.count > 1) {
        messages.warning("WARNING: %d self edges were detected and ignored\n", self_entries.count);
    }

    // Every kept entry is one end of an edge. A self entry is one adjacency entry, so it
    // comes off the total before halving; taking a whole edge off per self entry would
    // leave the written header short of the edges its lines hold.
    nedges = (total - self_entries.count) / 2;
    return 0;
}
