#include "input/parhip_reader.h"

#include <cstdint>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using test_support::MemoryMessages;
using test_support::stream_with;

using Lists = std::vector<std::vector<std::uint64_t>>;
using Weights = std::vector<std::vector<std::int64_t>>;

void put_field(std::string& bytes, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i)
        bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

void set_field(std::string& bytes, std::size_t position, std::uint64_t value, int width = 8) {
    std::string field;
    put_field(field, value, width);
    bytes.replace(position, static_cast<std::size_t>(width), field);
}

// The binary layout of lists (targets from 0), with the fields the version's bits ask for.
std::string binary(std::uint64_t version, const Lists& lists,
                   const std::vector<std::int64_t>& vertex_weights = {},
                   const Weights& edge_weights = {}) {
    const int offset_width = (version & 4) != 0 ? 4 : 8;
    const int target_width = (version & 8) != 0 ? 4 : 8;
    std::uint64_t arcs = 0;
    for (const auto& list : lists)
        arcs += list.size();
    std::string bytes;
    put_field(bytes, version, 8);
    put_field(bytes, lists.size(), 8);
    put_field(bytes, arcs, 8);
    std::uint64_t position = 24 + (lists.size() + 1) * offset_width;
    put_field(bytes, position, offset_width);
    for (const auto& list : lists) {
        position += list.size() * target_width;
        put_field(bytes, position, offset_width);
    }
    for (const auto& list : lists)
        for (std::uint64_t target : list)
            put_field(bytes, target, target_width);
    if ((version & 2) == 0) {
        for (std::int64_t weight : vertex_weights)
            put_field(bytes, static_cast<std::uint64_t>(weight), (version & 16) != 0 ? 4 : 8);
    }
    if ((version & 1) == 0) {
        for (const auto& list : edge_weights)
            for (std::int64_t weight : list)
                put_field(bytes, static_cast<std::uint64_t>(weight), (version & 32) != 0 ? 4 : 8);
    }
    return bytes;
}

// The square of the examples: 1-2, 1-3, 2-3, 2-4, here counted from 0.
const Lists square = {{1, 2}, {0, 2, 3}, {0, 1}, {1}};

std::string with_field(std::string bytes, std::size_t position, std::uint64_t value) {
    set_field(bytes, position, value);
    return bytes;
}

struct Read {
    int result = -1;
    std::string messages;
    std::vector<int> edge_offsets;
    std::vector<int> adjacency;
    std::vector<int> vertex_weights;
    std::vector<float> edge_weights;
};

Read read(const std::string& bytes, int threads, std::int64_t chunk_bytes) {
    Read out;
    MemoryMessages messages;
    Block<std::int64_t> offsets;
    Block<int> adjacency, vertex_weights;
    Block<float> edge_weights;
    int nvtxs = 0;
    ReaderSettings settings;
    settings.threads = threads;
    settings.chunk_bytes = chunk_bytes;
    out.result = read_parhip_file(stream_with(bytes), "g.bin", messages.sink(), offsets, adjacency,
                                  nvtxs, vertex_weights, edge_weights, settings);
    out.messages = messages.text();
    out.edge_offsets.assign(offsets.begin(), offsets.end());
    out.adjacency.assign(adjacency.begin(), adjacency.end());
    out.vertex_weights.assign(vertex_weights.begin(), vertex_weights.end());
    out.edge_weights.assign(edge_weights.begin(), edge_weights.end());
    return out;
}

const std::string error = "ERROR in graph file `g.bin':";

struct LayoutCase {
    const char* name;
    std::string bytes;
    int result;
    std::string messages;
};

// In the square's file (version 3, 64-bit fields): offsets at 24, targets from 64 to 128.
const LayoutCase layout_cases[] = {
    {"the square", binary(3, square), 0, ""},
    {"shorter than a header", "abc", 1,
     error + " the file holds 3 bytes, fewer than the 24 of a header.\n"},
    {"an unknown version bit", binary(67, square), 1,
     error + " version 67 sets bits that name no field (only bits 0 to 5 may).\n"},
    {"no vertices", binary(3, {}), 1, error + " n is 0 vertices; it must be 1 to 2147483646.\n"},
    {"too many arcs", with_field(binary(3, square), 16, std::uint64_t{1} << 31), 1,
     error + " m is 2147483648 arcs; it may be at most 2147483646.\n"},
    {"a byte too many", binary(3, square) + "x", 1,
     error + " the file holds 129 bytes, but its header calls for 128.\n"},
    {"a byte too few", binary(3, square).substr(0, 127), 1,
     error + " the file holds 127 bytes, but its header calls for 128.\n"},
    {"the first offset off the targets' start", with_field(binary(3, square), 24, 72), 1,
     error + " the offset of vertex 1 is 72, but the targets start at byte 64.\n"},
    {"a decreasing offset", with_field(binary(3, square), 40, 72), 1,
     error + " the offset of vertex 3 (72) is below the offset of vertex 2 (80).\n"},
    {"an offset between targets", with_field(binary(3, square), 40, 105), 1,
     error + " the offset of vertex 3 (105) is not on a target: the targets start at byte 64, 8 "
             "bytes each.\n"},
    {"an offset past the targets", with_field(binary(3, square), 48, 136), 1,
     error + " the offset of vertex 4 (136) passes the end of the targets (128).\n"},
    {"offsets ending before the targets", with_field(binary(3, square), 56, 120), 1,
     error + " the offsets end at byte 120, but the targets end at byte 128.\n"},
    {"a target outside 0..n-1", binary(3, {{1, 2}, {0, 2, 9}, {0, 1}, {1}}), 1,
     error + " a target of vertex 2 is 9, outside 0..3.\n"},
    {"a self edge and a repeat", binary(3, {{1, 2, 0}, {0, 2, 3, 3}, {0, 1}, {1}}), 0,
     "WARNING: Self edge (1, 1) being ignored.\n"
     "WARNING: Multiple occurences of edge (2,4) ignored\n"},
    {"two self edges, apart", binary(3, {{1, 2, 0}, {0, 2, 3}, {0, 1}, {1, 3}}), 0,
     "WARNING: Self edge (1, 1) being ignored.\n"
     "WARNING: 2 self edges were read and ignored.\n"},
    {"an edge at one end only", binary(3, {{1, 2}, {0, 2, 3}, {0, 1}, {}}), 1,
     error + " Edge (2, 4) entered but not (4, 2)\n" +
         "WARNING: I expected 3 edges entered twice, but I only count 7.\n"},
    {"unequal edge weights", binary(2, square, {}, {{5, 1}, {5, 1, 1}, {2, 1}, {1}}), 0,
     "WARNING: Edge (3,1) weighs 2, but (1,3) weighs 1.\n"},
    {"an edge weight of 0", binary(2, square, {}, {{1, 1}, {1, 1, 1}, {1, 1}, {0}}), 1,
     "WARNING: Bad weight entered for edge (4,2).  Edge ignored.\n" + error +
         " Edge (2, 4) entered but not (4, 2)\n"},
    {"a vertex weight of 0", binary(1, square, {1, 0, 1, 1}), 1,
     error + " zero or negative weight entered for vertex 2.\n"},
    {"a vertex weight past 32 bits", binary(1, square, {std::int64_t{1} << 31, 1, 1, 1}), 1,
     error + " too large weight entered for vertex 1.\n"},
    {"a negative 32-bit vertex weight", binary(17, square, {1, 1, 1, -1}), 1,
     error + " zero or negative weight entered for vertex 4.\n"},
};

TEST(ParhipReader, checks_the_layout_and_then_the_graph_as_the_text_reader) {
    for (const LayoutCase& c : layout_cases) {
        SCOPED_TRACE(c.name);
        const Read one = read(c.bytes, 1, 0);
        EXPECT_EQ(one.result, c.result);
        EXPECT_EQ(one.messages, c.messages);
        // In ranges of a target or two on three threads: the same reading.
        const Read many = read(c.bytes, 3, 8);
        EXPECT_EQ(many.result, one.result);
        EXPECT_EQ(many.messages, one.messages);
        if (c.result == 0) {
            EXPECT_EQ(many.edge_offsets, one.edge_offsets);
            EXPECT_EQ(many.adjacency, one.adjacency);
        }
    }
}

TEST(ParhipReader, reads_every_field_width_into_the_text_readers_arrays) {
    const std::vector<std::int64_t> vertex_weights = {3, 1, 4, 1};
    const Weights edge_weights = {{2, 7}, {2, 1, 8}, {7, 1}, {8}};
    for (std::uint64_t widths = 0; widths < 16; ++widths) {
        SCOPED_TRACE(widths);
        for (int threads : {1, 3}) {
            const Read got =
                read(binary(widths << 2, square, vertex_weights, edge_weights), threads, 8);
            EXPECT_EQ(got.result, 0);
            EXPECT_EQ(got.messages, "");
            EXPECT_EQ(got.edge_offsets, (std::vector<int>{0, 2, 5, 7, 8}));
            EXPECT_EQ(got.adjacency, (std::vector<int>{2, 3, 1, 3, 4, 1, 2, 2, 0}));
            EXPECT_EQ(got.vertex_weights, (std::vector<int>{3, 1, 4, 1}));
            EXPECT_EQ(got.edge_weights, (std::vector<float>{2, 7, 2, 1, 8, 7, 1, 8, 0}));
        }
    }
}

}  // namespace
