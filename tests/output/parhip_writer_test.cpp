#include "output/parhip_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "memory_messages.h"
#include "replica_fixture.h"

namespace {

using replica_fixture::BuiltGraph;

// The bytes of 64-bit fields, least significant byte first.
std::string fields(const std::vector<std::uint64_t>& values) {
    std::string bytes;
    for (std::uint64_t value : values) {
        for (int b = 0; b < 8; ++b)
            bytes.push_back(static_cast<char>((value >> (8 * b)) & 0xff));
    }
    return bytes;
}

std::string written(const BuiltGraph& built, int times, const ReplicaExtras& extras) {
    char* bytes = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&bytes, &size);
    ByteTarget target;
    target.stream = out;
    EXPECT_EQ(write_parhip_graph(target, times, built.nvtxs, built.graph, extras),
              WriteResult::written);
    std::fclose(out);
    std::string text(bytes, size);
    std::free(bytes);
    return text;
}

// The path 1 - 2 - 3 with vertex weights 2, 3, 4 and edge weights 5 and 7.
void weighted_path(BuiltGraph& built) {
    replica_fixture::build({{2}, {1, 3}, {2}}, {{5.0f}, {5.0f, 7.0f}, {7.0f}}, {2, 3, 4}, built);
}

TEST(ParhipWriter, writes_the_layout_field_by_field) {
    BuiltGraph path;
    weighted_path(path);
    ReplicaExtras weighted;
    weighted.writes_vertex_weights = weighted.writes_edge_weights = true;
    // Version 0 (both weight arrays), n, m, offsets from 24 + 8 * 4 = 56 on, the targets
    // counted from 0, the vertex weights, the edge weights.
    EXPECT_EQ(written(path, 1, weighted),
              fields({0, 3, 4, 56, 64, 80, 88, 1, 0, 2, 1, 2, 3, 4, 5, 5, 7, 7}));
    ReplicaExtras edge_weights_only;
    edge_weights_only.writes_edge_weights = true;
    EXPECT_EQ(written(path, 1, edge_weights_only),
              fields({2, 3, 4, 56, 64, 80, 88, 1, 0, 2, 1, 5, 5, 7, 7}));

    // Two copies joined by 1:3: vertex 1 lists vertex 3 of copy 1 (target 5) after its
    // neighbour, and vertex 3 of copy 1 lists vertex 1 of copy 0 (target 0). Version 3: no
    // weights at all.
    ReplicaExtras joined;
    joined.join_pairs = {{1, 3}};
    EXPECT_EQ(written(path, 2, joined),
              fields({3, 6, 10, 80, 96, 112, 120, 128, 144, 160, 1, 5, 0, 2, 1, 4, 3, 5, 4, 0}));
    joined.writes_edge_weights = true;
    EXPECT_EQ(written(path, 2, joined).substr(160), fields({5, 1, 5, 7, 7, 5, 5, 7, 7, 1}));
}

// The binary layout a weighted text output stands for: each line's vertex weight, then its
// targets and edge weights in the line's order.
std::string layout_of_text(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);  // the comment
    std::uint64_t n = 0;
    std::uint64_t edges = 0;
    std::getline(lines, line);
    std::istringstream(line) >> n >> edges;
    std::vector<std::uint64_t> offsets;
    std::vector<std::uint64_t> targets;
    std::vector<std::uint64_t> vertex_weights;
    std::vector<std::uint64_t> edge_weights;
    const std::uint64_t first_target = 8 * (3 + n + 1);
    while (std::getline(lines, line)) {
        offsets.push_back(first_target + 8 * targets.size());
        std::istringstream numbers(line);
        std::uint64_t value = 0;
        std::uint64_t weight = 0;
        numbers >> value;
        vertex_weights.push_back(value);
        while (numbers >> value >> weight) {
            targets.push_back(value - 1);
            edge_weights.push_back(weight);
        }
    }
    offsets.push_back(first_target + 8 * targets.size());
    std::vector<std::uint64_t> all{0, n, 2 * edges};
    for (const auto* array : {&offsets, &targets, &vertex_weights, &edge_weights})
        all.insert(all.end(), array->begin(), array->end());
    return fields(all);
}

// From three copies on, a vertex lists its partners in the copies either side, the lower copy
// first, as its text line does: the last copy's next copy is copy 0.
TEST(ParhipWriter, lists_join_partners_in_the_order_of_the_text_output) {
    BuiltGraph graph;
    replica_fixture::build({{2, 4}, {1, 3}, {2, 4}, {1, 3}},
                           {{3.0f, 4.0f}, {3.0f, 5.0f}, {5.0f, 6.0f}, {4.0f, 6.0f}}, {7, 8, 9, 10},
                           graph);
    ReplicaExtras extras;
    extras.join_pairs = {{1, 3}, {3, 1}, {2, 2}, {4, 1}, {1, 4}};
    extras.writes_vertex_weights = extras.writes_edge_weights = true;
    for (int times : {2, 3, 4}) {
        SCOPED_TRACE(times);
        char* bytes = nullptr;
        std::size_t size = 0;
        std::FILE* out = open_memstream(&bytes, &size);
        ASSERT_EQ(write_replicated_graph(out, times, "in", graph.nvtxs, graph.nedges, 0,
                                         graph.graph, extras),
                  WriteResult::written);
        std::fclose(out);
        const std::string text(bytes, size);
        std::free(bytes);
        EXPECT_EQ(written(graph, times, extras), layout_of_text(text)) << text;
    }
}

// The last part of 1500000000 copies of the edge 1 - 2 joined 1:1 in a ring, written at its
// positions into a sparse file with the header: n is 3000000000 and m 6000000000, offsets pass
// 2^32 and targets 2^31. Each copy holds 4 arcs (vertex 1: its neighbour and the partners in
// the copies either side, the lower copy first; vertex 2: its neighbour).
TEST(ParhipWriter, writes_fields_past_32_bits_in_the_last_part_of_a_huge_output) {
    BuiltGraph edge;
    replica_fixture::build({{2}, {1}}, {}, {}, edge);
    ReplicaExtras extras;
    extras.join_pairs = {{1, 1}};
    extras.first_copy = 1499999998;
    extras.threads = 2;
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    ByteTarget target;
    target.descriptor = fileno(file);
    ASSERT_EQ(write_parhip_graph(target, 1500000000, edge.nvtxs, edge.graph, extras),
              WriteResult::written);
    struct Field {
        const char* name;
        std::int64_t position;
        std::uint64_t value;
    };
    const Field expected[] = {
        {"version", 0, 3},
        {"n", 8, 3000000000},
        {"m", 16, 6000000000},
        {"offset of vertex 1 of copy 1499999998", 23999999992, 71999999968},
        {"offset of vertex 2 of copy 1499999998", 24000000000, 71999999992},
        {"offset of vertex 1 of the last copy", 24000000008, 72000000000},
        {"offset of vertex 2 of the last copy", 24000000016, 72000000024},
        {"final offset", 24000000024, 72000000032},
        {"neighbour of vertex 1 of copy 1499999998", 71999999968, 2999999997},
        {"partner in the copy before", 71999999976, 2999999994},
        {"partner in the copy after", 71999999984, 2999999998},
        {"neighbour of vertex 2 of copy 1499999998", 71999999992, 2999999996},
        {"neighbour of vertex 1 of the last copy", 72000000000, 2999999999},
        {"partner in copy 0", 72000000008, 0},
        {"partner in the copy before the last", 72000000016, 2999999996},
        {"neighbour of vertex 2 of the last copy", 72000000024, 2999999998},
    };
    for (const Field& field : expected) {
        SCOPED_TRACE(field.name);
        std::string bytes(8, '\0');
        ASSERT_EQ(pread(fileno(file), bytes.data(), bytes.size(), field.position), 8);
        EXPECT_EQ(bytes, fields({field.value}));
    }
    struct stat status;
    ASSERT_EQ(fstat(fileno(file), &status), 0);
    EXPECT_EQ(status.st_size, 72000000032);
    std::fclose(file);
}

TEST(ParhipWriter, refuses_edge_weights_that_are_not_whole_numbers_up_to_two_to_the_53) {
    struct Case {
        float weight;
        const char* message;  // empty: accepted
    };
    const Case cases[] = {
        {1.0f, ""},
        {9007199254740992.0f, ""},
        {1.5f, "Error. Edge weight 1.5 cannot be written in the parhip format.\n"},
        {0.25f, "Error. Edge weight 0.25 cannot be written in the parhip format.\n"},
        {9007200328482816.0f,
         "Error. Edge weight 9.0072e+15 cannot be written in the parhip format.\n"},
        {0.0f, "Error. Edge weight 1e-46 cannot be written in the parhip format.\n"},
        {std::numeric_limits<float>::infinity(),
         "Error. Edge weight 1e39 cannot be written in the parhip format.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        BuiltGraph built;
        replica_fixture::build({{2}, {1, 3}, {2}}, {{7.0f}, {7.0f, c.weight}, {c.weight}}, {},
                               built);
        memory_messages::MemoryMessages messages;
        EXPECT_EQ(check_parhip_weights(built.graph, built.nvtxs, messages.sink()),
                  c.message[0] == '\0' ? 0 : 1);
        EXPECT_EQ(messages.text(), c.message);
    }
}

}  // namespace
