// Runs the built program in both output formats and in parts, as a launcher would: P
// processes at once, each writing its part of one file, must leave the bytes of one run. (The
// replicate fuzz target reads the binary layout back against the text copies.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "test_support.h"

namespace {

using test_support::file_bytes;
using test_support::file_exists;
using test_support::run_shell;
using test_support::scratch_path;
using test_support::write_file;

// Six vertices with vertex weights and whole edge weights, one of them beyond 32 bits.
const char weighted_graph[] =
    "6 7 11\n"
    "3 2 4 4 1\n"
    "1 1 4 3 9 5 2\n"
    "7 2 9 6 5000000000\n"
    "2 1 1 5 3\n"
    "9 4 3 2 2 6 8\n"
    "4 5 8 3 5000000000\n";

struct Inputs {
    std::string grid = std::string(GRAPHREP_SOURCE_DIR) + "/examples/grid.graph";
    std::string weighted = scratch_path("weighted.graph");
    Inputs() {
        write_file(weighted, weighted_graph);
    }
    ~Inputs() {
        std::remove(weighted.c_str());
    }
};

// The copy counts run; the sanitizer build, many times slower to start, runs fewer.
#ifdef GRAPHREP_SANITIZED
const int copy_counts[] = {1, 2, 5};
#else
const int copy_counts[] = {1, 2, 3, 4, 5, 6, 7};
#endif

// For K copies, both formats, with and without join pairs and weights: one run, then P = 1 to
// 5 parts started at the same time into a file that did not exist, must give its bytes.
TEST(EndToEndParts, parts_run_at_once_write_the_bytes_of_one_run) {
    Inputs inputs;
    const std::string one = scratch_path("one");
    const std::string parted = scratch_path("parted");
    for (int times : copy_counts) {
        for (int variant = 0; variant < 4; ++variant) {
            const bool is_weighted = (variant & 2) != 0;
            const std::string input = is_weighted ? inputs.weighted : inputs.grid;
            const std::string options = " -in " + input + " -times " + std::to_string(times) +
                                        ((variant & 1) ? " -join 3:1,6:4,2" : "") +
                                        (is_weighted ? " -weights" : "") + " -threads 2";
            for (const char* format : {"text", "parhip"}) {
                SCOPED_TRACE(std::string(format) + options);
                const std::string run_options = options + " -format " + format;
                // Each part's status is taken from its own wait.
                const std::string script =
                    "G=" GRAPHREP_BINARY "; $G" + run_options + " -out " + one +
                    " || echo one run failed;"
                    " for P in 1 2 3 4 5; do rm -f " +
                    parted + "; pids=; for I in $(seq 0 $((P - 1))); do $G" + run_options +
                    " -out " + parted +
                    " -part $I/$P & pids=\"$pids $!\"; done;"
                    " for p in $pids; do wait $p || echo part of $P failed; done;"
                    " cmp -s " +
                    one + " " + parted + " || echo $P parts differ; done";
                test_support::ProgramRun run = run_shell(script + " 2>&1");
                EXPECT_EQ(run.exit_status, 0);
                EXPECT_EQ(run.standard_output, "");
            }
        }
    }
    std::remove(one.c_str());
    std::remove(parted.c_str());
}

// A part writes only its own ranges into whatever the file holds, and sets its size: a part
// run again alone, over a longer file of other bytes, completes the file.
TEST(EndToEndParts, a_part_run_again_alone_completes_the_file) {
    Inputs inputs;
    const std::string one = scratch_path("one");
    const std::string parted = scratch_path("parted");
    for (const char* format : {"text", "parhip"}) {
        SCOPED_TRACE(format);
        const std::string options = std::string(" -in ") + inputs.weighted +
                                    " -times 120 -weights -join 3:1 -format " + format;
        write_file(parted, std::string(200000, 'x'));
        const std::string script =
            "G=" GRAPHREP_BINARY "; $G" + options + " -out " + one + " && $G" + options + " -out " +
            parted + " -part 0/3 && $G" + options + " -out " + parted + " -part 2/3 && ! cmp -s " +
            one + " " + parted + " && $G" + options + " -out " + parted + " -part 1/3 && cmp " +
            one + " " + parted + " && $G" + options + " -out - | cmp - " + one;
        test_support::ProgramRun run = run_shell(script + " 2>&1");
        EXPECT_EQ(run.exit_status, 0);
        EXPECT_EQ(run.standard_output, "");
    }
    std::remove(one.c_str());
    std::remove(parted.c_str());
}

TEST(EndToEndParts, refusals_come_before_any_output) {
    Inputs inputs;
    const std::string out = scratch_path("out");
    const std::string fifo = scratch_path("fifo");
    struct Case {
        const char* name;
        std::string arguments;
        std::string messages;  // standard output and standard error together
    };
    const std::string weighted = " -in " + inputs.weighted + " -times 2 ";
    const std::string fractional = std::string(" -in ") + GRAPHREP_SOURCE_DIR +
                                   "/examples/weighted.graph -times 2 -format parhip ";
    const Case cases[] = {
        {"unknown format", weighted + "-format binary -out " + out,
         "Error. Invalid format binary.\n"},
        {"index past the parts", weighted + "-part 2/2 -out " + out, "Error. Invalid part 2/2.\n"},
        {"no part count", weighted + "-part 1 -out " + out, "Error. Invalid part 1.\n"},
        {"signed index", weighted + "-part -1/2 -out " + out, "Error. Invalid part -1/2.\n"},
        {"standard output", weighted + "-part 0/2 -out -",
         "Error. -part needs a regular output file.\n"},
        {"a device", weighted + "-part 1/2 -out /dev/null",
         "Error. -part needs a regular output file.\n"},
        {"a FIFO without a reader", weighted + "-part 0/1 -out " + fifo,
         "Error. -part needs a regular output file.\n"},
        {"a missing directory", weighted + "-part 0/2 -out /nonexistent/out",
         "Error. Cannot open graph file: /nonexistent/out\n"},
        {"declared connections", weighted + "-format parhip -nconnect 2 -out " + out,
         "Error. Declared connections cannot be written in the parhip format.\n"},
        {"one declared connection", weighted + "-format parhip -nconnect 1 -out " + out,
         "Error. Declared connections cannot be written in the parhip format.\n"},
        {"a fractional edge weight", fractional + "-weights -part 0/2 -out " + out,
         "Error. Edge weight 1.5 cannot be written in the parhip format.\n"},
        {"an edge weight past 2^53",
         " -in " + inputs.weighted + ".big -times 1 -weights -format parhip -out " + out,
         "Error. Edge weight 1e+16 cannot be written in the parhip format.\n"},
        {"a bad input in every part",
         " -in " + inputs.weighted + ".bad -times 2 -part 1/2 -out " + out,
         "ERROR in graph file `" + inputs.weighted +
             ".bad': zero or negative weight entered for vertex 1.\n"},
    };
    write_file(inputs.weighted + ".big", "2 1 1\n2 1e16\n1 1e16\n");
    write_file(inputs.weighted + ".bad", "2 1 10\n0 2\n1 1\n");
    ASSERT_EQ(run_shell("rm -f " + fifo + " && mkfifo " + fifo).exit_status, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(out.c_str());
        test_support::ProgramRun run = test_support::run_program(c.arguments);
        EXPECT_EQ(run.exit_status, 1);
        EXPECT_EQ(run.standard_output + run.standard_error, c.messages);
        EXPECT_FALSE(file_exists(out));
    }
    // Weights a binary output cannot hold do not matter when no weight is written.
    test_support::ProgramRun unweighted = test_support::run_program(fractional + "-out " + out);
    EXPECT_EQ(unweighted.exit_status, 0);
    EXPECT_EQ(file_bytes(out).size(), 8u * (3 + 11 + 16));
    // No declared connection is no refusal.
    test_support::ProgramRun unconnected =
        test_support::run_program(fractional + "-nconnect 0 -out " + out);
    EXPECT_EQ(unconnected.exit_status, 0);
    EXPECT_EQ(unconnected.standard_output + unconnected.standard_error, "");
    EXPECT_EQ(file_bytes(out).size(), 8u * (3 + 11 + 16));
    for (const std::string& path : {out, fifo, inputs.weighted + ".big", inputs.weighted + ".bad"})
        std::remove(path.c_str());
}

}  // namespace
