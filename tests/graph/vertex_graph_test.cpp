#include "graph/vertex_graph.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

struct BuildCase {
    const char* name;
    std::vector<std::int64_t> edge_offsets;  // empty: absent
    std::vector<int> adjacency;              // empty: absent
    int nvtxs;
    std::vector<int> vertex_weights;      // empty: absent
    std::vector<std::vector<int>> lists;  // expected neighbours, entry 0 included
    std::vector<int> weights;             // expected vertex weights
    int nedges;
    const char* printed;
};

const BuildCase build_cases[] = {
    {"path 1-2-3",
     {0, 1, 3, 4},
     {2, 1, 3, 2},
     3,
     {},
     {{1, 2}, {2, 1, 3}, {3, 2}},
     {1, 1, 1},
     2,
     ""},
    // A self entry is one adjacency entry: the two real edges stay counted.
    {"one self entry",
     {0, 1, 4, 5},
     {2, 1, 2, 3, 2},
     3,
     {},
     {{1, 2}, {2, 1, 3}, {3, 2}},
     {1, 1, 1},
     2,
     "WARNING: Self edge (2,2) being ignored\n"},
    {"three self entries, two of them on one vertex",
     {0, 2, 6, 7},
     {2, 1, 1, 2, 3, 2, 2},
     3,
     {},
     {{1, 2}, {2, 1, 3}, {3, 2}},
     {1, 1, 1},
     2,
     "WARNING: Self edge (1,1) being ignored\n"
     "WARNING: 3 self edges were detected and ignored\n"},
    {"only self entries",
     {0, 1, 2},
     {1, 2},
     2,
     {},
     {{1}, {2}},
     {1, 1},
     0,
     "WARNING: Self edge (1,1) being ignored\n"
     "WARNING: 2 self edges were detected and ignored\n"},
    // The reader does not promise symmetry; an odd total halves toward zero.
    {"odd total", {0, 2, 3, 3}, {2, 3, 1}, 3, {}, {{1, 2, 3}, {2, 1}, {3}}, {1, 1, 1}, 1, ""},
    {"absent offsets", {}, {}, 3, {}, {{1}, {2}, {3}}, {1, 1, 1}, 0, ""},
    {"isolated vertices between others",
     {0, 1, 1, 2, 2},
     {3, 1},
     4,
     {},
     {{1, 3}, {2}, {3, 1}, {4}},
     {1, 1, 1, 1},
     1,
     ""},
    {"vertex weights",
     {0, 1, 3, 4},
     {2, 1, 3, 2},
     3,
     {4, 7, 9},
     {{1, 2}, {2, 1, 3}, {3, 2}},
     {4, 7, 9},
     2,
     ""},
    {"no vertices", {0}, {}, 0, {}, {}, {}, 0, ""},
    {"negative vertex count", {}, {}, -5, {}, {}, {}, 0, ""},
};

template <typename T>
const T* data_or_null(const std::vector<T>& values) {
    return values.empty() ? nullptr : values.data();
}

TEST(VertexGraph, builds_one_record_per_vertex) {
    for (const BuildCase& c : build_cases) {
        SCOPED_TRACE(c.name);
        VertexGraph graph;
        std::int64_t nedges = -1;
        test_support::MemoryMessages messages;
        int result = build_vertex_graph(data_or_null(c.edge_offsets), data_or_null(c.adjacency),
                                        c.nvtxs, nedges, data_or_null(c.vertex_weights), nullptr,
                                        graph, messages.sink());
        EXPECT_EQ(messages.text(), c.printed);
        ASSERT_EQ(result, 0);
        EXPECT_EQ(nedges, c.nedges);
        ASSERT_EQ(graph.slots.size(), c.lists.size() + 1);
        EXPECT_EQ(graph.slots[0], nullptr);
        for (std::size_t v = 1; v < graph.slots.size(); ++v) {
            const VertexRecord& record = *graph.slots[v];
            std::vector<int> list(record.neighbours, record.neighbours + record.list_length);
            EXPECT_EQ(list, c.lists[v - 1]) << "vertex " << v;
            EXPECT_EQ(record.weight, c.weights[v - 1]) << "vertex " << v;
            EXPECT_EQ(record.edge_weights, nullptr) << "vertex " << v;
        }
    }
}

TEST(VertexGraph, lays_lists_back_to_back_in_the_list_block) {
    const std::int64_t edge_offsets[] = {0, 1, 4, 5};
    const int adjacency[] = {2, 1, 2, 3, 2};
    VertexGraph graph;
    std::int64_t nedges = 0;
    test_support::MemoryMessages messages;
    ASSERT_EQ(build_vertex_graph(edge_offsets, adjacency, 3, nedges, nullptr, nullptr, graph,
                                 messages.sink()),
              0);
    // Room for every vertex and every adjacency entry; the dropped self entry leaves one
    // entry free at the end.
    ASSERT_EQ(graph.lists.size(), 8u);
    EXPECT_EQ(std::vector<int>(graph.lists.begin(), graph.lists.begin() + 7),
              (std::vector<int>{1, 2, 2, 1, 3, 3, 2}));
    EXPECT_EQ(graph.slots[1]->neighbours, graph.lists.data());
    EXPECT_EQ(graph.slots[3]->neighbours, graph.lists.data() + 5);
    EXPECT_TRUE(graph.weights.empty());
}

struct WeightCase {
    const char* name;
    std::vector<std::int64_t> edge_offsets;
    std::vector<int> adjacency;
    std::vector<float> edge_weights;
    std::vector<std::vector<float>> weight_lists;  // expected, entry 0 the negated sum
};

const WeightCase weight_cases[] = {
    {"two kept entries",
     {0, 2, 3, 4},
     {2, 3, 1, 1},
     {1.5f, 2.5f, 1.5f, 2.5f},
     {{-4.0f, 1.5f, 2.5f}, {-1.5f, 1.5f}, {-2.5f, 2.5f}}},
    // The self entry's weight is skipped in the list and in the sum.
    {"self entry between kept entries",
     {0, 1, 4, 5},
     {2, 1, 2, 3, 2},
     {0.25f, 0.25f, 100.0f, 0.5f, 0.5f},
     {{-0.25f, 0.25f}, {-0.75f, 0.25f, 0.5f}, {-0.5f, 0.5f}}},
    // Summed in single precision, 1e8 + 4 + 4 would stay 1e8.
    {"sum kept in double precision",
     {0, 3, 4, 5, 6},
     {2, 3, 4, 1, 1, 1},
     {1e8f, 4.0f, 4.0f, 1e8f, 4.0f, 4.0f},
     {{-100000008.0f, 1e8f, 4.0f, 4.0f}, {-1e8f, 1e8f}, {-4.0f, 4.0f}, {-4.0f, 4.0f}}},
    {"vertex without kept entries",
     {0, 1, 1, 2},
     {3, 1},
     {0.1f, 0.1f},
     {{-0.1f, 0.1f}, {-0.0f}, {-0.1f, 0.1f}}},
    {"absent offsets", {}, {}, {7.0f}, {{-0.0f}, {-0.0f}}},
};

TEST(VertexGraph, copies_edge_weights_and_stores_the_negated_sum) {
    for (const WeightCase& c : weight_cases) {
        SCOPED_TRACE(c.name);
        VertexGraph graph;
        std::int64_t nedges = 0;
        const int nvtxs = static_cast<int>(c.weight_lists.size());
        test_support::MemoryMessages messages;
        int result =
            build_vertex_graph(data_or_null(c.edge_offsets), data_or_null(c.adjacency), nvtxs,
                               nedges, nullptr, c.edge_weights.data(), graph, messages.sink());
        ASSERT_EQ(result, 0);
        for (int v = 1; v <= nvtxs; ++v) {
            const VertexRecord& record = *graph.slots[v];
            const std::vector<float>& expected = c.weight_lists[v - 1];
            ASSERT_EQ(record.list_length, static_cast<int>(expected.size())) << "vertex " << v;
            ASSERT_NE(record.edge_weights, nullptr);
            // Bit for bit, so that negative zero and every copied weight are told apart.
            EXPECT_EQ(
                std::memcmp(record.edge_weights, expected.data(), expected.size() * sizeof(float)),
                0)
                << "vertex " << v << " entry 0 " << record.edge_weights[0];
        }
    }
}

}  // namespace
