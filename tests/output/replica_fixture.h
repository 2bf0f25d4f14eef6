// A vertex graph built from lists written out in a test, with the arrays it was built from.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "graph/vertex_graph.h"
#include "memory_messages.h"

namespace replica_fixture {

struct BuiltGraph {
    std::vector<std::int64_t> edge_offsets{0};
    std::vector<int> adjacency;
    std::vector<int> vertex_weights;
    std::vector<float> edge_weights;
    VertexGraph graph;
    int nvtxs = 0;
    std::int64_t nedges = 0;
};

// lists[v - 1] holds the neighbours of vertex v, weights (when not empty) their edge weights
// in the same shape; vertex_weights is empty or one per vertex.
inline void build(const std::vector<std::vector<int>>& lists,
                  const std::vector<std::vector<float>>& weights,
                  const std::vector<int>& vertex_weights, BuiltGraph& built) {
    built.nvtxs = static_cast<int>(lists.size());
    built.vertex_weights = vertex_weights;
    for (std::size_t v = 0; v < lists.size(); ++v) {
        built.adjacency.insert(built.adjacency.end(), lists[v].begin(), lists[v].end());
        if (!weights.empty()) {
            built.edge_weights.insert(built.edge_weights.end(), weights[v].begin(),
                                      weights[v].end());
        }
        built.edge_offsets.push_back(static_cast<std::int64_t>(built.adjacency.size()));
    }
    memory_messages::MemoryMessages messages;
    ASSERT_EQ(build_vertex_graph(built.edge_offsets.data(), built.adjacency.data(), built.nvtxs,
                                 built.nedges,
                                 vertex_weights.empty() ? nullptr : built.vertex_weights.data(),
                                 weights.empty() ? nullptr : built.edge_weights.data(), built.graph,
                                 messages.sink()),
              0);
}

}  // namespace replica_fixture
