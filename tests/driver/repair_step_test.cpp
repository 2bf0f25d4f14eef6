// The repair step under lowered narrow arrays: the reading's limits reach the repair, which
// refuses lists past them without -wide and repairs them with it as without any limit.
#include "driver/repair_step.h"

#include <gtest/gtest.h>

#include <string>

#include "input/edge_list_reader.h"
#include "input/serial_reader.h"
#include "test_support.h"

namespace {

struct Step {
    int result = -1;
    std::string output;
    Block<std::int64_t> edge_offsets;
    Block<int> adjacency, vertex_weights;
    Block<float> edge_weights;
    bool operator==(const Step&) const = default;
};

// Reads text with read, then repairs it, both under settings.
Step read_and_repair(decltype(&read_graph_file) read, const std::string& text,
                     ReaderSettings settings) {
    Step step;
    test_support::MemoryMessages messages;
    ReadFindings findings;
    settings.threads = 2;
    settings.repairs = true;
    settings.findings = &findings;
    int nvtxs = 0;
    step.result =
        read(test_support::stream_with(text), "g.graph", messages.sink(), step.edge_offsets,
             step.adjacency, nvtxs, step.vertex_weights, step.edge_weights, settings);
    if (step.result == 0) {
        step.result = repair_read_graph(nvtxs, findings, settings, step.edge_offsets,
                                        step.adjacency, step.edge_weights, messages.sink());
    }
    step.output = messages.text();
    return step;
}

TEST(RepairStep, repairs_past_the_narrow_arrays_only_when_wide) {
    const std::string past_the_arrays =
        "ERROR in graph file `g.graph': at least 3 adjacencies entered, but nedges = 1\n"
        "ERROR in graph file `g.graph': at least 5 adjacencies entered, but nedges = 1\n";
    const struct {
        const char* name;
        decltype(&read_graph_file) read;
        std::string text;
        std::string narrow_output;  // the arrays ending at 2 edges, without -wide
    } cases[] = {
        {"edges at one end only, their repair past the arrays", read_graph_file,
         "4 2 1\n2 5 3 7 4 1\n\n\n\n",
         "ERROR in graph file `g.graph': Edge (1, 2) entered but not (2, 1)\n"
         "ERROR in graph file `g.graph': Edge (1, 3) entered but not (3, 1)\n"
         "ERROR in graph file `g.graph': Edge (1, 4) entered but not (4, 1)\n"
         "WARNING: I expected 2 edges entered twice, but I only count 3.\n"
         "Error. Repaired graph too large: more than 2 edges.\n"},
        {"an edge list, its lines past the arrays", read_edge_list_file, "0 1\n1 2\n2 0 3\n1 0\n",
         "ERROR in graph file `g.graph': 8 edge entries, more than the 4 the lists can hold.\n"},
        // The reading itself keeps entries past 2 * nedges up to twice the narrow edge limit,
        // in both readers.
        {"entries past the arrays, read in parallel", read_graph_file, "4 1\n2 3\n1 3 4\n1 2\n2\n",
         past_the_arrays},
        {"entries past the arrays, read in file order", read_graph_file_serially,
         "4 1\n2 3\n1 3 4\n1 2\n2\n", past_the_arrays},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Step unlimited = read_and_repair(c.read, c.text, ReaderSettings{});
        ASSERT_EQ(unlimited.result, 0) << unlimited.output;
        ReaderSettings lowered;
        lowered.narrow_edge_limit = 2;
        const Step narrow = read_and_repair(c.read, c.text, lowered);
        EXPECT_EQ(narrow.result, 1);
        EXPECT_EQ(narrow.output, c.narrow_output);
        lowered.is_wide = true;
        EXPECT_TRUE(read_and_repair(c.read, c.text, lowered) == unlimited);
    }
}

}  // namespace
