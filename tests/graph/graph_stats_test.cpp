#include "graph/graph_stats.h"

#include <gtest/gtest.h>

#include <string>

#include "common/block.h"
#include "input/graph_reader.h"
#include "test_support.h"

namespace {

template <typename T>
const T* data_or_null(const Block<T>& block) {
    return block.empty() ? nullptr : block.data();
}

// The summary of a graph file as the reader leaves it, or the reader's messages when it
// refuses the file.
std::string summary_of(const std::string& text) {
    Block<std::int64_t> edge_offsets;
    Block<int> adjacency;
    Block<int> vertex_weights;
    Block<float> edge_weights;
    int nvtxs = 0;
    test_support::MemoryMessages reader_messages;
    if (read_graph_file(test_support::stream_with(text), "g.graph", reader_messages.sink(),
                        edge_offsets, adjacency, nvtxs, vertex_weights, edge_weights) != 0) {
        return reader_messages.text();
    }
    GraphStats stats;
    if (compute_graph_stats(data_or_null(edge_offsets), data_or_null(adjacency), nvtxs,
                            data_or_null(vertex_weights),
                            edge_weights.empty() ? nullptr : edge_weights.data(), stats) != 0) {
        return "no memory";
    }
    test_support::MemoryMessages summary;
    print_graph_stats(stats, summary.sink());
    return summary.text();
}

// A star: vertex 1 joined to each of the others.
std::string star(int leaves) {
    std::string text = std::to_string(leaves + 1) + " " + std::to_string(leaves) + "\n";
    for (int leaf = 2; leaf <= leaves + 1; ++leaf)
        text += std::to_string(leaf) + " ";
    text += "\n";
    for (int leaf = 2; leaf <= leaves + 1; ++leaf)
        text += "1\n";
    return text;
}

struct SummaryCase {
    const char* name;
    std::string graph_file;
    const char* summary;
};

const SummaryCase summary_cases[] = {
    {"path of four vertices", "4 3\n2\n1 3\n2 4\n3\n",
     "Vertices: 4\n"
     "Edges: 3\n"
     "Degree: min 1, mean 1.50, max 2\n"
     "Isolated vertices: 0\n"
     "Components: 1 (largest 4 vertices)\n"
     "Degrees:\n"
     "     1 | ######################################## 2\n"
     "   2-3 | ######################################## 2\n"},
    {"two triangles", "6 6\n2 3\n1 3\n1 2\n5 6\n4 6\n4 5\n",
     "Vertices: 6\n"
     "Edges: 6\n"
     "Degree: min 2, mean 2.00, max 2\n"
     "Isolated vertices: 0\n"
     "Components: 2 (largest 3 vertices)\n"
     "Degrees:\n"
     "   2-3 | ######################################## 6\n"},
    {"isolated vertices, one of them last", "5 1\n\n3\n2\n\n\n",
     "Vertices: 5\n"
     "Edges: 1\n"
     "Degree: min 0, mean 0.40, max 1\n"
     "Isolated vertices: 3\n"
     "Components: 4 (largest 2 vertices)\n"
     "Degrees:\n"
     "   0 | ######################################## 3\n"
     "   1 | ###########################              2\n"},
    {"one vertex and no list at all", "1 0\n",
     "Vertices: 1\n"
     "Edges: 0\n"
     "Degree: min 0, mean 0.00, max 0\n"
     "Isolated vertices: 1\n"
     "Components: 1 (largest 1 vertex)\n"
     "Degrees:\n"
     "   0 | ######################################## 1\n"},
    {"star of a hundred leaves: empty ranges, and a bar of one mark below half a mark", star(100),
     "Vertices: 101\n"
     "Edges: 100\n"
     "Degree: min 1, mean 1.98, max 100\n"
     "Isolated vertices: 0\n"
     "Components: 1 (largest 101 vertices)\n"
     "Degrees:\n"
     "        1 | ######################################## 100\n"
     "      2-3 |                                          0\n"
     "      4-7 |                                          0\n"
     "     8-15 |                                          0\n"
     "    16-31 |                                          0\n"
     "    32-63 |                                          0\n"
     "   64-127 | #                                        1\n"},
    {"a self edge and a repeated neighbour count for nothing", "3 2\n1 2 3 2\n1\n1\n",
     "Vertices: 3\n"
     "Edges: 2\n"
     "Degree: min 1, mean 1.33, max 2\n"
     "Isolated vertices: 0\n"
     "Components: 1 (largest 3 vertices)\n"
     "Degrees:\n"
     "     1 | ######################################## 2\n"
     "   2-3 | ####################                     1\n"},
    {"vertex weights past 32 bits and edge weights",
     "3 2 11\n2000000000 2 1.5\n1 1 1.5 3 0.1\n2000000000 2 0.1\n",
     "Vertices: 3\n"
     "Edges: 2\n"
     "Degree: min 1, mean 1.33, max 2\n"
     "Isolated vertices: 0\n"
     "Components: 1 (largest 3 vertices)\n"
     "Vertex weights: total 4000000001, min 1, max 2000000000\n"
     "Edge weights: total 1.6, min 0.1, max 1.5\n"
     "Degrees:\n"
     "     1 | ######################################## 2\n"
     "   2-3 | ####################                     1\n"},
    {"edge weights that a float holds as 0 and as infinity", "2 1 1\n2 1e-50\n1 1e50\n",
     "Vertices: 2\n"
     "Edges: 1\n"
     "Degree: min 1, mean 1.00, max 1\n"
     "Isolated vertices: 0\n"
     "Components: 1 (largest 2 vertices)\n"
     "Edge weights: total 1e39, min 1e-46, max 1e39\n"
     "Degrees:\n"
     "   1 | ######################################## 2\n"},
};

TEST(GraphStats, summarises_small_graphs_with_known_answers) {
    for (const SummaryCase& c : summary_cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(summary_of(c.graph_file), c.summary);
    }
}

// A reader that keeps self entries must not change the figures: they are neither degree,
// weight nor a way into another component.
TEST(GraphStats, self_entries_left_in_the_arrays_count_for_nothing) {
    const std::int64_t edge_offsets[] = {0, 3, 4, 5};
    const int adjacency[] = {1, 2, 1, 1, 3};
    const float edge_weights[] = {9.0f, 2.0f, 9.0f, 2.0f, 9.0f};
    GraphStats stats;
    ASSERT_EQ(compute_graph_stats(edge_offsets, adjacency, 3, nullptr, edge_weights, stats), 0);
    test_support::MemoryMessages summary;
    print_graph_stats(stats, summary.sink());
    EXPECT_EQ(summary.text(),
              "Vertices: 3\n"
              "Edges: 1\n"
              "Degree: min 0, mean 0.67, max 1\n"
              "Isolated vertices: 1\n"
              "Components: 2 (largest 2 vertices)\n"
              "Edge weights: total 2, min 2, max 2\n"
              "Degrees:\n"
              "   0 | ####################                     1\n"
              "   1 | ######################################## 2\n");
}

}  // namespace
