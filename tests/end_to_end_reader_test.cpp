// Runs the built program on inputs a hostile user would try against the reader: messages by
// the million, lines of endless bytes, names holding control bytes, a read failing partway.
// Each row is a shell command with its exit status and everything it prints.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "test_support.h"

namespace {

using test_support::file_bytes;
using test_support::scratch_path;
using test_support::write_file;

// Address-space caps (ulimit -v) break AddressSanitizer, which reserves terabytes of
// shadow memory at start: the rows that need a cap only run in the plain build.
#ifdef GRAPHREP_SANITIZED
constexpr bool is_sanitized = true;
#else
constexpr bool is_sanitized = false;
#endif

enum class Needs { nothing, memory_cap, strace };

struct ReaderCase {
    const char* name;
    Needs needs;
    std::string command;  // {GR}, {DIR} and the keys of the files below stand for their paths
    int exit_status;
    std::string standard_output;
};

// A 300 x 300 grid, 2 MB, whose vertex 3 also lists vertex 1, which does not list it back:
// one fault in the first lines, the rest sound. With vertex numbers when numbered.
std::string grid_with_one_fault(bool numbered) {
    constexpr int side = 300;
    std::string text = std::to_string(side * side) + " " + std::to_string(2 * side * (side - 1)) +
                       (numbered ? " 100\n" : "\n");
    for (int vertex = 1; vertex <= side * side; ++vertex) {
        const int row = (vertex - 1) / side;
        const int column = (vertex - 1) % side;
        if (numbered) text += std::to_string(vertex) + " ";
        if (row > 0) text += std::to_string(vertex - side) + " ";
        if (column > 0) text += std::to_string(vertex - 1) + " ";
        if (column < side - 1) text += std::to_string(vertex + 1) + " ";
        if (row < side - 1) text += std::to_string(vertex + side);
        if (vertex == 3) text += " 1";
        text += "\n";
    }
    return text;
}

std::string replaced(std::string text, const std::string& key, const std::string& value) {
    for (std::string::size_type at = 0; (at = text.find(key, at)) != std::string::npos;) {
        text.replace(at, key.size(), value);
        at += value.size();
    }
    return text;
}

bool has_strace() {
    return std::system("strace -V >/dev/null 2>&1") == 0;
}

TEST(EndToEndReader, hostile_inputs_get_bounded_memory_and_true_messages) {
    const std::string repeats = "4999999 WARNING: Multiple occurences of edge (1,2) ignored\n";
    // The failure is the second read of the file: its first holds the first lines whole. The
    // leak checker of the sanitizer build cannot run under a tracer, so it is off there.
    const std::string failing =
        "ASAN_OPTIONS=detect_leaks=0 strace -f -o /dev/null -P {GRID} "
        "-e inject=read:error=EIO:when=2 ";
    const std::string grid_fault =
        "ERROR in graph file `{GRID}': Edge (3, 1) entered but not (1, 3)\n"
        "Error. Cannot read graph file: {GRID}\n";
    const ReaderCase cases[] = {
        // Five million warnings are held at 16 bytes each until they can be printed in order.
        {"ten megabytes of repeated neighbours", Needs::memory_cap,
         "{ ulimit -v 200000; {GR} -check -in {REPEATS}; echo status $?; } | uniq -c", 0,
         repeats + "      1 status 0\n"},
        {"no memory left to hold the messages", Needs::memory_cap,
         "ulimit -v 60000; {GR} -check -in {REPEATS}", 1,
         "ERROR in graph file `{REPEATS}': not enough memory to hold the file's messages.\n"},
        // Bytes that cannot count are read through, never held.
        {"a vertex line ending in 64 MiB of NUL bytes", Needs::memory_cap,
         "{ printf '3 2\\n2\\n1 3\\n2 '; head -c 67108864 /dev/zero; } >{DIR}/zeros; "
         "ulimit -v 100000; {GR} -check -in {DIR}/zeros",
         0, ""},
        {"256 MiB of NUL bytes through a pipe after the last vertex line", Needs::memory_cap,
         "{ printf '2 1\\n2\\n1\\n'; head -c 268435456 /dev/zero; } | "
         "{ ulimit -v 100000; {GR} -in - -times 2 -out -; }",
         0, "% 2 -\n4 2\n2 \n1 \n4 \n3 \n"},
        {"a comment line of 64 MiB after the last vertex line", Needs::memory_cap,
         "{ printf '2 1\\n2\\n1\\n%%'; head -c 67108864 /dev/zero | tr '\\000' x; } | "
         "{ ulimit -v 100000; {GR} -check -in -; }",
         0, ""},
        {"a vertex line of 256 MiB of blanks through a pipe", Needs::memory_cap,
         "{ printf '2 1\\n2 '; head -c 268435456 /dev/zero | tr '\\000' ' '; printf '\\n1\\n'; } | "
         "{ ulimit -v 100000; {GR} -check -in -; }",
         0, ""},
        // A line of numbers is held only while its numbers can count: after the last vertex
        // line only whether it begins with one, and nothing after an error that ends the reading.
        {"256 MiB of digits through a pipe after the last vertex line", Needs::memory_cap,
         "{ printf '2 1\\n2\\n1\\n'; head -c 268435456 /dev/zero | tr '\\000' 1; } | "
         "{ ulimit -v 100000; {GR} -check -threads 2 -in -; }",
         0,
         "WARNING: Possible error in graph file `-'\n"
         "         Data found after expected end of file\n"},
        // The first vertex line takes a while to scan, so the line after the error is being
        // read when the error stops the reading.
        {"256 MiB of digits through a pipe after a fatal error", Needs::memory_cap,
         "{ printf '1000000 200000\\n'; seq -s ' ' 2 300001; printf '0\\n'; "
         "head -c 268435456 /dev/zero | tr '\\000' 1; } | "
         "{ ulimit -v 100000; {GR} -check -threads 2 -in -; }",
         1, "ERROR in graph file `-': zero or negative vertex in edge (2,0).\n"},
        // A name cannot end a message line early or plant one of its own.
        {"a missing input whose name holds a newline", Needs::nothing,
         "{GR} -check -in '{DIR}/x\nComponents: 9'", 1,
         "Error. Cannot open graph file: {DIR}/x?Components: 9\n"},
        {"a file error and trailing data under a name with control bytes", Needs::nothing,
         "printf '2 1\\n2\\n1 2\\n5\\n' >'{DIR}/a\tb\177'; {GR} -check -in '{DIR}/a\tb\177'; "
         "printf '2 1\\n3\\n' >'{DIR}/c\nd'; {GR} -check -in '{DIR}/c\nd'",
         1,
         "WARNING: Self edge (2, 2) being ignored.\n"
         "WARNING: Possible error in graph file `{DIR}/a?b?'\n"
         "         Data found after expected end of file\n"
         "ERROR in graph file `{DIR}/c?d': nvtxs=2, but edge (1,3) was input.\n"},
        {"a failed read under a name holding a newline", Needs::nothing,
         "ln -sf /proc/self/mem '{DIR}/m\nem'; {GR} -check -in '{DIR}/m\nem'", 1,
         "ERROR in graph file `{DIR}/m?em': Invalid number of vertices (0).\n"
         "Error. Cannot read graph file: {DIR}/m?em\n"},
        {"a failed write under a name holding a tab", Needs::nothing,
         "trap '' XFSZ; ulimit -f 1; printf '1 0\\n' >{DIR}/one; "
         "{GR} -in {DIR}/one -times 100000 -out '{DIR}/o\tut'",
         1, "Error. Cannot write graph file: {DIR}/o?ut\n"},
        // After a failed read only the faults of the lines read whole are told.
        {"a read failing partway, chunked on one thread", Needs::strace,
         failing + "{GR} -check -threads 1 -in {GRID}", 1, grid_fault},
        {"a read failing partway, chunked on two threads", Needs::strace,
         failing + "{GR} -check -threads 2 -in {GRID}", 1, grid_fault},
        {"a read failing partway, in file order", Needs::strace,
         replaced(failing, "{GRID}", "{NUMBERED}") + "{GR} -check -in {NUMBERED}", 1,
         replaced(grid_fault, "{GRID}", "{NUMBERED}")},
    };
    const std::string directory = scratch_path("reader_rows");
    ASSERT_EQ(std::system(("rm -rf '" + directory + "'; mkdir -p '" + directory + "'").c_str()), 0);
    const std::string paths[] = {directory + "/repeats", directory + "/grid",
                                 directory + "/numbered"};
    std::string repeated_line;
    for (int i = 0; i < 5'000'000; ++i)
        repeated_line += "2 ";
    ASSERT_TRUE(write_file(paths[0], "2 1\n" + repeated_line + "\n1\n"));
    ASSERT_TRUE(write_file(paths[1], grid_with_one_fault(false)));
    ASSERT_TRUE(write_file(paths[2], grid_with_one_fault(true)));
    auto with_paths = [&](std::string text) {
        text = replaced(text, "{GR}", GRAPHREP_BINARY);
        text = replaced(text, "{DIR}", directory);
        text = replaced(text, "{REPEATS}", paths[0]);
        text = replaced(text, "{GRID}", paths[1]);
        return replaced(text, "{NUMBERED}", paths[2]);
    };
    const bool strace_runs = has_strace();
    for (const ReaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        if ((c.needs == Needs::memory_cap && is_sanitized) ||
            (c.needs == Needs::strace && !strace_runs)) {
            continue;
        }
        const std::string error_path = directory + "/stderr";
        test_support::ProgramRun run =
            test_support::run_shell("{ " + with_paths(c.command) + "; } 2>" + error_path);
        EXPECT_EQ(run.exit_status, c.exit_status);
        EXPECT_EQ(run.standard_output, with_paths(c.standard_output));
        EXPECT_EQ(file_bytes(error_path), "");
    }
    EXPECT_EQ(std::system(("rm -rf '" + directory + "'").c_str()), 0);
}

}  // namespace
