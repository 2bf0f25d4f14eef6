// Wide reading on small files: the narrow arrays are made to end at a few edges, so that the
// switch from narrow to wide, the refusals and their messages show without gigabytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "input/edge_list_reader.h"
#include "input/graph_reader.h"
#include "input/mtx_reader.h"
#include "input/parhip_reader.h"
#include "input/serial_reader.h"
#include "test_support.h"

namespace {

struct Reading {
    int result = -1;
    std::string output;
    int nvtxs = 0;
    Block<std::int64_t> edge_offsets;
    Block<int> adjacency, vertex_weights;
    Block<float> edge_weights;
    bool operator==(const Reading&) const = default;
};

Reading read_with(const std::string& text, const ReaderSettings& settings, bool serially) {
    Reading reading;
    test_support::MemoryMessages messages;
    auto read = serially ? read_graph_file_serially : read_graph_file;
    reading.result = read(test_support::stream_with(text), "g.graph", messages.sink(),
                          reading.edge_offsets, reading.adjacency, reading.nvtxs,
                          reading.vertex_weights, reading.edge_weights, settings);
    reading.output = messages.text();
    return reading;
}

using Reader = decltype(&read_graph_file);

Reading read_by(Reader read, const std::string& text, const ReaderSettings& settings) {
    Reading reading;
    test_support::MemoryMessages messages;
    reading.result = read(test_support::stream_with(text), "g.graph", messages.sink(),
                          reading.edge_offsets, reading.adjacency, reading.nvtxs,
                          reading.vertex_weights, reading.edge_weights, settings);
    reading.output = messages.text();
    return reading;
}

ReaderSettings wide_past(std::int64_t narrow_limit, bool is_wide) {
    ReaderSettings settings;
    settings.threads = 2;
    settings.chunk_bytes = 3;
    settings.is_wide = is_wide;
    settings.narrow_edge_limit = narrow_limit;
    return settings;
}

const std::string long_zeros(250, '0');

// The header's edge count with and without -wide, the narrow arrays ending at 3 edges.
TEST(WideReading, takes_or_refuses_the_header_edge_count) {
    const std::string body = "\n2 3\n1 3 4\n1 2\n2\n";
    const std::string prefix = "ERROR in graph file `g.graph':";
    struct Case {
        const char* name;
        std::string header;
        bool is_wide;
        int result;
        std::string output;
    } cases[] = {
        {"narrow, at the limit", "4 3", false, 1,
         prefix + " at least 7 adjacencies entered, but nedges = 3\n"},
        {"narrow, past the limit", "4 4", false, 1,
         prefix + " Invalid number of expected edges (4).\n"},
        {"narrow, past 32 bits: clamped as today", "4 3000000000", false, 1,
         prefix + " Invalid number of expected edges (2147483647).\n"},
        {"wide, past the narrow limit", "4 4", true, 0, ""},
        {"wide, a long token", "4 " + long_zeros + "4", true, 0, ""},
        {"wide, negative", "4 -3000000000", true, 1,
         prefix + " Invalid number of expected edges (-3000000000).\n"},
        {"wide, 2^62: taken, but no memory holds it", "4 4611686018427387904", true, 1,
         prefix + " not enough memory for 4 vertices and 4611686018427387904 edges.\n"},
        {"wide, a long token of 2^62", "4 " + long_zeros + "4611686018427387904", true, 1,
         prefix + " not enough memory for 4 vertices and 4611686018427387904 edges.\n"},
        {"wide, past 2^62", "4 4611686018427387905", true, 1,
         prefix + " Invalid number of expected edges (4611686018427387905).\n"},
        {"wide, far past 2^62: held there", "4 99999999999999999999999", true, 1,
         prefix + " Invalid number of expected edges (4611686018427387905).\n"},
        {"wide, a long token far past 2^62", "4 " + long_zeros + "99999999999999999999999", true, 1,
         prefix + " Invalid number of expected edges (4611686018427387905).\n"},
    };
    for (const Case& c : cases) {
        for (const bool serially : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (serially ? ", serially" : ""));
            const Reading reading = read_with(c.header + body, wide_past(3, c.is_wide), serially);
            EXPECT_EQ(reading.result, c.result);
            EXPECT_EQ(reading.output, c.output);
        }
    }
}

// Past the narrow arrays a wide file is read by the wide path: whatever its faults, it
// leaves what the narrow reading of the same file leaves, messages and arrays alike.
TEST(WideReading, agrees_with_the_narrow_reading) {
    const char* texts[] = {
        "4 4\n2 3\n1 3 4\n1 2\n2\n",
        "% weights and vertex weights\n4 4 11\n5 2 1 3 2\n6 1 1 3 1 4 7\n7 1 2 2 1\n8 2 7\n",
        "4 4\n2 3 2\n1 3 4 4\n1 2 1\n2\n",              // repeats and a self edge
        "4 4\n2 3\n1 4\n1 2\n2\n",                      // an edge at one end only
        "4 4 1\n2 1 3 1\n1 1 3 1 4 1\n1 2 2 2\n2 1\n",  // weights that differ
        "4 3\n2 3\n1 3 4\n1 2\n2\n",                    // too many entries
        "4 5\n2 3\n1 3 4\n1 2\n2\n",                    // a count that does not agree
        "4 4 100\n1 2 3\n2 1 3 4\n3 1 2\n4 2\n5 1\n",   // vertex numbers, trailing data
        "40 4\n2 3\n1 3 4\n1 2\n2\n",                   // unreached vertices
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        const Reading narrow = read_with(text, ReaderSettings{}, true);
        for (const std::int64_t narrow_limit : {1, 2, 3}) {
            SCOPED_TRACE(narrow_limit);
            EXPECT_TRUE(read_with(text, wide_past(narrow_limit, true), false) == narrow);
            EXPECT_TRUE(read_with(text, wide_past(narrow_limit, true), true) == narrow);
        }
    }
}

// Edge lists and matrices place each line at both of its ends, the binary layout counts its
// arcs: past the narrow arrays, here ending at 2 or 3 edges (4 or 6 entries), they are refused
// without -wide and read whole with it, as without any limit.
TEST(WideReading, takes_edge_lines_past_the_narrow_arrays_only_when_wide) {
    const std::string prefix = "ERROR in graph file `g.graph':";
    auto too_many = [&](const char* entries) {
        return prefix + " " + entries + " edge entries, more than the 4 the lists can hold.\n";
    };
    // A triangle in the binary layout: no weights, 64-bit fields, offsets in bytes.
    std::string parhip;
    for (const std::uint64_t field :
         std::initializer_list<std::uint64_t>{3, 3, 6, 56, 72, 88, 104, 1, 2, 0, 2, 0, 1}) {
        parhip.append(reinterpret_cast<const char*>(&field), sizeof field);
    }
    const struct {
        const char* name;
        Reader read;
        std::string text;
        std::string refusal;
    } cases[] = {
        {"edgelist", read_edge_list_file, "0 1\n1 2 4\n2 0\n", too_many("6")},
        {"edgelist1, a repeat and a self edge", read_edge_list1_file, "1 2\n2 1\n3 3\n",
         too_many("5")},
        {"mtx", read_mtx_file,
         "%%MatrixMarket matrix coordinate real general\n3 3 3\n1 2 1\n2 3 2\n3 1 3\n",
         too_many("6")},
        {"parhip", read_parhip_file, parhip, prefix + " m is 6 arcs; it may be at most 4.\n"},
    };
    const struct {
        std::int64_t narrow_limit;
        bool is_wide;
        bool is_refused;
    } limits[] = {{2, false, true}, {2, true, false}, {3, false, false}, {1, true, false}};
    for (const auto& c : cases) {
        const Reading unlimited = read_by(c.read, c.text, wide_past(0, false));
        ASSERT_EQ(unlimited.result, 0) << unlimited.output;
        for (const auto& limit : limits) {
            SCOPED_TRACE(testing::Message()
                         << c.name << ", narrow arrays end at " << limit.narrow_limit
                         << " edges, wide " << limit.is_wide);
            const Reading reading =
                read_by(c.read, c.text, wide_past(limit.narrow_limit, limit.is_wide));
            if (limit.is_refused) {
                EXPECT_EQ(reading.result, 1);
                EXPECT_EQ(reading.output, c.refusal);
            } else {
                EXPECT_TRUE(reading == unlimited);
            }
        }
    }
}

}  // namespace

// A list longer than 2^20 entries: its entries' places in it no longer share a word with the
// lower vertex, and the symmetry check gathers them in its wider layout. A hub last, listing
// every other vertex; past that length one leaf lacks it, one weighs it differently, and the
// hub leaves out one leaf that lists it: both readers give the same messages and arrays, in
// one round and in many.
TEST(WideReading, a_list_past_a_million_entries_is_checked_as_the_serial_reader_does) {
    constexpr int leaves = (1 << 20) + 10;
    const int hub = leaves + 1;
    const std::string hub_text = std::to_string(hub);
    std::string text = std::to_string(hub) + " " + std::to_string(leaves) + " 1\n";
    for (int leaf = 1; leaf <= leaves; ++leaf) {
        if (leaf == leaves - 3) {
            text += "\n";
        } else {
            text += hub_text + (leaf == leaves - 1 ? " 2\n" : " 1\n");
        }
    }
    for (int leaf = 1; leaf <= leaves; ++leaf) {
        if (leaf == 7) continue;
        text += std::to_string(leaf) + " 1 ";
    }
    text += "\n";
    const Reading serial = read_with(text, ReaderSettings{}, true);
    EXPECT_EQ(serial.result, 1);
    EXPECT_NE(serial.output.find("weighs"), std::string::npos);
    for (const std::int64_t round_entries : {0, 100000}) {
        SCOPED_TRACE(round_entries);
        ReaderSettings settings;
        settings.threads = 2;
        settings.round_entries = round_entries;
        EXPECT_TRUE(read_with(text, settings, false) == serial);
    }
}
