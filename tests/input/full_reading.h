// A whole reading of a graph text, every array entry, count and finding included, for
// holding the parallel reader to the serial one.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "input/graph_reader.h"
#include "input/serial_reader.h"
#include "test_support.h"

namespace full_reading {

struct FullReading {
    int result = -1;
    std::string output;
    std::int64_t errors = 0;
    std::int64_t warnings = 0;
    int nvtxs = 0;
    Block<std::int64_t> edge_offsets;
    Block<int> adjacency, vertex_weights;
    Block<float> edge_weights;
    // A repair's findings: the header's edge count, then the self, repeated and bad-weight
    // entries dropped, then the lines after the last vertex. All 0 for other readings.
    std::array<std::int64_t, 5> findings{};
    bool operator==(const FullReading&) const = default;
};

inline FullReading read_fully(const std::string& text, ReaderSettings settings, bool serially) {
    FullReading reading;
    ReadFindings findings;
    if (settings.repairs) settings.findings = &findings;
    std::FILE* file = test_support::stream_with(text);
    test_support::MemoryMessages messages;
    auto read = serially ? read_graph_file_serially : read_graph_file;
    reading.result = read(file, "g.graph", messages.sink(), reading.edge_offsets, reading.adjacency,
                          reading.nvtxs, reading.vertex_weights, reading.edge_weights, settings);
    reading.output = messages.text();
    reading.errors = messages.sink().error_count();
    reading.warnings = messages.sink().warning_count();
    reading.findings = {findings.header_nedges, findings.self_entries, findings.repeated_entries,
                        findings.bad_weight_entries, findings.trailing_lines};
    return reading;
}

// The reader against the serial reader on text, with one to four threads and chunks so small
// that their borders fall inside numbers, comments and line ends. A check's reading is tried
// with and without the lists of unreached vertices; a repair's always writes them.
inline void expect_same_as_serial(const std::string& text, bool repairs = false) {
    for (int threads = 1; threads <= 4; ++threads) {
        for (std::int64_t chunk_bytes : {1, 2, 3, 16, 0}) {
            const bool fills = repairs || (threads + chunk_bytes) % 2 == 0;
            SCOPED_TRACE(testing::Message() << threads << " threads, chunks of " << chunk_bytes
                                            << (fills ? "" : ", unreached lists unwritten")
                                            << (repairs ? ", for a repair" : ""));
            ReaderSettings settings{threads, chunk_bytes, fills};
            settings.repairs = repairs;
            EXPECT_TRUE(read_fully(text, settings, false) == read_fully(text, settings, true));
        }
    }
}

}  // namespace full_reading
