// Runs the built program as a user would and checks its exit status, everything it prints,
// the bytes of the file it writes, and that it writes nothing to standard error.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <regex>
#include <string>

#include "test_support.h"

namespace {

using test_support::file_bytes;
using test_support::file_exists;
using test_support::run_program;
using test_support::scratch_path;
using test_support::write_file;

const char square_graph[] = "% four vertices\n4 4\n2 3\n1 3 4\n1 2\n2\n";

// The square graph written twice, after the comment line naming the input.
const char square_twice_body[] = "8 8\n2 3 \n1 3 4 \n1 2 \n2 \n6 7 \n5 7 8 \n5 6 \n6 \n";

struct Scratch {
    std::string input = scratch_path("in.graph");
    std::string output = scratch_path("out.graph");
    Scratch() {
        std::remove(output.c_str());
        write_file(input, square_graph);
    }
    ~Scratch() {
        std::remove(input.c_str());
        std::remove(output.c_str());
    }
};

struct RefusalCase {
    const char* name;
    std::string arguments;  // "IN" and "OUT" stand for the scratch files
    std::string standard_output;
};

std::string with_scratch(std::string text, const Scratch& scratch) {
    for (std::string::size_type at; (at = text.find("IN")) != std::string::npos;) {
        text.replace(at, 2, scratch.input);
    }
    for (std::string::size_type at; (at = text.find("OUT")) != std::string::npos;) {
        text.replace(at, 3, scratch.output);
    }
    return text;
}

TEST(EndToEnd, refusals_print_one_line_and_write_nothing) {
    const RefusalCase cases[] = {
        {"no arguments", "", "at least two times.\n"},
        {"count of zero", "-in IN -out OUT -times 0", "at least two times.\n"},
        {"count without digits", "-in IN -out OUT -times many", "at least two times.\n"},
        {"negative count", "-in IN -out OUT -times -3", "at least two times.\n"},
        {"no input name", "-times 2 -out OUT", "Error. Cannot open graph file: \n"},
        {"missing input", "-times 2 -in /nonexistent/g.graph -out OUT",
         "Error. Cannot open graph file: /nonexistent/g.graph\n"},
        {"directory as input", "-times 2 -in /tmp -out OUT",
         "Error. Cannot open graph file: /tmp\n"},
        {"negative connections", "-in IN -out OUT -times 2 -nconnect -1",
         "Error. Invalid number of connections (-1).\n"},
        {"option without value", "-times 2 -out OUT -input",
         "Error. Option -input needs a value.\n"},
        {"output in a missing directory", "-in IN -times 2 -out /nonexistent/out.graph",
         "Error. Cannot open graph file: /nonexistent/out.graph\n"},
        {"replicated graph too large", "-in IN -out OUT -times 1000000000",
         "Error. Replicated graph too large: 4000000000 vertices, 4000000000 edges.\n"
         "Use -wide to write it for readers with 64-bit vertex numbers.\n"},
        {"connections too many", "-in IN -out OUT -times 1 -nconnect 1073741822",
         "Error. Replicated graph too large: 4 vertices, 2147483648 edges.\n"
         "Use -wide to write it for readers with 64-bit vertex numbers.\n"},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        Scratch scratch;
        test_support::ProgramRun run = run_program(with_scratch(c.arguments, scratch));
        EXPECT_EQ(run.exit_status, 1);
        EXPECT_EQ(run.standard_output, with_scratch(c.standard_output, scratch));
        EXPECT_EQ(run.standard_error, "");
        EXPECT_FALSE(file_exists(scratch.output));
    }
}

TEST(EndToEnd, help_and_version_do_nothing_else) {
    Scratch scratch;
    test_support::ProgramRun help =
        run_program("-in " + scratch.input + " -times 2 -h -out " + scratch.output);
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_EQ(help.standard_output.rfind("Usage: graphrep -in FILE -times K", 0), 0u);
    EXPECT_FALSE(file_exists(scratch.output));
    test_support::ProgramRun version = run_program("--version");
    EXPECT_EQ(version.exit_status, 0);
    EXPECT_EQ(version.standard_output, "graphrep 1.0.0\n");
}

TEST(EndToEnd, writes_the_copies_of_the_usage_example) {
    Scratch scratch;
    test_support::ProgramRun run =
        run_program("-in " + scratch.input + " -times 2 -out " + scratch.output);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.standard_output, "");
    EXPECT_EQ(run.standard_error, "");
    EXPECT_EQ(file_bytes(scratch.output), "% 2 " + scratch.input + "\n" + square_twice_body);
}

TEST(EndToEnd, declares_connections_in_the_header_only) {
    Scratch scratch;
    test_support::ProgramRun run = run_program("-in " + scratch.input + " -times 1 -nconnect 3 " +
                                               "-connect 1,2,3 -out " + scratch.output);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(file_bytes(scratch.output),
              "% 1 " + scratch.input + "\n4 10\n2 3 \n1 3 4 \n1 2 \n2 \n");
}

TEST(EndToEnd, default_output_name_prefixes_the_count) {
    std::string directory = scratch_path("dir");
    std::string command_prefix =
        "mkdir -p " + directory + "/sub " + directory + "/3_sub && cd " + directory + " &&";
    ASSERT_EQ(system((command_prefix + " true").c_str()), 0);
    write_file(directory + "/g.graph", square_graph);
    write_file(directory + "/sub/g.graph", square_graph);

    test_support::ProgramRun plain = run_program("-in g.graph -times 2", command_prefix);
    EXPECT_EQ(plain.exit_status, 0);
    EXPECT_EQ(file_bytes(directory + "/2_g.graph"),
              std::string("% 2 g.graph\n") + square_twice_body);

    test_support::ProgramRun nested = run_program("-in sub/g.graph -times 3", command_prefix);
    EXPECT_EQ(nested.exit_status, 0);
    EXPECT_TRUE(file_exists(directory + "/3_sub/g.graph"));

    test_support::ProgramRun missing = run_program("-in sub/g.graph -times 4", command_prefix);
    EXPECT_EQ(missing.exit_status, 1);
    EXPECT_EQ(missing.standard_output, "Error. Cannot open graph file: 4_sub/g.graph\n");
    ASSERT_EQ(system(("rm -rf " + directory).c_str()), 0);
}

TEST(EndToEnd, output_may_replace_its_own_input) {
    Scratch scratch;
    test_support::ProgramRun run =
        run_program("-in " + scratch.input + " -times 2 -out " + scratch.input);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(file_bytes(scratch.input), "% 2 " + scratch.input + "\n" + square_twice_body);
}

TEST(EndToEnd, reads_its_own_output_back_without_a_message) {
    const char* graph =
        "% a triangle with a tail, an isolated vertex and a self edge\n"
        "6 5\n2 3\n1 3\n1 2 4\n3 5 4\n4\n\n";
    for (int times : {1, 2, 5, 17}) {
        SCOPED_TRACE(times);
        Scratch scratch;
        write_file(scratch.input, graph);
        test_support::ProgramRun first =
            run_program("-in " + scratch.input + " -times " + std::to_string(times) + " -out " +
                        scratch.output);
        EXPECT_EQ(first.exit_status, 0);
        EXPECT_EQ(first.standard_output, "WARNING: Self edge (4, 4) being ignored.\n");
        std::string again = scratch_path("again.graph");
        test_support::ProgramRun second =
            run_program("-in " + scratch.output + " -times 1 -out " + again);
        EXPECT_EQ(second.exit_status, 0);
        EXPECT_EQ(second.standard_output, "");
        std::string written = file_bytes(scratch.output);
        std::string rewritten = file_bytes(again);
        // Only the comment line differs: it names the file that was read.
        EXPECT_EQ(rewritten.substr(rewritten.find('\n')), written.substr(written.find('\n')));
        std::remove(again.c_str());
    }
}

TEST(EndToEnd, a_graph_file_error_ends_the_run_without_output) {
    struct BadFileCase {
        const char* name;
        const char* text;
        const char* message_after_prefix;
    };
    const BadFileCase cases[] = {
        {"empty file", "", " Invalid number of vertices (0).\n"},
        {"neighbour out of range", "2 1\n2\n3\n", " nvtxs=2, but edge (2,3) was input.\n"},
        // Reading goes on after an unmatched edge, so the count check still speaks.
        {"unmatched edge", "3 2\n2\n1\n2\n",
         " Edge (3, 2) entered but not (2, 3)\n"
         "WARNING: I expected 2 edges entered twice, but I only count 3.\n"},
    };
    for (const BadFileCase& c : cases) {
        SCOPED_TRACE(c.name);
        Scratch scratch;
        write_file(scratch.input, c.text);
        write_file(scratch.output, "old content\n");
        test_support::ProgramRun run =
            run_program("-in " + scratch.input + " -times 2 -out " + scratch.output);
        EXPECT_EQ(run.exit_status, 1);
        EXPECT_EQ(run.standard_output,
                  "ERROR in graph file `" + scratch.input + "':" + c.message_after_prefix);
        EXPECT_EQ(file_bytes(scratch.output), "old content\n");
    }
}

TEST(EndToEnd, a_failed_write_reports_and_keeps_the_old_file) {
    Scratch scratch;
    test_support::ProgramRun full =
        run_program("-in " + scratch.input + " -times 2 -out /dev/full");
    EXPECT_EQ(full.exit_status, 1);
    EXPECT_EQ(full.standard_output, "Error. Cannot write graph file: /dev/full\n");
    EXPECT_EQ(full.standard_error, "");

    // A file size limit of one block makes the write fail part way; the signal that
    // would end the process is ignored, so the write itself reports the failure.
    std::string big_graph = "2000 1000\n";
    for (int v = 1; v <= 2000; ++v)
        big_graph += std::to_string(v % 2 ? v + 1 : v - 1) + "\n";
    write_file(scratch.input, big_graph);
    write_file(scratch.output, "old content\n");
    test_support::ProgramRun limited = run_program(
        "-in " + scratch.input + " -times 3 -out " + scratch.output, "trap '' XFSZ; ulimit -f 1;");
    EXPECT_EQ(limited.exit_status, 1);
    EXPECT_EQ(limited.standard_output, "Error. Cannot write graph file: " + scratch.output + "\n");
    EXPECT_EQ(file_bytes(scratch.output), "old content\n");
}

TEST(EndToEnd, respects_permissions_and_links_of_the_output) {
    Scratch scratch;
    write_file(scratch.output, "read only\n");
    ASSERT_EQ(chmod(scratch.output.c_str(), 0444), 0);
    test_support::ProgramRun refused =
        run_program("-in " + scratch.input + " -times 2 -out " + scratch.output);
    EXPECT_EQ(refused.exit_status, 1);
    EXPECT_EQ(refused.standard_output, "Error. Cannot open graph file: " + scratch.output + "\n");
    EXPECT_EQ(file_bytes(scratch.output), "read only\n");

    ASSERT_EQ(chmod(scratch.output.c_str(), 0640), 0);
    std::string link = scratch_path("link.graph");
    std::remove(link.c_str());
    ASSERT_EQ(symlink(scratch.output.c_str(), link.c_str()), 0);
    test_support::ProgramRun through =
        run_program("-in " + scratch.input + " -times 2 -out " + link);
    EXPECT_EQ(through.exit_status, 0);
    struct stat link_status;
    ASSERT_EQ(lstat(link.c_str(), &link_status), 0);
    EXPECT_TRUE(S_ISLNK(link_status.st_mode));
    struct stat target_status;
    ASSERT_EQ(stat(scratch.output.c_str(), &target_status), 0);
    EXPECT_EQ(target_status.st_mode & 07777, 0640u);
    EXPECT_EQ(file_bytes(scratch.output), "% 2 " + scratch.input + "\n" + square_twice_body);
    std::remove(link.c_str());
}

// Address-space caps (ulimit -v) break AddressSanitizer, which reserves terabytes of
// shadow memory at start, so the tests that need a cap only run in the plain build.
#ifdef GRAPHREP_SANITIZED
constexpr bool is_sanitized = true;
#else
constexpr bool is_sanitized = false;
#endif

const char old_output[] = "old content\n";

struct HostileCase {
    const char* name;
    std::string text;  // the input file
    int exit_status;
    std::string after_prefix;     // for status 1: what follows the graph file error prefix
    std::string replaced_output;  // for status 0: the new output file, after the comment line
};

// Runs the program on text with an existing output file under an optional shell prefix.
// A refusal must leave that file byte for byte as it was; a completed run replaces it.
void check_hostile_case(const HostileCase& c, const std::string& prefix = "") {
    SCOPED_TRACE(c.name);
    Scratch scratch;
    ASSERT_TRUE(write_file(scratch.input, c.text));
    ASSERT_TRUE(write_file(scratch.output, old_output));
    test_support::ProgramRun run =
        run_program("-in " + scratch.input + " -times 2 -out " + scratch.output, prefix);
    EXPECT_EQ(run.exit_status, c.exit_status);
    EXPECT_EQ(run.standard_error, "");
    if (c.exit_status == 0) {
        EXPECT_EQ(run.standard_output, "");
        EXPECT_EQ(file_bytes(scratch.output), "% 2 " + scratch.input + "\n" + c.replaced_output);
    } else {
        EXPECT_EQ(run.standard_output,
                  "ERROR in graph file `" + scratch.input + "':" + c.after_prefix);
        EXPECT_EQ(file_bytes(scratch.output), old_output);
    }
}

TEST(EndToEnd, hostile_bytes_and_long_lines_get_their_message) {
    const std::string ten_megabytes(10'000'000, ' ');
    const std::string huge_number = "1" + std::string(10'000'000, '0');
    const HostileCase cases[] = {
        {"only NUL bytes", std::string(1 << 20, '\0'), 1, " Invalid number of vertices (0).\n", ""},
        // The number is cut at the segment's 199 characters and saturates.
        {"ten-megabyte number as the vertex count", huge_number + " 4\n2 3\n1 3 4\n1 2\n2\n", 1,
         " Invalid number of vertices (2147483647).\n", ""},
        {"ten-megabyte number as a neighbour", "4 4\n2 3 " + huge_number + "\n1 3 4\n1 2\n2\n", 1,
         " nvtxs=4, but edge (1,2147483647) was input.\n", ""},
        {"edge count one past the limit", "2 1073741824\n2\n1\n", 1,
         " Invalid number of expected edges (1073741824).\n", ""},
        // A word ends its line; the lines after it are read as usual.
        {"ten-megabyte word ending a vertex line",
         "4 4\n2 3 " + std::string(10'000'000, 'x') + "\n1 3 4\n1 2\n2\n", 0, "",
         square_twice_body},
        {"ten-megabyte comment without a newline after the last vertex",
         std::string(square_graph) + "%" + ten_megabytes, 0, "", square_twice_body},
        {"ten megabytes of blanks ending the last line without a newline",
         "4 4\n2 3\n1 3 4\n1 2\n2" + ten_megabytes, 0, "", square_twice_body},
    };
    for (const HostileCase& c : cases)
        check_hostile_case(c);
}

TEST(EndToEnd, reads_a_ten_megabyte_vertex_line_without_a_newline) {
    // A star: every leaf lists the centre, and the centre, last, lists every leaf on one line
    // of about 10 MB that the file ends without a newline.
    constexpr int leaf_count = 1'400'000;
    const std::string centre = std::to_string(leaf_count + 1);
    std::string text = centre + " " + std::to_string(leaf_count) + "\n";
    std::string copy_lines = centre + " " + std::to_string(leaf_count) + "\n";
    for (int leaf = 1; leaf <= leaf_count; ++leaf) {
        text += centre + "\n";
        copy_lines += centre + " \n";
    }
    for (int leaf = 1; leaf <= leaf_count; ++leaf) {
        text += std::to_string(leaf) + (leaf < leaf_count ? " " : "");
        copy_lines += std::to_string(leaf) + " ";
    }
    copy_lines += "\n";
    ASSERT_GT(text.size() - text.rfind('\n'), 10'000'000u);

    Scratch scratch;
    ASSERT_TRUE(write_file(scratch.input, text));
    test_support::ProgramRun run =
        run_program("-in " + scratch.input + " -times 1 -out " + scratch.output);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.standard_output, "");
    EXPECT_EQ(run.standard_error, "");
    EXPECT_TRUE(file_bytes(scratch.output) == "% 1 " + scratch.input + "\n" + copy_lines);
}

TEST(EndToEnd, memory_shortage_ends_the_run_with_its_message) {
    if (is_sanitized) {
        GTEST_SKIP() << "an address-space cap breaks AddressSanitizer";
    }
    // About 390 MiB: the reader's arrays for 20000000 vertices without edges (80 MB) fit,
    // the vertex graph built from them (about 36 bytes per vertex) does not. Without a cap
    // the first two files depend on the machine: the reader sizes its arrays from the
    // header alone, and two billion vertices ask for 16 GB before a line is read.
    const std::string cap = "ulimit -v 400000;";
    const HostileCase cases[] = {
        {"two billion vertices on a tiny file", "2000000000 1\n2\n1\n", 1,
         " not enough memory for 2000000000 vertices and 1 edges.\n", ""},
        {"the largest edge count", "2 1073741823\n2\n1\n", 1,
         " not enough memory for 2 vertices and 1073741823 edges.\n", ""},
    };
    for (const HostileCase& c : cases)
        check_hostile_case(c, cap);

    Scratch scratch;
    ASSERT_TRUE(write_file(scratch.input, "20000000 0\n"));
    ASSERT_TRUE(write_file(scratch.output, old_output));
    test_support::ProgramRun run =
        run_program("-in " + scratch.input + " -times 2 -out " + scratch.output, cap);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_output, "Error. Not enough memory to build the graph.\n");
    EXPECT_EQ(run.standard_error, "");
    EXPECT_EQ(file_bytes(scratch.output), old_output);
}

// A cap on the address space, from one at which the run cannot start to one at which it
// completes, narrowed down to 4 KiB: the writer's buffers for 64 threads are the last large
// allocation, so short of them the run goes on with fewer threads, and just below the lowest
// cap that completes, not even one thread has its buffer. Every run either completes with the
// whole file or ends with a memory message; none reports a write failure.
TEST(EndToEnd, memory_shortage_while_writing_is_never_a_write_failure) {
    if (is_sanitized) {
        GTEST_SKIP() << "an address-space cap breaks AddressSanitizer";
    }
    Scratch scratch;
    const std::string arguments =
        "-in " + scratch.input + " -times 100000 -threads 64 -out " + scratch.output;
    ASSERT_EQ(run_program(arguments).exit_status, 0);
    const std::string complete = file_bytes(scratch.output);
    const std::string write_shortage = "Error. Not enough memory to write the graph.\n";
    auto run_capped = [&](int cap) {
        SCOPED_TRACE("ulimit -v " + std::to_string(cap));
        std::remove(scratch.output.c_str());
        test_support::ProgramRun run =
            run_program(arguments, "ulimit -v " + std::to_string(cap) + ";");
        // 127: the loader could not map the program; none of its code ran.
        EXPECT_TRUE(run.exit_status == 0 || run.exit_status == 1 || run.exit_status == 127);
        if (run.exit_status == 0) {
            EXPECT_EQ(run.standard_output, "");
            EXPECT_TRUE(file_bytes(scratch.output) == complete);
        }
        if (run.exit_status == 1) {
            EXPECT_EQ(run.standard_output.find("Cannot write"), std::string::npos);
            EXPECT_NE(run.standard_output.find("memory"), std::string::npos) << run.standard_output;
            EXPECT_FALSE(file_exists(scratch.output));
        }
        return run;
    };
    int failing = 1000;
    int completing = 400000;
    ASSERT_NE(run_capped(failing).exit_status, 0);
    ASSERT_EQ(run_capped(completing).exit_status, 0);
    while (completing - failing > 4) {
        const int cap = failing + (completing - failing) / 2;
        (run_capped(cap).exit_status == 0 ? completing : failing) = cap;
    }
    EXPECT_EQ(run_capped(failing).standard_output, write_shortage);
}

TEST(EndToEnd, unusable_paths_are_refused_and_damage_nothing) {
    struct PathCase {
        const char* name;
        std::string arguments;  // "IN", "OUT" and "DIR" stand for the scratch paths
        std::string refused_name;
        bool needs_permission_checks;
    };
    const PathCase cases[] = {
        {"input without read permission", "-in IN -out OUT", "IN", true},
        {"input below a regular file", "-in IN/graph -out OUT", "IN/graph", false},
        {"output below a regular file", "-in IN -out IN/out.graph", "IN/out.graph", false},
        {"output is a directory", "-in IN -out DIR", "DIR", false},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Root reads a file whatever its permission bits say.
        if (c.needs_permission_checks && geteuid() == 0) continue;
        Scratch scratch;
        std::string directory = scratch_path("dir");
        ASSERT_EQ(system(("rm -rf " + directory + " && mkdir " + directory).c_str()), 0);
        ASSERT_TRUE(write_file(scratch.output, old_output));
        if (c.needs_permission_checks) {
            ASSERT_EQ(chmod(scratch.input.c_str(), 0), 0);
        }
        auto with_paths = [&](std::string text) {
            for (std::string::size_type at; (at = text.find("DIR")) != std::string::npos;) {
                text.replace(at, 3, directory);
            }
            return with_scratch(text, scratch);
        };
        test_support::ProgramRun run = run_program("-times 2 " + with_paths(c.arguments));
        EXPECT_EQ(run.exit_status, 1);
        EXPECT_EQ(run.standard_output,
                  "Error. Cannot open graph file: " + with_paths(c.refused_name) + "\n");
        EXPECT_EQ(run.standard_error, "");
        ASSERT_EQ(chmod(scratch.input.c_str(), 0644), 0);
        EXPECT_EQ(file_bytes(scratch.input), square_graph);
        EXPECT_EQ(file_bytes(scratch.output), old_output);
        // No temporary file is left behind in the directory.
        EXPECT_EQ(system(("rmdir " + directory).c_str()), 0);
    }
}

TEST(EndToEnd, memory_shortage_under_the_sanitizer_gets_the_same_messages) {
    if (!is_sanitized) {
        GTEST_SKIP() << "the plain build is capped with ulimit -v in another test";
    }
    // AddressSanitizer refuses any single allocation above this size, as a shortage would,
    // and says so on standard error; the run's own messages must be those of a plain build.
    const std::string cap = "ASAN_OPTIONS=\"$ASAN_OPTIONS:max_allocation_size_mb=300\"";
    const std::string reader_prefix = "ERROR in graph file `IN':";
    struct ShortageCase {
        const char* name;
        std::string text;  // the input file
        std::string standard_output;
    };
    const ShortageCase cases[] = {
        {"two billion vertices on a tiny file", "2000000000 1\n2\n1\n",
         reader_prefix + " not enough memory for 2000000000 vertices and 1 edges.\n"},
        {"the largest edge count", "2 1073741823\n2\n1\n",
         reader_prefix + " not enough memory for 2 vertices and 1073741823 edges.\n"},
        // The reader's 80 MB fit; the vertex graph's records (480 MB) do not.
        {"twenty million vertices without edges", "20000000 0\n",
         "Error. Not enough memory to build the graph.\n"},
    };
    for (const ShortageCase& c : cases) {
        SCOPED_TRACE(c.name);
        Scratch scratch;
        ASSERT_TRUE(write_file(scratch.input, c.text));
        ASSERT_TRUE(write_file(scratch.output, old_output));
        test_support::ProgramRun run =
            run_program("-in " + scratch.input + " -times 2 -out " + scratch.output, cap);
        EXPECT_EQ(run.exit_status, 1);
        EXPECT_EQ(run.standard_output, with_scratch(c.standard_output, scratch));
        EXPECT_NE(run.standard_error.find("AddressSanitizer failed to allocate"),
                  std::string::npos);
        EXPECT_EQ(file_bytes(scratch.output), old_output);
    }
}
}  // namespace

namespace {

// Runs script with sh in a fresh directory holding sq.graph (the square) and w.graph (a
// graph with a self edge); $G is the program, run as on a file system without unnamed
// files when is_named. The status is the script's.
test_support::ProgramRun run_script(const std::string& script, bool is_named = false) {
    std::string directory = scratch_path("script");
    std::string setup = "rm -rf " + directory + " && mkdir " + directory + " && cd " + directory;
    EXPECT_EQ(system(setup.c_str()), 0);
    write_file(directory + "/sq.graph", square_graph);
    write_file(directory + "/w.graph", "6 5\n2 3\n1 3\n1 2 4\n3 5 4\n4\n\n");
    std::string program = GRAPHREP_BINARY;
    if (is_named) {
        const char* asan_options = std::getenv("ASAN_OPTIONS");
        program = std::string("env LD_PRELOAD=") + GRAPHREP_NO_UNNAMED_FILES +
                  " ASAN_OPTIONS=verify_asan_link_order=0:" +
                  (asan_options == nullptr ? "" : asan_options) + " " + program;
    }
    std::string error_path = directory + ".stderr";
    std::string command =
        "cd " + directory + " && G='" + program + "' && { " + script + "\n} 2>" + error_path;
    test_support::ProgramRun run;
    std::FILE* pipe = popen(command.c_str(), "r");
    for (int byte; pipe != nullptr && (byte = std::fgetc(pipe)) != EOF;)
        run.standard_output += static_cast<char>(byte);
    int status = pipe == nullptr ? -1 : pclose(pipe);
    run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.standard_error = file_bytes(error_path);
    EXPECT_EQ(system(("rm -rf " + directory + " " + error_path).c_str()), 0);
    return run;
}

TEST(EndToEnd, writes_through_pipes_and_redirects_reached_by_name) {
    const std::string warning = "WARNING: Self edge (4, 4) being ignored.\n";
    const std::string graph =
        "% 2 w.graph\n12 10\n2 3 \n1 3 \n1 2 4 \n3 5 \n4 \n\n"
        "8 9 \n7 9 \n7 8 10 \n9 11 \n10 \n\n";
    struct ScriptCase {
        const char* name;
        const char* script;
        std::string standard_output;
    };
    const ScriptCase cases[] = {
        {"/dev/stdout a pipe", "$G -in w.graph -times 2 -out /dev/stdout | cat", warning + graph},
        {"/dev/fd/3 a pipe apart from standard output",
         "$G -in w.graph -times 2 -out /dev/fd/3 3>&1 >/dev/null | cat", graph},
        {"/dev/stderr a pipe", "$G -in w.graph -times 2 -out /dev/stderr 2>&1 >/dev/null | cat",
         graph},
        {"a redirect through /dev/stdout keeps what comes before and after",
         "{ echo BEFORE; $G -in w.graph -times 2 -out /dev/stdout; echo AFTER; } >log; cat log",
         "BEFORE\n" + warning + graph + "AFTER\n"},
        {"the same appending",
         "echo OLD >log; { echo BEFORE; $G -in w.graph -times 2 -out /dev/stdout; } >>log; cat log",
         "OLD\nBEFORE\n" + warning + graph},
        {"a FIFO read by another process",
         "mkfifo f && { cat f >got & } && $G -in w.graph -times 2 -out f && wait && cat got",
         warning + graph},
        {"the file already open as standard error keeps what came before",
         "{ echo BEFORE >&2; $G -in sq.graph -times 1 -out log; } 2>log; cat log",
         std::string("BEFORE\n% 1 sq.graph\n4 4\n2 3 \n1 3 4 \n1 2 \n2 \n")},
        // Where / may be written (root), a name right below it; elsewhere the same bytes
        // through standard output.
        {"a name under /",
         "n=/graphrep-$$.graph; if [ -w / ]; then $G -in sq.graph -times 1 -out $n && cat $n;"
         " rm -f $n; else $G -in sq.graph -times 1 -out -; fi",
         std::string("% 1 sq.graph\n4 4\n2 3 \n1 3 4 \n1 2 \n2 \n")},
        {"a closed reader ends the run with SIGPIPE",
         "($G -in sq.graph -times 300000 -out /dev/stdout; echo $? >status) | head -c 1 >/dev/null;"
         " cat status; ls",
         "141\nsq.graph\nstatus\nw.graph\n"},
    };
    for (const ScriptCase& c : cases) {
        SCOPED_TRACE(c.name);
        test_support::ProgramRun run = run_script(c.script);
        EXPECT_EQ(run.exit_status, 0);
        EXPECT_EQ(run.standard_output, c.standard_output);
        EXPECT_EQ(run.standard_error, "");
    }
}

bool has_unnamed_files() {
    int descriptor = open("/tmp", O_TMPFILE | O_WRONLY, 0600);
    if (descriptor >= 0) close(descriptor);
    return descriptor >= 0;
}

// Stops the program (pid $1) as soon as it has written a first piece of the graph: the
// square gives no message, so its first write is the output's. A shell loop without
// commands of its own sees that within microseconds.
const char stop_mid_write[] =
    "stop_mid_write() { for i in $(seq 100000); do [ -r /proc/$1/io ] || break;"
    " while read key value; do [ $key = wchar: ] && [ $value -gt 0 ] && kill -STOP $1 &&"
    " return; done </proc/$1/io; done; echo no write; }\n";

TEST(EndToEnd, an_interrupted_run_leaves_the_old_output_and_no_temporary_file) {
    struct EndingCase {
        const char* name;
        bool is_named;  // a named temporary file, as without unnamed files
        std::string script;
        std::string standard_output;  // the status, the directory during and after, the file
    };
    // A stopped run is killed, or signalled or its directory renamed and then continued.
    auto stopped = [](int times, const std::string& action) {
        return "echo old >d/out; $G -in sq.graph -times " + std::to_string(times) +
               " -out d/out &\nstop_mid_write $!; ls -A d | cut -c 1-10; " + action +
               "; wait $! 2>/dev/null; echo $?;";
    };
    const std::string killed = " ls -A d; cat d/out";
    const std::string renamed =
        stopped(1000000, "mv d e; kill -CONT $!") + " ls -A e; tail -n 1 e/out";
    auto limited = [](int times) {
        return "echo old >d/out; (ulimit -f 1; $G -in sq.graph -times " + std::to_string(times) +
               " -out d/out); echo $?; ls -A d; cat d/out";
    };
    const std::string write_failure = "Error. Cannot write graph file: d/out\n1\nout\nold\n";
    const EndingCase cases[] = {
        {"SIGKILL", false, stopped(20000000, "kill -KILL $!") + killed, "out\n137\nout\nold\n"},
        {"SIGTERM", false, stopped(20000000, "kill -TERM $!; kill -CONT $!") + killed,
         "out\n143\nout\nold\n"},
        {"SIGTERM, named temporary file", true,
         stopped(20000000, "kill -TERM $!; kill -CONT $!") + killed,
         ".graphrep-\nout\n143\nout\nold\n"},
        {"SIGHUP, named temporary file", true,
         stopped(20000000, "kill -HUP $!; kill -CONT $!") + killed,
         ".graphrep-\nout\n129\nout\nold\n"},
        // A run started with SIGHUP ignored (nohup) keeps it ignored.
        {"SIGHUP ignored from the start, named temporary file", true,
         "trap '' HUP; " + stopped(1000000, "kill -HUP $!; kill -CONT $!") + " ls -A d;" +
             " tail -n 1 d/out",
         ".graphrep-\nout\n0\nout\n3999998 \n"},
        {"directory renamed", false, renamed, "out\n0\nout\n3999998 \n"},
        {"directory renamed, named temporary file", true, renamed,
         ".graphrep-\nout\n0\nout\n3999998 \n"},
        {"file size limit", false, limited(100000), write_failure},
        {"file size limit, named temporary file", true, limited(100000), write_failure},
        // 1249 bytes, held in the stream's buffer until the final flush fails.
        {"file size limit at the flush, named temporary file", true, limited(40), write_failure},
    };
    // Every signal that ends a process by default removes the named temporary file, and the
    // status still tells the signal.
    struct EndingSignal {
        const char* name;
        int number;
    };
    const EndingSignal ending_signals[] = {
        {"USR1", SIGUSR1}, {"USR2", SIGUSR2}, {"ALRM", SIGALRM}, {"VTALRM", SIGVTALRM},
        {"PROF", SIGPROF}, {"XCPU", SIGXCPU}, {"PIPE", SIGPIPE}};
    for (const EndingSignal& signal : ending_signals) {
        SCOPED_TRACE(std::string("SIG") + signal.name + ", named temporary file");
        const std::string action = std::string("kill -") + signal.name + " $!; kill -CONT $!";
        test_support::ProgramRun run =
            run_script(stop_mid_write + ("mkdir d; " + stopped(20000000, action) + killed), true);
        EXPECT_EQ(run.standard_output,
                  ".graphrep-\nout\n" + std::to_string(128 + signal.number) + "\nout\nold\n");
        EXPECT_EQ(run.standard_error, "");
    }
    const bool can_run_unnamed = has_unnamed_files();
    for (const EndingCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.is_named && !can_run_unnamed) continue;
        test_support::ProgramRun run =
            run_script(stop_mid_write + ("mkdir d; " + c.script), c.is_named);
        EXPECT_EQ(run.standard_output, c.standard_output);
        EXPECT_EQ(run.standard_error, "");
    }
    if (!can_run_unnamed) {
        GTEST_SKIP() << "rows with unnamed files skipped: no O_TMPFILE in /tmp on this machine";
    }
}

TEST(EndToEnd, a_replaced_file_keeps_its_permission_bits_but_no_set_id_bit) {
    const bool is_root = geteuid() == 0;
    struct ModeCase {
        const char* name;
        mode_t old_mode;
        bool is_owned_by_nobody;  // root only: the old file belongs to user 65534
        bool is_run_by_nobody;    // root only: the run is user 65534's
        mode_t new_mode;
        uid_t new_owner;  // 0 for the runner
    };
    const ModeCase cases[] = {
        {"set-user-ID and set-group-ID", 06755, false, false, 0755, 0},
        {"sticky bit", 01640, false, false, 0640, 0},
        {"root keeps the owner", 06750, true, false, 0750, 65534},
        {"another runner takes the file over", 0666, false, true, 0666, 65534},
        // Any write bit lets the file be replaced; only root may write it without the owner's.
        {"group write bit only", 0060, false, false, 0060, 0},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const bool needs_root =
            c.is_owned_by_nobody || c.is_run_by_nobody || (c.old_mode & 0200) == 0;
        if (needs_root && !is_root) continue;
        std::string directory = scratch_path("modes");
        ASSERT_EQ(system(("rm -rf " + directory + " && mkdir -m 777 " + directory).c_str()), 0);
        std::string input = directory + "/in.graph", output = directory + "/out.graph";
        std::string other_name = directory + "/other.graph";
        write_file(input, square_graph);
        write_file(output, old_output);
        ASSERT_EQ(link(output.c_str(), other_name.c_str()), 0);
        if (c.is_owned_by_nobody) {
            ASSERT_EQ(chown(output.c_str(), 65534, 65534), 0);
        }
        ASSERT_EQ(chmod(output.c_str(), c.old_mode), 0);
        test_support::ProgramRun run = run_program(
            "-in " + input + " -times 2 -out " + output,
            c.is_run_by_nobody ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "");
        EXPECT_EQ(run.exit_status, 0);
        struct stat status;
        ASSERT_EQ(stat(output.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, c.new_mode);
        EXPECT_EQ(status.st_uid, c.new_owner == 0 ? geteuid() : c.new_owner);
        // A hard link is split: the other name keeps the old content.
        EXPECT_EQ(file_bytes(other_name), old_output);
        EXPECT_EQ(file_bytes(output), "% 2 " + input + "\n" + square_twice_body);
        EXPECT_EQ(system(("rm -rf " + directory).c_str()), 0);
    }
    if (!is_root) {
        GTEST_SKIP() << "rows with another owner or runner skipped: they need root";
    }
}

TEST(EndToEnd, a_link_planted_in_a_sticky_directory_is_not_followed) {
    if (geteuid() != 0 || file_bytes("/proc/sys/fs/protected_symlinks") != "1\n" ||
        system("setpriv --reuid=65534 true") != 0) {
        GTEST_SKIP() << "needs root, fs.protected_symlinks=1 and setpriv to act as user 65534";
    }
    Scratch scratch;
    std::string directory = scratch_path("sticky");
    std::string link = directory + "/link";
    ASSERT_EQ(system(("rm -rf " + directory + " && mkdir -m 1777 " + directory).c_str()), 0);
    write_file(scratch.output, old_output);
    ASSERT_EQ(system(("setpriv --reuid=65534 --regid=65534 --clear-groups ln -s " + scratch.output +
                      " " + link)
                         .c_str()),
              0);
    test_support::ProgramRun run = run_program("-in " + scratch.input + " -times 2 -out " + link);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_output, "Error. Cannot open graph file: " + link + "\n");
    EXPECT_EQ(file_bytes(scratch.output), old_output);
    EXPECT_EQ(system(("rm -rf " + directory).c_str()), 0);
}

}  // namespace

namespace {

// Standard streams, check-only, strict and wide runs. In a command, {GR} stands for the
// program and {IN}, {WARN}, {BAD}, {TWO} and {OUT} for the scratch files; {OUT} must not
// exist after a run that writes no file.
TEST(EndToEnd, streams_checks_and_limits_take_their_own_paths) {
    struct StreamCase {
        const char* name;
        std::string command;
        int exit_status;
        std::string standard_output;
        std::string standard_error;
        std::string written;  // the bytes of OUT; empty when no file may be written
    };
    const std::string warning = "WARNING: Self edge (1, 1) being ignored.\n";
    const std::string refused_strictly = "Error. Warnings are not accepted with -strict.\n";
    const StreamCase cases[] = {
        {"graph to standard output, warning to standard error", "{GR} -in {WARN} -times 2 -out -",
         0, "% 2 {WARN}\n4 2\n2 \n1 \n4 \n3 \n", warning, ""},
        {"graph from standard input to standard output", "cat {IN} | {GR} -in - -times 2", 0,
         std::string("% 2 -\n") + square_twice_body, "", ""},
        {"graph from standard input to a file", "cat {WARN} | {GR} -in - -times 1 -out {OUT}", 0,
         warning, "", "% 1 -\n2 1\n2 \n1 \n"},
        {"refusal goes to standard error too", "{GR} -in {IN} -times 0 -out -", 1, "",
         "at least two times.\n", ""},
        {"check of a good file", "{GR} -check -in {IN} -out {OUT}", 0, "", "", ""},
        {"check ignores the copy count", "{GR} -in {IN} -times 0 -check", 0, "", "", ""},
        {"check of a bad file", "{GR} -check -in {BAD} -times 2 -out {OUT}", 1,
         "ERROR in graph file `{BAD}': nvtxs=2, but edge (1,3) was input.\n", "", ""},
        {"check of standard input keeps messages on standard output",
         "cat {WARN} | {GR} -check -in -", 0, warning, "", ""},
        {"strict run with a warning", "{GR} -strict -in {WARN} -times 2 -out {OUT}", 1,
         warning + refused_strictly, "", ""},
        {"strict check with a warning", "{GR} -in {WARN} -check -strict", 1,
         warning + refused_strictly, "", ""},
        {"strict run of a clean file", "{GR} -strict -in {IN} -times 2 -out {OUT}", 0, "", "",
         "% 2 {IN}\n" + std::string(square_twice_body)},
        {"past 32 bits without -wide", "{GR} -in {TWO} -times 2147483647 -out {OUT}", 1,
         "Error. Replicated graph too large: 4294967294 vertices, 2147483647 edges.\n"
         "Use -wide to write it for readers with 64-bit vertex numbers.\n",
         "", ""},
        {"past 32 bits with -wide", "{GR} -in {TWO} -times 2147483647 -wide -out - | head -n 4", 0,
         "% 2147483647 {TWO}\n4294967294 2147483647\n2 \n1 \n", "", ""},
        // The previous copy of copy 2 is copy 2147483646, not one past the 32-bit limit.
        {"joined copies past 2^30", "{GR} -in {ONE} -times 2147483647 -join 1 -out - | head -n 5",
         0, "% 2147483647 {ONE}\n2147483647 2147483647\n2 2147483647 \n1 3 \n2 4 \n", "", ""},
        // Faults of the reader that today's files may show.
        {"vertex weight past 2147483647",
         "printf '2 1 10\\n99999999999 2\\n3 1\\n' | {GR} -in - -times 2 -weights -out {OUT}", 1,
         "ERROR in graph file `-': too large weight entered for vertex 1.\n", "", ""},
        {"format code of eleven digits",
         "printf '2 1 10000000000\\n2\\n1\\n' | {GR} -in - -times 1 -weights -out {OUT}", 0, "", "",
         "% 1 -\n2 1\n2 \n1 \n"},
        {"byte order mark in front of the file",
         "printf '\\357\\273\\2773 2\\n2\\n1 3\\n2\\n' | {GR} -check -strict -in -", 0, "", "", ""},
        {"edge weighing differently at its ends, strict check",
         "printf '2 1 1\\n2 1\\n1 3\\n' | {GR} -check -strict -in -", 1,
         "WARNING: Edge (2,1) weighs 3, but (1,2) weighs 1.\n" + refused_strictly, "", ""},
        {"edge weighing differently at its ends, both ends copied",
         "printf '2 1 1\\n2 1\\n1 3\\n' | {GR} -in - -times 1 -weights -out {OUT}", 0,
         "WARNING: Edge (2,1) weighs 3, but (1,2) weighs 1.\n", "", "% 1 -\n2 1 1\n2 1 \n1 3 \n"},
        {"a closed reader ends the run as it ends other filters",
         "{ {GR} -in {TWO} -times 2147483647 -wide -out -; echo status $? >&2; } | head -c 1", 0,
         "%", "status 141\n", ""},
        {"a write failure on standard output is reported on standard error",
         "{GR} -in {IN} -times 2 -out - >/dev/full", 1, "", "Error. Cannot write graph file: -\n",
         ""},
        {"a closed standard error takes no file's place",
         "echo old >{OUT}; {GR} -in {IN} -times 2 -out {OUT} 2>&-", 0, "", "",
         "% 2 {IN}\n" + std::string(square_twice_body)},
        {"a closed standard error keeps the warning out of the graph",
         "{GR} -in {WARN} -times 2 -out - 2>&-", 0, "% 2 {WARN}\n4 2\n2 \n1 \n4 \n3 \n", "", ""},
        {"a closed standard output takes no file's place",
         "{GR} -in {WARN} -times 2 -out {OUT} >&-", 0, "", "", "% 2 {WARN}\n4 2\n2 \n1 \n4 \n3 \n"},
        {"a check whose messages are lost fails", "{GR} -check -in {WARN} >/dev/full", 1, "",
         "Error. Cannot write messages.\n", ""},
        {"a run whose messages are lost leaves the old file",
         "echo old >{OUT}; {GR} -in {WARN} -times 2 -out {OUT} >/dev/full", 1, "",
         "Error. Cannot write messages.\n", "old\n"},
        {"a run whose messages are lost writes no graph",
         "{GR} -in {WARN} -times 2 -out - 2>/dev/full", 1, "", "", ""},
    };
    const std::string paths[] = {scratch_path("in"),  scratch_path("warn"), scratch_path("bad"),
                                 scratch_path("two"), scratch_path("out"),  scratch_path("one")};
    const char* const keys[] = {"{IN}", "{WARN}", "{BAD}", "{TWO}", "{OUT}", "{ONE}"};
    write_file(paths[0], square_graph);
    write_file(paths[1], "2 1\n1 2\n1\n");
    write_file(paths[2], "2 1\n3\n1\n");
    write_file(paths[3], "2 1\n2\n1\n");
    write_file(paths[5], "1 0\n");
    auto with_paths = [&](std::string text) {
        for (std::string::size_type at; (at = text.find("{GR}")) != std::string::npos;) {
            text.replace(at, 4, GRAPHREP_BINARY);
        }
        for (int k = 0; k < 6; ++k) {
            for (std::string::size_type at; (at = text.find(keys[k])) != std::string::npos;) {
                text.replace(at, std::string(keys[k]).size(), paths[k]);
            }
        }
        return text;
    };
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(paths[4].c_str());
        std::string error_path = scratch_path("stderr");
        test_support::ProgramRun run =
            test_support::run_shell("{ " + with_paths(c.command) + "; } 2>" + error_path);
        EXPECT_EQ(run.exit_status, c.exit_status);
        EXPECT_EQ(run.standard_output, with_paths(c.standard_output));
        EXPECT_EQ(file_bytes(error_path), with_paths(c.standard_error));
        EXPECT_EQ(file_exists(paths[4]), !c.written.empty());
        if (!c.written.empty()) {
            EXPECT_EQ(file_bytes(paths[4]), with_paths(c.written));
        }
        std::remove(error_path.c_str());
    }
    for (const std::string& path : paths)
        std::remove(path.c_str());
}

TEST(EndToEnd, takes_names_whole_and_refuses_counts_past_the_limit) {
    const RefusalCase refusals[] = {
        {"one past the limit", "-in IN -out OUT -times 2147483648",
         "Error. Invalid number of copies (2147483648).\n"},
        {"negative, before the count test", "-in IN -out OUT -times ' -99999999999x'",
         "Error. Invalid number of copies ( -99999999999x).\n"},
        {"before the input is opened", "-in /nonexistent -out OUT -times 99999999999999999999",
         "Error. Invalid number of copies (99999999999999999999).\n"},
    };
    for (const RefusalCase& c : refusals) {
        SCOPED_TRACE(c.name);
        Scratch scratch;
        test_support::ProgramRun run = run_program(with_scratch(c.arguments, scratch));
        EXPECT_EQ(run.exit_status, 1);
        EXPECT_EQ(run.standard_output, c.standard_output);
        EXPECT_FALSE(file_exists(scratch.output));
    }

    const std::string input = scratch_path("my in.graph");
    const std::string output = scratch_path("my out.graph");
    write_file(input, square_graph);
    test_support::ProgramRun run =
        run_program("-in ' " + input + "\t' -times 2 -out '" + output + " '");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.standard_output, "");
    EXPECT_EQ(file_bytes(output), "% 2 " + input + "\n" + square_twice_body);
    std::remove(input.c_str());
    std::remove(output.c_str());
}

TEST(EndToEnd, edges_listed_at_their_lower_end_only_end_the_run_without_output) {
    const HostileCase cases[] = {
        {"the higher end's line is empty", "3 2\n2 3\n1\n\n", 1,
         " Edge (1, 3) entered but not (3, 1)\n"
         "WARNING: I expected 2 edges entered twice, but I only count 3.\n",
         ""},
        // A file cut in the middle loses the higher ends of its last edges.
        {"file cut after the first lines", "4 2\n2 4\n1\n", 1,
         " Edge (1, 4) entered but not (4, 1)\n"
         "WARNING: I expected 2 edges entered twice, but I only count 3.\n",
         ""},
    };
    for (const HostileCase& c : cases)
        check_hostile_case(c);
}

// Blocks of exactly 2 MiB are the first the reader maps rather than takes from the heap: the
// offsets of 524287 vertices, and the sorted copy of the lists of 262144 edges.
TEST(EndToEnd, reads_and_replicates_blocks_of_exactly_two_mebibytes) {
    std::string few_edges = "1048574 2\n2 \n1 \n";
    few_edges += std::string(524285, '\n') + "524289 \n524288 \n" + std::string(524285, '\n');
    std::string matching = "524288 262144\n";
    std::string matching_twice = "1048576 524288\n";
    for (int copy = 0; copy < 2; ++copy) {
        for (int v = 1; v <= 524288; ++v) {
            const int mate = v % 2 == 1 ? v + 1 : v - 1;
            if (copy == 0) matching += std::to_string(mate) + "\n";
            matching_twice += std::to_string(mate + copy * 524288) + " \n";
        }
    }
    const HostileCase cases[] = {
        {"524287 vertices", "524287 1\n2\n1\n", 0, "", few_edges},
        {"262144 edges", matching, 0, "", matching_twice},
    };
    for (const HostileCase& c : cases)
        check_hostile_case(c);
    // The same through a pipe, whose blocks grow from small to large while the input goes on.
    Scratch scratch;
    ASSERT_TRUE(write_file(scratch.input, matching));
    const test_support::ProgramRun run = run_program(
        "-in - -times 2 -threads 2 -out " + scratch.output, "cat " + scratch.input + " |");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.standard_output, "");
    EXPECT_EQ(file_bytes(scratch.output), "% 2 -\n" + matching_twice);
}

TEST(EndToEnd, a_failing_read_ends_the_run_without_output) {
    // Reading this process's own memory at offset 0 fails at once on Linux.
    Scratch scratch;
    ASSERT_TRUE(write_file(scratch.output, old_output));
    test_support::ProgramRun run =
        run_program("-in /proc/self/mem -times 2 -out " + scratch.output);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_output,
              "ERROR in graph file `/proc/self/mem': Invalid number of vertices (0).\n"
              "Error. Cannot read graph file: /proc/self/mem\n");
    EXPECT_EQ(file_bytes(scratch.output), old_output);
}

struct JoinCase {
    const char* name;
    std::string graph;
    std::string options;  // besides -in and -out
    std::string body;     // the output after its comment line
};

// Each output is read back with -weights: it must be accepted without a word and give the
// same lines again, join edges and weights included.
TEST(EndToEnd, joined_and_weighted_copies_read_back_silently) {
    const std::string weighted = "3 2 11\n4 2 1.5\n7 1 1.5 3 0.1\n2 2 0.1\n";
    const JoinCase cases[] = {
        {"one copy has no link", square_graph, "-times 1 -join 1:4",
         "4 4\n2 3 \n1 3 4 \n1 2 \n2 \n"},
        {"two copies, U:V and V:U", square_graph, "-times 2 -join 2:1,1:2",
         "8 10\n2 3 6 \n1 3 4 5 \n1 2 \n2 \n6 7 2 \n5 7 8 1 \n5 6 \n6 \n"},
        {"two copies, V:V is one edge", square_graph, "-times 2 -join 4",
         "8 9\n2 3 \n1 3 4 \n1 2 \n2 8 \n6 7 \n5 7 8 \n5 6 \n6 4 \n"},
        {"three copies, lists added up", square_graph, "-times 3 -join 2 -join ' 4,,1:3 '",
         "12 21\n2 3 7 \n1 3 4 6 10 \n1 2 9 \n2 8 12 \n6 7 11 \n5 7 8 2 10 \n5 6 1 \n6 4 12 \n"
         "10 11 3 \n9 11 12 2 6 \n9 10 5 \n10 4 8 \n"},
        {"five copies in a ring", square_graph, "-times 5 -join 1",
         "20 25\n2 3 5 17 \n1 3 4 \n1 2 \n2 \n6 7 1 9 \n5 7 8 \n5 6 \n6 \n10 11 5 13 \n9 11 12 \n"
         "9 10 \n10 \n14 15 9 17 \n13 15 16 \n13 14 \n14 \n18 19 1 13 \n17 19 20 \n17 18 \n18 \n"},
        {"weights asked of an unweighted file", square_graph, "-times 2 -weights",
         square_twice_body},
        {"weights not asked for", weighted, "-times 2", "6 4\n2 \n1 3 \n2 \n5 \n4 6 \n5 \n"},
        {"both weights, joined", weighted, "-times 2 -weights -join 3:1",
         "6 5 11\n4 2 1.5 \n7 1 1.5 3 0.1 \n2 2 0.1 4 1 \n4 5 1.5 3 1 \n7 4 1.5 6 0.1 \n"
         "2 5 0.1 \n"},
        {"vertex weights only", "2 1 10\n5 2\n6 1\n", "-times 1 -weights", "2 1 10\n5 2 \n6 1 \n"},
        {"edge weights only, joined", "2 1 1\n2 2.5\n1 2.5\n", "-times 2 -weights -join 2:1",
         "4 3 1\n2 2.5 \n1 2.5 3 1 \n4 2.5 2 1 \n3 2.5 \n"},
        // A weight too small or too large for a float is kept as 0 or infinity; "0" would
        // read back as a bad weight, "inf" as no weight.
        {"weights beyond a float", "3 2 1\n2 1e-50\n1 1e-50 3 1e50\n2 1e50\n", "-times 1 -weights",
         "3 2 1\n2 1e-46 \n1 1e-46 3 1e39 \n2 1e39 \n"},
        // 5 and 149 share a slot of the table of weight texts.
        {"weights sharing a text slot", "3 2 1\n2 5\n1 5 3 149\n2 149\n", "-times 1 -weights",
         "3 2 1\n2 5 \n1 5 3 149 \n2 149 \n"},
    };
    for (const JoinCase& c : cases) {
        for (const std::string threads : {" -threads 1", " -threads 3"}) {
            SCOPED_TRACE(c.name + threads);
            Scratch scratch;
            write_file(scratch.input, c.graph);
            test_support::ProgramRun run = run_program("-in " + scratch.input + " -out " +
                                                       scratch.output + " " + c.options + threads);
            EXPECT_EQ(run.exit_status, 0);
            EXPECT_EQ(run.standard_output + run.standard_error, "");
            const std::string written = file_bytes(scratch.output);
            EXPECT_EQ(written.substr(written.find('\n') + 1), c.body);
            write_file(scratch.input, written);
            test_support::ProgramRun again = run_program("-in " + scratch.input + " -out " +
                                                         scratch.output + " -times 1 -weights");
            EXPECT_EQ(again.exit_status, 0);
            EXPECT_EQ(again.standard_output + again.standard_error, "");
            const std::string rewritten = file_bytes(scratch.output);
            EXPECT_EQ(rewritten.substr(rewritten.find('\n') + 1), c.body);
        }
    }
}

TEST(EndToEnd, the_weak_scaling_example_reads_back_silently) {
    Scratch scratch;
    const std::string mesh = std::string(GRAPHREP_SOURCE_DIR) + "/examples/weighted_mesh.graph";
    test_support::ProgramRun run = run_program("-in " + mesh + " -times 8 -weights -join " +
                                               "4:1,8:5,12:9,16:13 -out " + scratch.output);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.standard_output + run.standard_error, "");
    const std::string written = file_bytes(scratch.output);
    const std::string first_lines = "% 8 " + mesh + "\n128 296 11\n2 2 1 5 1 6 1.4142135 116 1 \n";
    EXPECT_EQ(written.substr(0, first_lines.size()), first_lines);
    test_support::ProgramRun again =
        run_program("-in " + scratch.output + " -times 1 -weights -out " + scratch.input);
    EXPECT_EQ(again.standard_output + again.standard_error, "");
    const std::string rewritten = file_bytes(scratch.input);
    EXPECT_EQ(rewritten.substr(rewritten.find('\n')), written.substr(written.find('\n')));
}

TEST(EndToEnd, a_refused_join_list_or_thread_count_writes_nothing) {
    const char* invalid = "Error. Invalid join %s: vertices run from 1 to 4.\n";
    auto invalid_item = [invalid](const char* item) {
        char message[128];
        std::snprintf(message, sizeof message, invalid, item);
        return std::string(message);
    };
    const RefusalCase cases[] = {
        {"vertex 0", "-times 2 -join 0", invalid_item("0")},
        {"past the last vertex", "-times 1 -join 1:2,3:5", invalid_item("3:5")},
        {"beyond 32 bits", "-times 2 -join 4294967297", invalid_item("4294967297")},
        {"sign", "-times 2 -join +1", invalid_item("+1")},
        {"no second vertex", "-times 2 -join 1:", invalid_item("1:")},
        {"three vertices", "-times 2 -join 1:2:3", invalid_item("1:2:3")},
        {"a word", "-times 2 -join x", invalid_item("x")},
        {"repeated pair", "-times 3 -join 1:2 -join 3,1:2", "Error. Join 1:2 is given twice.\n"},
        {"V and V:V", "-times 2 -join 3,03:3,x", "Error. Join 3:3 is given twice.\n"},
        {"the first repeat given, not the first in order", "-times 2 -join 2,1,2,1",
         "Error. Join 2:2 is given twice.\n"},
        {"the first repeat given, in order too", "-times 2 -join 1,2,1,2",
         "Error. Join 1:1 is given twice.\n"},
        {"join edges too many", "-times 2 -nconnect 1073741819 -join 1,2",
         "Error. Replicated graph too large: 8 vertices, 2147483648 edges.\n"
         "Use -wide to write it for readers with 64-bit vertex numbers.\n"},
        {"negative thread count", "-times 2 -join 0 -threads -2",
         "Error. Invalid number of threads (-2).\n"},
        {"thread count just below 0", "-times 2 -threads -1",
         "Error. Invalid number of threads (-1).\n"},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        Scratch scratch;
        write_file(scratch.output, old_output);
        test_support::ProgramRun run =
            run_program("-in " + scratch.input + " -out " + scratch.output + " " + c.arguments);
        EXPECT_EQ(run.exit_status, 1);
        EXPECT_EQ(run.standard_output + run.standard_error, c.standard_output);
        EXPECT_EQ(file_bytes(scratch.output), old_output);
    }
}

TEST(EndToEnd, the_summary_is_the_same_in_a_check_and_in_a_replicating_run) {
    const std::string warning = "WARNING: Self edge (4, 4) being ignored.\n";
    const std::string summary =
        "Vertices: 6\n"
        "Edges: 5\n"
        "Degree: min 0, mean 1.67, max 3\n"
        "Isolated vertices: 1\n"
        "Components: 2 (largest 5 vertices)\n"
        "Degrees:\n"
        "     0 | ##########                               1\n"
        "     1 | ##########                               1\n"
        "   2-3 | ######################################## 4\n";
    struct SummaryRun {
        const char* name;
        const char* script;
        int exit_status;
        std::string standard_output;
        std::string standard_error;
    };
    const SummaryRun runs[] = {
        {"a check", "$G -check -stats -in w.graph", 0, warning + summary, ""},
        {"copies joined in a ring, and the copies' own figures",
         "$G -stats -in w.graph -times 3 -join 1 -out o.graph && $G -check -stats -in o.graph", 0,
         warning + summary +
             "Vertices: 18\n"
             "Edges: 18\n"
             "Degree: min 0, mean 2.00, max 4\n"
             "Isolated vertices: 3\n"
             "Components: 4 (largest 15 vertices)\n"
             "Degrees:\n"
             "     0 | #############                            3\n"
             "     1 | #############                            3\n"
             "   2-3 | ######################################## 9\n"
             "   4-7 | #############                            3\n",
         ""},
        {"the graph on standard output, the messages on standard error",
         "$G -stats -in w.graph -times 1 -out - | wc -l", 0, "8\n", warning + summary},
        {"a warning refused by -strict: no summary", "$G -check -stats -strict -in w.graph", 1,
         warning + "Error. Warnings are not accepted with -strict.\n", ""},
        {"a file with an error: no summary", "printf '2 1\\n3\\n' >bad && $G -check -stats -in bad",
         1, "ERROR in graph file `bad': nvtxs=2, but edge (1,3) was input.\n", ""},
    };
    for (const SummaryRun& run_case : runs) {
        SCOPED_TRACE(run_case.name);
        test_support::ProgramRun run = run_script(run_case.script);
        EXPECT_EQ(run.exit_status, run_case.exit_status);
        EXPECT_EQ(run.standard_output, run_case.standard_output);
        EXPECT_EQ(run.standard_error, run_case.standard_error);
    }
}

// What a terminal keeps of a run's output: every drawing of the progress line ("\r", its
// text, "\x1b[K") and every erasing ("\r\x1b[K") taken out.
std::string without_progress_line(const std::string& terminal_bytes) {
    static const std::regex drawing("\r[^\r\n\x1b]*\x1b\\[K");
    return std::regex_replace(terminal_bytes, drawing, "");
}

TEST(EndToEnd, a_long_run_on_a_terminal_shows_its_progress_and_erases_it) {
    if (std::system("command -v script >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no script(1) to give the program a pseudo-terminal";
    }
    if (run_script("script -qec true /dev/null </dev/null").exit_status != 0) {
        GTEST_SKIP() << "no pseudo-terminal to be had";
    }
    // The graph goes to a FIFO that nobody drains for 2.5 s; the input arrives through a FIFO
    // in two parts 1.5 s apart, the self edge of vertex 4 in the second. A program that never
    // opens its FIFO leaves the other end waiting, to be ended after the run.
    const std::string slow_output = "mkfifo f && { { sleep 2.5; cat >/dev/null; } <f & } && ";
    const std::string slow_input =
        "mkfifo i && { { head -n 4 w.graph; sleep 1.5; tail -n +5 w.graph; } >i & } && ";
    const std::string end_other = "; status=$?; kill $! 2>/dev/null; wait; exit $status";
    struct TerminalCase {
        const char* name;
        std::string script;
        const char* line_part;      // in the line while it is drawn; empty: never drawn
        std::string messages;       // what stays on the terminal, with its "\r\n" line ends
        const char* erased_before;  // the drawn line is erased right before this text
    };
    const TerminalCase cases[] = {
        {"writing to a slow reader",
         slow_output + "script -qec \"$G -in sq.graph -times 100000 -out f\" /dev/null" + end_other,
         "\rwriting 0.0 MB, 0.0 MB/s\x1b[K", "", ""},
        {"reading a slow pipe, a warning on the way",
         slow_input + "script -qec \"$G -check -in i\" /dev/null" + end_other,
         "\rreading, 0:01 so far\x1b[K", "WARNING: Self edge (4, 4) being ignored.\r\n", "WARNING"},
        {"-quiet",
         slow_output + "script -qec \"$G -quiet -in sq.graph -times 100000 -out f\" /dev/null" +
             end_other,
         "", "", ""},
    };
    for (const TerminalCase& c : cases) {
        SCOPED_TRACE(c.name);
        test_support::ProgramRun run = run_script("{ " + c.script + "; } </dev/null");
        EXPECT_EQ(run.exit_status, 0);
        EXPECT_EQ(run.standard_error, "");
        const std::string& terminal = run.standard_output;
        EXPECT_EQ(without_progress_line(terminal), c.messages);
        if (*c.line_part == '\0') {
            EXPECT_EQ(terminal, c.messages);
            continue;
        }
        EXPECT_NE(terminal.find(c.line_part), std::string::npos) << terminal;
        // Erased before the message, and at the end: the last clearing is an erasure.
        EXPECT_NE(terminal.find("\x1b[K\r\x1b[K" + std::string(c.erased_before)),
                  std::string::npos);
        EXPECT_EQ(terminal.rfind("\x1b[K"), terminal.rfind("\r\x1b[K") + 1);
    }
    // Without a terminal the same slow run draws nothing anywhere.
    test_support::ProgramRun plain =
        run_script(slow_output + "$G -in sq.graph -times 100000 -out f" + end_other);
    EXPECT_EQ(plain.exit_status, 0);
    EXPECT_EQ(plain.standard_output + plain.standard_error, "");
}

// The terminal's bytes with each drawing of the progress line as <reading> or <writing> (one
// for a run of them) and each erasure as <erase>; a terminal without escape sequences gives
// <reading, plain> and <blanks> instead.
std::string with_progress_marks(std::string terminal_bytes) {
    const std::pair<const char*, const char*> marks[] = {
        {"\r\x1b\\[K", "<erase>"},
        {"\r +\r", "<blanks>"},
        {"\r(reading|writing)[^\r\n\x1b<]*\x1b\\[K", "<$1>"},
        {"\r(reading|writing)[^\r\n\x1b<]*", "<$1, plain>"},
        {"(<[a-z, ]+>)\\1+", "$1"},
    };
    for (const auto& [pattern, mark] : marks)
        terminal_bytes = std::regex_replace(terminal_bytes, std::regex(pattern), mark);
    return terminal_bytes;
}

// Parts whose output is their input, and the progress line where something else reaches its
// terminal, where a signal ends the run, on a terminal without escape sequences, while the
// graph goes to the terminal and while a part writes; and a run too short to show it.
TEST(EndToEnd, parts_spare_their_input_and_the_progress_line_leaves_the_terminal_clean) {
    const bool has_terminal = std::system("command -v script >/dev/null 2>&1") == 0 &&
                              run_script("script -qec true /dev/null </dev/null").exit_status == 0;
    // The input arrives through a FIFO in two parts, the self edge of vertex 4 in the second;
    // what is still writing into the FIFO when the script ends is ended with it.
    auto slow_input = [](const char* pause) {
        return std::string("mkfifo i && { { head -n 4 w.graph; sleep ") + pause +
               "; tail -n +5 w.graph; } >i & } && ";
    };
    const std::string end_other = "; status=$?; kill $! 2>/dev/null; wait; exit $status";
    const std::string warning = "WARNING: Self edge (4, 4) being ignored.\r\n";
    const std::string unchanged = "; echo $?; cmp -s sq.graph keep && echo unchanged";
    struct Row {
        const char* name;
        bool needs_terminal;
        std::string script;
        int status;
        std::string marked_output;
    };
    const Row rows[] = {
        {"a part named as its input", false,
         "cp sq.graph keep && $G -in sq.graph -times 2 -out sq.graph -part 0/2" + unchanged, 0,
         "Error. -part cannot overwrite its input: sq.graph is sq.graph.\n1\nunchanged\n"},
        {"a part through a symbolic link to its input, a newline in its name", false,
         "cp sq.graph keep && l=$(printf 'l\\nVertices: 9') && ln -s sq.graph \"$l\" && "
         "$G -in sq.graph -times 2 -out \"$l\" -part 1/2" +
             unchanged,
         0, "Error. -part cannot overwrite its input: l?Vertices: 9 is sq.graph.\n1\nunchanged\n"},
        {"a part through a hard link to its input", false,
         "cp sq.graph keep && ln sq.graph h && $G -in ./sq.graph -times 2 -format parhip -out h "
         "-part 0/1" +
             unchanged,
         0, "Error. -part cannot overwrite its input: h is ./sq.graph.\n1\nunchanged\n"},
        {"a part whose standard input is its output", false,
         "cp sq.graph keep && $G -in - -times 2 -out sq.graph -part 1/2 <sq.graph" + unchanged, 0,
         "Error. -part cannot overwrite its input: sq.graph is -.\n1\nunchanged\n"},
        {"messages through a pipe to the terminal", true,
         slow_input("1.5") + "script -qec \"$G -check -in i | cat\" /dev/null" + end_other, 0,
         warning},
        {"the graph on the terminal", true,
         slow_input("1.5") + "script -qec \"$G -in i -times 1 -out -\" /dev/null" + end_other, 0,
         warning + "% 1 i\r\n6 5\r\n2 3 \r\n1 3 \r\n1 2 4 \r\n3 5 \r\n4 \r\n\r\n"},
        {"SIGINT", true,
         slow_input("3") +
             "script -qec \"{ sleep 1.6; kill -INT \\$\\$; } & exec $G -check -in i\" /dev/null" +
             end_other,
         130, "<reading><erase>"},
        {"SIGTERM", true,
         slow_input("3") +
             "script -qec \"{ sleep 1.6; kill -TERM \\$\\$; } & exec $G -check -in i\" /dev/null" +
             end_other,
         143, "<reading><erase>"},
        {"TERM=dumb", true,
         slow_input("1.5") + "TERM=dumb script -qec \"$G -check -in i\" /dev/null" + end_other, 0,
         "<reading, plain><blanks>" + warning},
        {"a part's writing", true,
         "printf '1 0\\n\\n' >one.graph && mkfifo i && { { head -n 1 one.graph; sleep 1.3; "
         "tail -n +2 one.graph; } >i & } && "
         "script -qec \"$G -in i -times 48000000 -format parhip -out o -part 1/2 -threads 1\" "
         "/dev/null" +
             end_other,
         0, "<reading><erase><writing><erase>"},
        {"half a second: nothing drawn", true,
         slow_input("0.5") + "script -qec \"$G -check -in i\" /dev/null" + end_other, 0, warning},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.needs_terminal && !has_terminal) continue;
        test_support::ProgramRun run = run_script("{ " + row.script + "; } </dev/null");
        EXPECT_EQ(run.exit_status, row.status);
        EXPECT_EQ(run.standard_error, "");
        EXPECT_EQ(with_progress_marks(run.standard_output), row.marked_output);
    }
}

}  // namespace
