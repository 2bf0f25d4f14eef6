// A reading for a repair, in both readers: the same messages, status, arrays and findings
// from the serial reader and from the parallel one at any thread count and chunk size, and
// the findings a repair summary is made from.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "../fuzz/fuzz_support.h"
#include "full_reading.h"

namespace {

using full_reading::expect_same_as_serial;

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
        expect_same_as_serial(text, true);
    }
    // What the reader dropped itself, for the summary: each kind once, two lines after the
    // last vertex.
    ReaderSettings settings;
    settings.repairs = true;
    const full_reading::FullReading reading =
        full_reading::read_fully(faulty_texts[2], settings, true);
    EXPECT_EQ(reading.result, 0);
    EXPECT_EQ(reading.findings, (std::array<std::int64_t, 5>{2, 1, 1, 1, 2}));
}

// Files with every fault a repair mends, of a few vertices and of many, read both ways.
TEST(RepairReading, agrees_with_the_serial_reader_on_faulty_files) {
    for (std::uint64_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        fuzz_support::Random random{seed};
        std::vector<fuzz_support::ListedEntry> entries;
        bool is_weighted = false;
        const int nvtxs = 1 + random.below(seed % 3 == 0 ? 400 : 12);
        expect_same_as_serial(fuzz_support::faulty_graph_text(random, nvtxs, entries, is_weighted),
                              true);
    }
}

}  // namespace
