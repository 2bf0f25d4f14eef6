// Graph summary: the figures a user asks of a graph file once it is known to be valid.
//
// Computed from the reader's arrays (so a check that builds no vertex graph has them too) in
// one breadth-first pass that visits every vertex and reads every list once: counts, degrees,
// isolated vertices, connected components, weight totals and a histogram of the degrees by
// powers of two. Self entries, where the arrays still hold any, count for nothing. The pass
// owns two blocks of nvtxs entries, taken once and released on every path; the summary prints
// only through the message sink it is handed.
#pragma once

#include <cstdint>

#include "common/message_sink.h"

// Degree ranges: 0, 1, 2-3, 4-7, ..., up to 2^30 to 2^31 - 1; range k >= 1 starts at 2^(k-1).
constexpr int degree_range_count = 33;

struct GraphStats {
    std::int64_t vertex_count = 0;
    std::int64_t edge_count = 0;  // entries other than self entries, halved
    std::int64_t min_degree = 0;
    std::int64_t max_degree = 0;
    std::int64_t isolated_count = 0;
    std::int64_t component_count = 0;
    std::int64_t largest_component = 0;  // vertices in the largest component
    bool has_vertex_weights = false;
    std::int64_t vertex_weight_total = 0;
    int vertex_weight_min = 0;
    int vertex_weight_max = 0;
    // At least one entry with its edge weight: the weight figures mean something.
    bool has_edge_weights = false;
    double edge_weight_sum = 0.0;  // over all entries, each edge counted at both ends
    float edge_weight_min = 0.0f;
    float edge_weight_max = 0.0f;
    std::int64_t degree_counts[degree_range_count] = {};
};

// The range of the degree histogram that holds degree.
int degree_range(std::int64_t degree);

// Fills stats from the reader's arrays: edge_offsets (nvtxs + 1 entries, or null for a graph
// without any list), adjacency, and vertex_weights and edge_weights where the file has them
// (null otherwise). Returns 1, printing nothing, when the memory for the pass is not there.
[[nodiscard]] int compute_graph_stats(const std::int64_t* edge_offsets, const int* adjacency,
                                      int nvtxs, const int* vertex_weights,
                                      const float* edge_weights, GraphStats& stats);

// Prints the summary, one figure per line, through sink.
void print_graph_stats(const GraphStats& stats, MessageSink& sink);
