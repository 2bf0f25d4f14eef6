// Runs the built program on inputs as users have them: compressed files and pipes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "compression.h"
#include "test_support.h"

namespace {

using test_support::file_bytes;
using test_support::run_program;
using test_support::scratch_path;
using test_support::write_file;

// The square of the examples, with a comment and a self edge to warn about.
const char square[] = "% square\n4 4\n2 3\n1 3 4\n1 2\n2 4\n";
const char square_warning[] = "WARNING: Self edge (4, 4) being ignored.\n";

struct Scratch {
    std::string input = scratch_path("in");
    std::string output = scratch_path("out");
    std::string plain_output = scratch_path("plain_out");
    ~Scratch() {
        for (const std::string& path : {input, output, plain_output})
            std::remove(path.c_str());
    }
};

// Drops the comment line, which names the input.
std::string after_comment(const std::string& bytes) {
    return bytes.substr(bytes.find('\n') + 1);
}

TEST(EndToEndFormats, a_compressed_input_replicates_as_the_plain_one) {
    Scratch scratch;
    ASSERT_TRUE(write_file(scratch.input, square));
    test_support::ProgramRun plain =
        run_program("-in " + scratch.input + " -times 3 -out " + scratch.plain_output);
    ASSERT_EQ(plain.exit_status, 0);
    const std::string plain_graph = after_comment(file_bytes(scratch.plain_output));
    struct CompressedCase {
        const char* name;
        std::string bytes;
    };
    const CompressedCase cases[] = {
        {"gzip", compression::gzip_bytes(square)},
        {"zstd", compression::zstd_bytes(square)},
        {"xz", compression::xz_bytes(square)},
        {"bzip2", compression::bzip2_bytes(square)},
    };
    for (const CompressedCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(write_file(scratch.input, c.bytes));
        test_support::ProgramRun file =
            run_program("-in " + scratch.input + " -times 3 -out " + scratch.output);
        EXPECT_EQ(file.exit_status, 0);
        EXPECT_EQ(file.standard_output, square_warning);
        EXPECT_EQ(file.standard_error, "");
        EXPECT_EQ(file_bytes(scratch.output), "% 3 " + scratch.input + "\n" + plain_graph);
        test_support::ProgramRun pipe =
            run_program("-in - -times 3 -out -", "cat " + scratch.input + " |");
        EXPECT_EQ(pipe.exit_status, 0);
        EXPECT_EQ(pipe.standard_output, "% 3 -\n" + plain_graph);
        EXPECT_EQ(pipe.standard_error, square_warning);
    }
}

TEST(EndToEndFormats, a_damaged_stream_writes_nothing) {
    Scratch scratch;
    const std::string compressed = compression::zstd_bytes(square);
    struct RefusedCase {
        const char* name;
        std::string bytes;
        std::string messages;  // NAME stands for the input's name
    };
    const RefusedCase cases[] = {
        {"cut before the end of the graph", compressed.substr(0, 12),
         "ERROR in graph file `NAME': Invalid number of vertices (0).\n"
         "Error. Cannot read graph file: NAME\n"
         "Error. The zstd stream of graph file NAME is cut short.\n"},
        {"cut in its check sum", compressed.substr(0, compressed.size() - 1),
         std::string(square_warning) + "Error. Cannot read graph file: NAME\n" +
             "Error. The zstd stream of graph file NAME is cut short.\n"},
        {"garbage after it", compressed + "and more\n",
         std::string(square_warning) + "Error. Cannot read graph file: NAME\n" +
             "Error. The zstd stream of graph file NAME is damaged.\n"},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(write_file(scratch.input, c.bytes));
        ASSERT_TRUE(write_file(scratch.output, "old"));
        test_support::ProgramRun run =
            run_program("-in " + scratch.input + " -times 2 -out " + scratch.output);
        std::string messages = c.messages;
        for (std::size_t at; (at = messages.find("NAME")) != std::string::npos;)
            messages.replace(at, 4, scratch.input);
        EXPECT_EQ(run.exit_status, 1);
        EXPECT_EQ(run.standard_output, messages);
        EXPECT_EQ(run.standard_error, "");
        EXPECT_EQ(file_bytes(scratch.output), "old");
    }
}

// Text, written in the binary layout and read back from it, writes the same text.
TEST(EndToEndFormats, the_binary_layout_reads_back_to_the_same_text) {
    Scratch scratch;
    const std::string binary = scratch_path("bin");
    const std::string examples = std::string(GRAPHREP_SOURCE_DIR) + "/examples/";
    struct RoundTrip {
        const char* input;
        const char* options;  // for the three runs
    };
    const RoundTrip cases[] = {
        {"square.graph", ""},
        {"grid.graph", " -threads 3"},
        {"whole_weights.graph", " -weights"},
        {"mesh.graph", " -join 4:1"},
    };
    for (const RoundTrip& c : cases) {
        SCOPED_TRACE(c.input);
        const std::string input =
            c.input == std::string("whole_weights.graph") ? scratch.input : examples + c.input;
        // Vertex and edge weights, one of them past 32 bits, all whole as the layout needs.
        ASSERT_TRUE(write_file(scratch.input,
                               "6 7 11\n3 2 4 4 1\n1 1 4 3 9 5 2\n7 2 9 6 5000000000\n"
                               "2 1 1 5 3\n9 4 3 2 2 6 8\n4 5 8 3 5000000000\n"));
        ASSERT_EQ(run_program("-in " + input + " -times 2 -out " + scratch.plain_output + c.options)
                      .exit_status,
                  0);
        ASSERT_EQ(
            run_program("-in " + input + " -times 1 -format parhip -out " + binary + c.options)
                .exit_status,
            0);
        test_support::ProgramRun back = run_program(
            "-in " + binary + " -from parhip -times 2 -out " + scratch.output + c.options);
        EXPECT_EQ(back.exit_status, 0);
        EXPECT_EQ(back.standard_output, "");
        EXPECT_EQ(back.standard_error, "");
        EXPECT_EQ(after_comment(file_bytes(scratch.output)),
                  after_comment(file_bytes(scratch.plain_output)));
        // Compressed and through a pipe, the binary file reads the same.
        ASSERT_TRUE(write_file(scratch.input, compression::gzip_bytes(file_bytes(binary))));
        test_support::ProgramRun piped =
            run_program("-in - -from parhip -times 2 -out -" + std::string(c.options),
                        "cat " + scratch.input + " |");
        EXPECT_EQ(piped.exit_status, 0);
        EXPECT_EQ(after_comment(piped.standard_output),
                  after_comment(file_bytes(scratch.plain_output)));
    }
    std::remove(binary.c_str());
}

TEST(EndToEndFormats, an_unknown_input_format_is_refused_before_reading) {
    test_support::ProgramRun run = run_program("-check -in /nonexistent -from Parhip");
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_output, "Error. Invalid input format Parhip.\n");
    EXPECT_EQ(run.standard_error, "");
}

}  // namespace
