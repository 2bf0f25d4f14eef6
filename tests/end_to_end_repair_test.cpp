// Runs the built program with -repair as a user would: the exact messages and repaired file of
// each kind of fault, with -check and -strict, and the property that whatever -repair accepts
// it writes as a file that -check -strict accepts, holding the edges the file listed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../fuzz/fuzz_support.h"
#include "input/full_reading.h"
#include "test_support.h"

namespace {

using test_support::expect_run;
using test_support::run_program;

struct RepairCase {
    const char* name;
    const char* input;
    const char* options;   // besides -in, -out, -times 1 and -repair
    const char* messages;  // standard output
    const char* graph;     // the file written, after its comment line
};

const RepairCase repair_cases[] = {
    {"edge listed at its lower end only", "4 4\n2 3\n1 3 4\n1 2\n\n", "",
     "ERROR in graph file `NAME': Edge (2, 4) entered but not (4, 2)\n"
     "WARNING: I expected 4 edges entered twice, but I only count 7.\n"
     "Repaired: 1 edge listed at one end only, now listed at both.\n",
     "4 4\n2 3 \n1 3 4 \n1 2 \n2 \n"},
    {"edges listed at their higher end only", "3 2\n\n1\n1\n", "",
     "ERROR in graph file `NAME': Edge (2, 1) entered but not (1, 2)\n"
     "ERROR in graph file `NAME': Edge (3, 1) entered but not (1, 3)\n"
     "WARNING: I expected 2 edges entered twice, but I only count 2.\n"
     "Repaired: 2 edges listed at one end only, now listed at both.\n",
     "3 2\n2 3 \n1 \n1 \n"},
    {"self edges", "3 2\n1 2\n1 3\n2 3 3\n", "",
     "WARNING: Self edge (1, 1) being ignored.\n"
     "WARNING: 3 self edges were read and ignored.\n"
     "Repaired: 3 self edges dropped.\n",
     "3 2\n2 \n1 3 \n2 \n"},
    {"repeated neighbours", "3 2\n2 2\n1 3 1\n2\n", "",
     "WARNING: Multiple occurences of edge (1,2) ignored\n"
     "WARNING: Multiple occurences of edge (2,1) ignored\n"
     "Repaired: 2 repeated neighbours listed once.\n",
     "3 2\n2 \n1 3 \n2 \n"},
    {"ends that weigh differently", "3 2 1\n2 1.5\n1 2.5 3 1\n2 4\n", "-weights",
     "WARNING: Edge (2,1) weighs 2.5, but (1,2) weighs 1.5.\n"
     "WARNING: Edge (3,2) weighs 4, but (2,3) weighs 1.\n"
     "Repaired: 2 edges with different weights at their two ends, given the weight listed "
     "first.\n",
     "3 2 1\n2 1.5 \n1 1.5 3 1 \n2 1 \n"},
    {"edge count too high", "3 5\n2\n1 3\n2\n", "",
     "WARNING: I expected 5 edges entered twice, but I only count 4.\n"
     "Repaired: the header's edge count 5 is now 2.\n",
     "3 2\n2 \n1 3 \n2 \n"},
    {"more entries than twice the edge count", "3 1\n2 3\n1 3\n1 2\n", "",
     "ERROR in graph file `NAME': at least 3 adjacencies entered, but nedges = 1\n"
     "WARNING: I expected 1 edges entered twice, but I only count 6.\n"
     "Repaired: the header's edge count 1 is now 3.\n",
     "3 3\n2 3 \n1 3 \n1 2 \n"},
    {"header without edges", "3 0\n2\n1\n", "",
     "ERROR in graph file `NAME': at least 1 adjacencies entered, but nedges = 0\n"
     "WARNING: I expected 0 edges entered twice, but I only count 2.\n"
     "Repaired: the header's edge count 0 is now 1.\n",
     "3 1\n2 \n1 \n\n"},
    {"lines after the last vertex", "2 1\n2\n1\n5 5\n% c\n\n7\n", "",
     "WARNING: Possible error in graph file `NAME'\n"
     "         Data found after expected end of file\n"
     "Repaired: 2 lines after the last vertex not read.\n",
     "2 1\n2 \n1 \n"},
    {"bad edge weight ignored with its entry", "2 1 1\n2 0\n1 3\n", "-weights",
     "WARNING: Bad weight entered for edge (1,2).  Edge ignored.\n"
     "ERROR in graph file `NAME': Edge (2, 1) entered but not (1, 2)\n"
     "Repaired: 1 edge listed at one end only, now listed at both.\n",
     "2 1 1\n2 3 \n1 3 \n"},
    {"every kind, vertex numbers and weights",
     "4 2 111\n1 5 2 1 2 1 1 3\n2 1 1 2 3 1\n"
     "3 2 4 1\n4 1 3 1 1 1\n",
     "-weights",
     "WARNING: Multiple occurences of edge (1,2) ignored\n"
     "WARNING: Self edge (1, 1) being ignored.\n"
     "WARNING: Edge (2,1) weighs 2, but (1,2) weighs 1.\n"
     "ERROR in graph file `NAME': at least 5 adjacencies entered, but nedges = 2\n"
     "ERROR in graph file `NAME': Edge (4, 1) entered but not (1, 4)\n"
     "ERROR in graph file `NAME': Edge (2, 3) entered but not (3, 2)\n"
     "WARNING: I expected 2 edges entered twice, but I only count 6.\n"
     "Repaired: 2 edges listed at one end only, now listed at both.\n"
     "Repaired: 1 self edge dropped.\n"
     "Repaired: 1 repeated neighbour listed once.\n"
     "Repaired: 1 edge with different weights at its two ends, given the weight listed first.\n"
     "Repaired: the header's edge count 2 is now 4.\n",
     "4 4 11\n5 2 1 4 1 \n1 1 1 3 1 \n2 4 1 2 1 \n1 3 1 1 1 \n"},
    {"every kind, read in chunks", "5 1\n2 2 1 5\n\n2 4\n3\n\n1 2\n", "",
     "WARNING: Multiple occurences of edge (1,2) ignored\n"
     "WARNING: Self edge (1, 1) being ignored.\n"
     "ERROR in graph file `NAME': Edge (3, 2) entered but not (2, 3)\n"
     "ERROR in graph file `NAME': at least 3 adjacencies entered, but nedges = 1\n"
     "ERROR in graph file `NAME': Edge (1, 2) entered but not (2, 1)\n"
     "ERROR in graph file `NAME': Edge (1, 5) entered but not (5, 1)\n"
     "WARNING: Possible error in graph file `NAME'\n"
     "         Data found after expected end of file\n"
     "WARNING: I expected 1 edges entered twice, but I only count 5.\n"
     "Repaired: 3 edges listed at one end only, now listed at both.\n"
     "Repaired: 1 self edge dropped.\n"
     "Repaired: 1 repeated neighbour listed once.\n"
     "Repaired: the header's edge count 1 is now 4.\n"
     "Repaired: 1 line after the last vertex not read.\n",
     "5 4\n2 5 \n1 3 \n2 4 \n3 \n1 \n"},
    {"a sound file is left as it is", "4 4\n2 3\n1 3 4\n1 2\n2\n", "", "",
     "4 4\n2 3 \n1 3 4 \n1 2 \n2 \n"},
};

TEST(EndToEndRepair, mends_each_kind_of_fault_and_says_so) {
    const test_support::ScratchFiles files;
    for (const RepairCase& c : repair_cases) {
        for (const std::string threads : {"-threads 1", "-threads 2"}) {
            const std::string name = c.name + (", " + threads);
            expect_run(files, {.name = name,
                               .input = c.input,
                               .arguments = "-repair -times 1 -in NAME -out OUT " + threads + " " +
                                            c.options,
                               .standard_output = c.messages,
                               .output = "% 1 NAME\n" + std::string(c.graph),
                               .standard_error = ""});
            // A check reports the same repairs, and writes nothing.
            expect_run(files, {.name = name + ", checked",
                               .input = c.input,
                               .arguments = "-check -repair -in NAME " + threads,
                               .standard_output = c.messages});
        }
    }
}

TEST(EndToEndRepair, refuses_what_it_cannot_mend_and_what_strict_forbids) {
    const struct {
        const char* name;
        const char* input;
        const char* options;
        int exit_status;
        const char* messages;
        const char* graph;  // the file written, after its comment line; nullptr: none
    } cases[] = {
        {"neighbour above nvtxs", "3 2\n2 4\n1\n\n", "", 1,
         "ERROR in graph file `NAME': nvtxs=3, but edge (1,4) was input.\n", nullptr},
        {"no weight for a vertex", "2 1 10\n5 2\n", "", 1,
         "ERROR in graph file `NAME': no weight for vertex 2.\n", nullptr},
        {"repaired faults pass strictly", "3 1\n2 2\n1 3\n3\n", "-strict", 0,
         "WARNING: Multiple occurences of edge (1,2) ignored\n"
         "ERROR in graph file `NAME': at least 3 adjacencies entered, but nedges = 1\n"
         "WARNING: Self edge (3, 3) being ignored.\n"
         "ERROR in graph file `NAME': Edge (2, 3) entered but not (3, 2)\n"
         "WARNING: I expected 1 edges entered twice, but I only count 3.\n"
         "Repaired: 1 edge listed at one end only, now listed at both.\n"
         "Repaired: 1 self edge dropped.\n"
         "Repaired: 1 repeated neighbour listed once.\n"
         "Repaired: the header's edge count 1 is now 2.\n",
         "3 2\n2 \n1 3 \n2 \n"},
        {"a dropped bad weight fails strictly", "2 1 1\n2 -1\n1 2\n", "-strict", 1,
         "WARNING: Bad weight entered for edge (1,2).  Edge ignored.\n"
         "ERROR in graph file `NAME': Edge (2, 1) entered but not (1, 2)\n"
         "Repaired: 1 edge listed at one end only, now listed at both.\n"
         "Error. Unrepaired warnings are not accepted with -strict.\n",
         nullptr},
        {"unread lines fail strictly", "2 1\n2\n1\n3\n", "-strict", 1,
         "WARNING: Possible error in graph file `NAME'\n"
         "         Data found after expected end of file\n"
         "Repaired: 1 line after the last vertex not read.\n"
         "Error. Unrepaired warnings are not accepted with -strict.\n",
         nullptr},
    };
    const test_support::ScratchFiles files;
    for (const auto& c : cases) {
        for (const std::string check : {"", "-check"}) {
            const bool writes = c.graph != nullptr && check.empty();
            expect_run(files, {.name = c.name + (" " + check),
                               .input = c.input,
                               .arguments = std::string("-repair -times 1 -in NAME -out OUT ") +
                                            c.options + " " + check,
                               .exit_status = c.exit_status,
                               .standard_output = c.messages,
                               .output = writes ? std::optional("% 1 NAME\n" + std::string(c.graph))
                                                : std::nullopt});
        }
    }
}

// The edges and weights of a graph text that reads without a word.
fuzz_support::EdgeWeights edges_of(const std::string& text, bool is_weighted) {
    const full_reading::FullReading reading = full_reading::read_fully(text, {}, false);
    EXPECT_EQ(reading.result, 0);
    EXPECT_EQ(reading.output, "");
    std::vector<fuzz_support::ListedEntry> entries;
    for (int v = 1; v <= reading.nvtxs && !reading.edge_offsets.empty(); ++v) {
        for (std::int64_t i = reading.edge_offsets[v - 1]; i < reading.edge_offsets[v]; ++i) {
            entries.push_back(
                {v, reading.adjacency[i], is_weighted ? reading.edge_weights[i] : 1.0f});
        }
    }
    return fuzz_support::symmetric_closure(entries, is_weighted);
}

// Whatever faults a generated file has, -repair writes the symmetric closure of its entries
// with the weight of each edge's first entry, and -check -strict accepts it.
TEST(EndToEndRepair, writes_the_symmetric_closure_that_a_strict_check_accepts) {
    const test_support::ScratchFiles files;
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        fuzz_support::Random random{seed};
        std::vector<fuzz_support::ListedEntry> entries;
        bool is_weighted = false;
        const int nvtxs = 1 + random.below(seed % 4 == 0 ? 3000 : 30);
        ASSERT_TRUE(test_support::write_file(
            files.input, faulty_graph_text(random, nvtxs, entries, is_weighted)));
        const std::string threads = " -threads " + std::to_string(1 + seed % 3);
        const auto run = run_program("-repair -weights -times 1 -in " + files.input + " -out " +
                                     files.output + threads);
        ASSERT_EQ(run.exit_status, 0) << run.standard_output;
        const auto check = run_program("-check -strict -in " + files.output + threads);
        EXPECT_EQ(check.exit_status, 0);
        EXPECT_EQ(check.standard_output, "");
        EXPECT_EQ(edges_of(test_support::file_bytes(files.output), is_weighted),
                  fuzz_support::symmetric_closure(entries, is_weighted));
    }
}

}  // namespace
