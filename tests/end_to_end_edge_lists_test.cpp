// Runs the built program on edge lists and Matrix Market files: what each accepts and the
// graph it makes, each refusal with its message, and conversions that keep the graph.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using test_support::file_bytes;
using test_support::file_exists;
using test_support::run_program;
using test_support::scratch_path;
using test_support::write_file;

struct Scratch {
    std::string input = scratch_path("in");
    std::string output = scratch_path("out");
    std::string text_output = scratch_path("text_out");
    ~Scratch() {
        for (const std::string& path : {input, output, text_output})
            std::remove(path.c_str());
    }
};

// Drops the comment line, which names the input.
std::string after_comment(const std::string& bytes) {
    return bytes.substr(bytes.find('\n') + 1);
}

const char banner[] = "%%MatrixMarket matrix coordinate ";

struct FormatCase {
    const char* name;
    const char* format;
    std::string input;
    const char* options;  // besides -from, -in, -times 1 and -out
    int exit_status;
    std::string messages;  // NAME stands for the input's name
    const char* graph;     // the output after its comment line; nullptr: none written
};

std::string with_name(std::string text, const std::string& name) {
    for (std::size_t at; (at = text.find("NAME")) != std::string::npos;)
        text.replace(at, 4, name);
    return text;
}

const std::string error = "ERROR in graph file `NAME': ";

TEST(EndToEndEdgeLists, each_file_gives_its_graph_or_its_refusal) {
    const FormatCase cases[] = {
        {"every separator, comments, both directions, a self edge, an isolated vertex", "edgelist",
         "# c\n0 1\n1,2\n\n2\t0 \n 1 , 0\n% x\n4 4\n", "", 0,
         "Repaired: 1 self edge dropped.\nRepaired: 1 repeated edge merged.\n",
         "5 3\n2 3 \n1 3 \n2 1 \n\n\n"},
        {"weights: a line without one weighs 1, a repeat keeps the first", "edgelist",
         "0 1 2.5\n1 2\n2 0 3\n1 0 7\n", "-weights", 0, "Repaired: 1 repeated edge merged.\n",
         "3 3 1\n2 2.5 3 3 \n1 2.5 3 1 \n2 1 1 3 \n"},
        {"counted from 1", "edgelist1", "1 2\n2 3\n", "", 0, "", "3 2\n2 \n1 3 \n2 \n"},
        {"one number", "edgelist", "0 1\n2\n", "", 1,
         error + "too few numbers in line 2 (1, where 2 are needed).\n", nullptr},
        {"four numbers", "edgelist", "0 1 2 3\n", "", 1, error + "more than 3 numbers in line 1.\n",
         nullptr},
        {"a word", "edgelist", "# x\n0 1\n0 one\n", "", 1,
         error + "text that is not a number in line 3.\n", nullptr},
        {"a comma that ends the line", "edgelist", "0 1,\n", "", 1,
         error + "text that is not a number in line 1.\n", nullptr},
        {"a negative vertex", "edgelist", "0 -1\n", "", 1,
         error + "vertex -1 in line 1; vertices are numbered from 0.\n", nullptr},
        {"a 0 counted from 1", "edgelist1", "1 2\n0 1\n", "", 1,
         error + "vertex 0 in line 2; vertices are numbered from 1.\n", nullptr},
        {"a vertex past the counts", "edgelist", "0 2147483646\n", "", 1,
         error + "vertex 2147483646 in line 1; vertices are numbered up to 2147483645.\n", nullptr},
        {"a zero weight", "edgelist", "0 1 0\n", "", 1,
         error + "edge weight 0 in line 1 is not a positive number a float holds.\n", nullptr},
        {"a weight past a float", "edgelist", "0 1 1e39\n", "", 1,
         error + "edge weight 1e+39 in line 1 is not a positive number a float holds.\n", nullptr},
        {"no edge", "edgelist", "# nothing\n\n", "", 1, error + "no edge in the file.\n", nullptr},
        {"a symmetric matrix: the diagonal is no edge", "mtx",
         std::string(banner) + "real symmetric\n% c\n4 4 4\n1 1 2.0\n2 1 1.5\n4 1 -3\n4 3 2\n", "",
         0, "Repaired: 1 diagonal entry, not an edge.\n", "4 3\n2 4 \n1 \n4 \n1 3 \n"},
        {"its values as weights", "mtx",
         std::string(banner) + "real symmetric\n4 4 3\n2 1 1.5\n4 1 3\n4 3 2\n", "-weights", 0, "",
         "4 3 1\n2 1.5 4 3 \n1 1.5 \n4 2 \n1 3 3 2 \n"},
        {"a general pattern matrix: an edge's two entries merge", "mtx",
         std::string(banner) + "pattern general\n3 3 2\n1 2\n2 1\n", "", 0,
         "Repaired: 1 entry merged with an earlier one of its edge.\n", "3 1\n2 \n1 \n\n"},
        {"a weight that is not positive", "mtx",
         std::string(banner) + "integer general\n3 3 2\n1 2 1\n2 3 0\n", "-weights", 1,
         error + "edge weight 0 in line 4 is not a positive number a float holds.\n", nullptr},
        {"not square", "mtx", std::string(banner) + "pattern general\n3 4 1\n1 2\n", "", 1,
         error + "the matrix is 3 by 4, not square.\n", nullptr},
        {"the array format", "mtx", "%%MatrixMarket matrix array real general\n2 2\n1\n2\n3\n4\n",
         "", 1, error + "the array format is not read: only coordinate matrices are.\n", nullptr},
        {"complex", "mtx", std::string(banner) + "complex general\n2 2 1\n1 2 1 1\n", "", 1,
         error + "complex matrices are not read: only pattern, integer and real ones are.\n",
         nullptr},
        {"hermitian", "mtx", std::string(banner) + "real hermitian\n2 2 1\n1 2 1\n", "", 1,
         error + "hermitian and skew-symmetric matrices are not read: only general and symmetric "
                 "ones are.\n",
         nullptr},
        {"skew-symmetric", "mtx", std::string(banner) + "pattern skew-symmetric\n2 2 1\n1 2\n", "",
         1,
         error + "hermitian and skew-symmetric matrices are not read: only general and symmetric "
                 "ones are.\n",
         nullptr},
        {"too few entries", "mtx", std::string(banner) + "pattern general\n3 3 3\n1 2\n2 3\n", "",
         1, error + "2 entries, fewer than the 3 the size line gives.\n", nullptr},
        {"too many entries", "mtx", std::string(banner) + "pattern general\n3 3 1\n1 2\n2 3\n", "",
         1, error + "2 entries, more than the 1 the size line gives.\n", nullptr},
        {"an index out of range", "mtx", std::string(banner) + "pattern general\n3 3 2\n1 2\n4 1\n",
         "", 1, error + "vertex 4 in line 4; vertices are numbered up to 3.\n", nullptr},
        {"an entry without its value", "mtx", std::string(banner) + "real general\n3 3 1\n1 2\n",
         "", 1, error + "too few numbers in line 3 (2, where 3 are needed).\n", nullptr},
        {"no banner", "mtx", "3 3 1\n1 2\n", "", 1,
         error + "the first line is not \"%%MatrixMarket matrix coordinate FIELD SYMMETRY\".\n",
         nullptr},
        {"no size line", "mtx", std::string(banner) + "pattern general\n% only\n", "", 1,
         error + "no size line after the banner.\n", nullptr},
    };
    Scratch scratch;
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(write_file(scratch.input, c.input));
        std::remove(scratch.output.c_str());
        const test_support::ProgramRun run =
            run_program(std::string("-from ") + c.format + " -in " + scratch.input +
                        " -times 1 -out " + scratch.output + " " + c.options);
        EXPECT_EQ(run.exit_status, c.exit_status);
        EXPECT_EQ(run.standard_output, with_name(c.messages, scratch.input));
        if (c.graph == nullptr) {
            EXPECT_FALSE(file_exists(scratch.output));
            continue;
        }
        const std::string written = file_bytes(scratch.output);
        EXPECT_EQ(after_comment(written), c.graph);
        // A conversion is a graph file that passes the strictest check.
        const test_support::ProgramRun check = run_program("-check -strict -in " + scratch.output);
        EXPECT_EQ(check.exit_status, 0) << check.standard_output;
    }
}

// A graph whose lists rise, as text, and its edges as the lines of an edge list and the
// entries of a matrix: each u < v in the order of the lists, and, for every third, its other
// direction on the next line.
struct RandomGraph {
    std::string text;
    std::string edge_list;
    std::string matrix_entries;
    int entries = 0;
};

RandomGraph random_graph(int nvtxs, int degree) {
    std::vector<std::vector<int>> lists(static_cast<std::size_t>(nvtxs) + 1);
    unsigned state = 12345;
    for (int u = 1; u <= nvtxs; ++u) {
        for (int k = 0; k < degree; ++k) {
            state = state * 1103515245u + 12345u;
            const int v = 1 + static_cast<int>((state >> 8) % static_cast<unsigned>(nvtxs));
            if (v == u) continue;
            lists[u].push_back(v);
            lists[v].push_back(u);
        }
    }
    RandomGraph graph;
    int nedges = 0;
    std::string body;
    int count = 0;
    for (int u = 1; u <= nvtxs; ++u) {
        std::sort(lists[u].begin(), lists[u].end());
        lists[u].erase(std::unique(lists[u].begin(), lists[u].end()), lists[u].end());
        for (const int v : lists[u]) {
            body += std::to_string(v) + " ";
            if (v < u) continue;
            ++nedges;
            graph.edge_list += std::to_string(u - 1) + "\t" + std::to_string(v - 1) + "\n";
            graph.matrix_entries += std::to_string(v) + " " + std::to_string(u) + "\n";
            ++graph.entries;
            if (++count % 3 == 0) {
                graph.edge_list += std::to_string(v - 1) + "," + std::to_string(u - 1) + "\n";
            }
        }
        body += "\n";
    }
    graph.text = std::to_string(nvtxs) + " " + std::to_string(nedges) + "\n" + body;
    return graph;
}

TEST(EndToEndEdgeLists, an_edge_list_and_a_matrix_of_a_graph_give_that_graph) {
    Scratch scratch;
    // Larger than one chunk of input, so that the threads share the lines.
    const RandomGraph graph = random_graph(60000, 12);
    ASSERT_GT(graph.edge_list.size(), std::size_t{1} << 20);
    ASSERT_TRUE(write_file(scratch.input, graph.text));
    ASSERT_EQ(
        run_program("-in " + scratch.input + " -times 2 -out " + scratch.text_output).exit_status,
        0);
    const std::string expected = after_comment(file_bytes(scratch.text_output));
    struct Conversion {
        const char* format;
        std::string input;
    };
    const std::string nvtxs = "60000";
    const Conversion conversions[] = {
        {"edgelist", graph.edge_list},
        {"mtx", std::string(banner) + "pattern symmetric\n" + nvtxs + " " + nvtxs + " " +
                    std::to_string(graph.entries) + "\n" + graph.matrix_entries},
    };
    for (const Conversion& conversion : conversions) {
        for (const char* threads : {"1", "2"}) {
            SCOPED_TRACE(std::string(conversion.format) + " on threads " + threads);
            ASSERT_TRUE(write_file(scratch.input, conversion.input));
            const test_support::ProgramRun run =
                run_program(std::string("-from ") + conversion.format + " -threads " + threads +
                            " -in " + scratch.input + " -times 2 -out " + scratch.output);
            EXPECT_EQ(run.exit_status, 0);
            EXPECT_EQ(after_comment(file_bytes(scratch.output)), expected);
        }
    }
}

TEST(EndToEndEdgeLists, a_fault_far_into_the_file_names_its_line) {
    Scratch scratch;
    std::string lines;
    for (int i = 0; i < 200000; ++i)
        lines += std::to_string(i) + " " + std::to_string(i + 1) + "\n";
    // Line 150001 is cut short; a later fault, in a later chunk, is not the one named.
    const std::size_t cut = lines.find("\n150000 ") + 1;
    lines.replace(cut, std::string("150000 150001").size(), "150000");
    lines += "x\n";
    ASSERT_TRUE(write_file(scratch.input, lines));
    for (const char* threads : {"1", "2"}) {
        SCOPED_TRACE(threads);
        const test_support::ProgramRun run = run_program(
            std::string("-check -from edgelist -threads ") + threads + " -in " + scratch.input);
        EXPECT_EQ(run.exit_status, 1);
        EXPECT_EQ(run.standard_output,
                  "ERROR in graph file `" + scratch.input +
                      "': too few numbers in line 150001 (1, where 2 are needed).\n");
    }
}

}  // namespace
