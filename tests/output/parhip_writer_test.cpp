#include "output/parhip_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
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
