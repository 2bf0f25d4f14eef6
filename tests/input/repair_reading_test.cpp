// A reading for a repair, in both readers: the same messages, status, arrays and findings
// from the serial reader and from the parallel one at any thread count and chunk size, and
// the findings a repair summary is made from.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../fuzz/fuzz_support.h"
#include "input/graph_reader.h"
#include "input/serial_reader.h"
#include "test_support.h"

namespace {

struct RepairReading {
    int result = -1;
    std::string output;
    std::int64_t errors = 0;
    std::int64_t warnings = 0;
    int nvtxs = 0;
    Block<std::int64_t> edge_offsets;
    Block<int> adjacency, vertex_weights;
    Block<float> edge_weights;
    ReadFindings findings;
};

RepairReading read_for_repair(const std::string& text, ReaderSettings settings, bool serially) {
    RepairReading reading;
    settings.repairs = true;
    settings.findings = &reading.findings;
    std::FILE* file = test_support::stream_with(text);
    test_support::MemoryMessages messages;
    auto read = serially ? read_graph_file_serially : read_graph_file;
    reading.result = read(file, "g.graph", messages.sink(), reading.edge_offsets, reading.adjacency,
                          reading.nvtxs, reading.vertex_weights, reading.edge_weights, settings);
    reading.output = messages.text();
    reading.errors = messages.sink().error_count();
    reading.warnings = messages.sink().warning_count();
    return reading;
}

void expect_same_readings(const RepairReading& a, const RepairReading& b) {
    EXPECT_EQ(a.result, b.result);
    EXPECT_EQ(a.output, b.output);
    EXPECT_EQ(a.errors, b.errors);
    EXPECT_EQ(a.warnings, b.warnings);
    EXPECT_EQ(a.nvtxs, b.nvtxs);
    EXPECT_TRUE(a.edge_offsets == b.edge_offsets);
    EXPECT_TRUE(a.adjacency == b.adjacency);
    EXPECT_TRUE(a.vertex_weights == b.vertex_weights);
    EXPECT_TRUE(a.edge_weights == b.edge_weights);
    EXPECT_EQ(a.findings.header_nedges, b.findings.header_nedges);
    EXPECT_EQ(a.findings.self_entries, b.findings.self_entries);
    EXPECT_EQ(a.findings.repeated_entries, b.findings.repeated_entries);
    EXPECT_EQ(a.findings.bad_weight_entries, b.findings.bad_weight_entries);
    EXPECT_EQ(a.findings.trailing_lines, b.findings.trailing_lines);
}

// One to four threads, chunks so small that their borders fall inside numbers and lines.
void expect_same_as_serial(const std::string& text) {
    for (int threads = 1; threads <= 4; ++threads) {
        for (std::int64_t chunk_bytes : {1, 2, 3, 16, 0}) {
            SCOPED_TRACE(testing::Message() << threads << " threads, chunks of " << chunk_bytes);
            const ReaderSettings settings{threads, chunk_bytes, true};
            expect_same_readings(read_for_repair(text, settings, false),
                                 read_for_repair(text, settings, true));
        }
    }
}

// Files of each kind of fault the reading reads on past, and one that still ends it.
const char* const faulty_texts[] = {
    "3 1\n2 3\n1 3\n1 2\n",
    "2 0\n2\n1\n",
    "3 2 1\n1 1 2 1 2 1\n1 1 3 0\n2 1\n7\n\n8 9\n",
    "3 1\n2 3\n1 3\n4\n",
};

TEST(RepairReading, reads_on_where_a_repair_mends_as_the_serial_reader_does) {
    for (const char* text : faulty_texts) {
        SCOPED_TRACE(text);
        expect_same_as_serial(text);
    }
    // What the reader dropped itself, for the summary: each kind once, two lines after the
    // last vertex.
    const RepairReading reading = read_for_repair(faulty_texts[2], ReaderSettings{}, true);
    EXPECT_EQ(reading.result, 0);
    EXPECT_EQ(reading.findings.header_nedges, 2);
    EXPECT_EQ(reading.findings.self_entries, 1);
    EXPECT_EQ(reading.findings.repeated_entries, 1);
    EXPECT_EQ(reading.findings.bad_weight_entries, 1);
    EXPECT_EQ(reading.findings.trailing_lines, 2);
}

// Files with every fault a repair mends, of a few vertices and of many, read both ways.
TEST(RepairReading, agrees_with_the_serial_reader_on_faulty_files) {
    for (std::uint64_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        fuzz_support::Random random{seed};
        std::vector<fuzz_support::ListedEntry> entries;
        bool is_weighted = false;
        const int nvtxs = 1 + random.below(seed % 3 == 0 ? 400 : 12);
        expect_same_as_serial(fuzz_support::faulty_graph_text(random, nvtxs, entries, is_weighted));
    }
}

}  // namespace
