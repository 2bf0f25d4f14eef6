// Runs the built program on inputs as users have them: compressed files and pipes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "compression.h"
#include "test_support.h"

namespace {

using test_support::after_comment;
using test_support::expect_run;
using test_support::file_bytes;
using test_support::run_program;

// The square of the examples, with a comment and a self edge to warn about.
const char square[] = "% square\n4 4\n2 3\n1 3 4\n1 2\n2 4\n";
const std::string square_warning = "WARNING: Self edge (4, 4) being ignored.\n";

TEST(EndToEndFormats, a_compressed_input_replicates_as_the_plain_one) {
    const test_support::ScratchFiles files;
    ASSERT_TRUE(test_support::write_file(files.input, square));
    ASSERT_EQ(run_program("-in " + files.input + " -times 3 -out " + files.reference).exit_status,
              0);
    const std::string graph = after_comment(file_bytes(files.reference));
    const std::pair<std::string, std::string> compressed[] = {
        {"gzip", compression::gzip_bytes(square)},
        {"zstd", compression::zstd_bytes(square)},
        {"xz", compression::xz_bytes(square)},
        {"bzip2", compression::bzip2_bytes(square)},
    };
    for (const auto& [name, bytes] : compressed) {
        expect_run(files, {.name = name + " file",
                           .input = bytes,
                           .arguments = "-in NAME -times 3 -out OUT",
                           .standard_output = square_warning,
                           .output = "% 3 NAME\n" + graph,
                           .standard_error = ""});
        expect_run(files, {.name = name + " pipe",
                           .input = bytes,
                           .arguments = "-in - -times 3 -out -",
                           .standard_output = "% 3 -\n" + graph,
                           .standard_error = square_warning,
                           .shell_prefix = "cat NAME |"});
    }
}

// A damaged stream leaves the named output as it was; a format unknown is refused unread.
TEST(EndToEndFormats, refuses_what_it_cannot_read_and_writes_nothing) {
    const std::string compressed = compression::zstd_bytes(square);
    const std::string refused = "Error. Cannot read graph file: NAME\n";
    const std::string cut = refused + "Error. The zstd stream of graph file NAME is cut short.\n";
    const struct {
        const char* name;
        std::string input;
        std::string messages;
    } damaged[] = {
        {"cut before the end of the graph", compressed.substr(0, 12),
         "ERROR in graph file `NAME': Invalid number of vertices (0).\n" + cut},
        {"cut in its check sum", compressed.substr(0, compressed.size() - 1), square_warning + cut},
        {"garbage after it", compressed + "and more\n",
         square_warning + refused + "Error. The zstd stream of graph file NAME is damaged.\n"},
    };
    const test_support::ScratchFiles files;
    for (const auto& row : damaged) {
        expect_run(files, {.name = row.name,
                           .input = row.input,
                           .arguments = "-in NAME -times 2 -out OUT",
                           .exit_status = 1,
                           .standard_output = row.messages,
                           .output = "old",
                           .standard_error = "",
                           .old_output = "old"});
    }
    expect_run(files, {.name = "an unknown input format",
                       .arguments = "-check -in /nonexistent -from Parhip",
                       .exit_status = 1,
                       .standard_output = "Error. Invalid input format Parhip.\n",
                       .standard_error = ""});
}

// Text, written in the binary layout and read back from it, writes the same text.
TEST(EndToEndFormats, the_binary_layout_reads_back_to_the_same_text) {
    const test_support::ScratchFiles files;
    const std::string binary = test_support::scratch_path("bin");
    const std::string examples = std::string(GRAPHREP_SOURCE_DIR) + "/examples/";
    const struct {
        std::string input;
        std::string options;  // for every run
    } cases[] = {
        {examples + "square.graph", ""},
        {examples + "grid.graph", " -threads 3"},
        {files.input, " -weights"},
        {examples + "mesh.graph", " -join 4:1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        // Vertex and edge weights, one of them past 32 bits, all whole as the layout needs.
        ASSERT_TRUE(
            test_support::write_file(files.input,
                                     "6 7 11\n3 2 4 4 1\n1 1 4 3 9 5 2\n7 2 9 6 5000000000\n"
                                     "2 1 1 5 3\n9 4 3 2 2 6 8\n4 5 8 3 5000000000\n"));
        ASSERT_EQ(run_program("-in " + c.input + " -times 2 -out " + files.reference + c.options)
                      .exit_status,
                  0);
        ASSERT_EQ(
            run_program("-in " + c.input + " -times 1 -format parhip -out " + binary + c.options)
                .exit_status,
            0);
        const std::string text = after_comment(file_bytes(files.reference));
        expect_run(files,
                   {.name = "read back",
                    .arguments = "-in " + binary + " -from parhip -times 2 -out OUT" + c.options,
                    .output = "% 2 " + binary + "\n" + text,
                    .standard_error = ""});
        // Compressed and through a pipe, the binary file reads the same.
        expect_run(files, {.name = "read back through a pipe",
                           .input = compression::gzip_bytes(file_bytes(binary)),
                           .arguments = "-in - -from parhip -times 2 -out -" + c.options,
                           .standard_output = "% 2 -\n" + text,
                           .shell_prefix = "cat NAME |"});
    }
    std::remove(binary.c_str());
}

}  // namespace
