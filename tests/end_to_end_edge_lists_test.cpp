// Runs the built program on edge lists and Matrix Market files: what each accepts and the
// graph it makes, each refusal with its message, and conversions that keep the graph.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using test_support::after_comment;
using test_support::expect_run;
using test_support::file_bytes;
using test_support::run_program;

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
    const test_support::ScratchFiles files;
    for (const FormatCase& c : cases) {
        const bool writes = c.graph != nullptr;
        expect_run(files, {.name = c.name,
                           .input = c.input,
                           .arguments = std::string("-from ") + c.format +
                                        " -in NAME -times 1 -out OUT " + c.options,
                           .exit_status = c.exit_status,
                           .standard_output = c.messages,
                           .output = writes ? std::optional("% 1 NAME\n" + std::string(c.graph))
                                            : std::nullopt,
                           .standard_error = ""});
        // A conversion is a graph file that passes the strictest check.
        if (writes) {
            const test_support::ProgramRun check =
                run_program("-check -strict -in " + files.output);
            EXPECT_EQ(check.exit_status, 0) << check.standard_output;
        }
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
    const test_support::ScratchFiles files;
    // Larger than one chunk of input, so that the threads share the lines.
    const RandomGraph graph = random_graph(60000, 12);
    ASSERT_GT(graph.edge_list.size(), std::size_t{1} << 20);
    ASSERT_TRUE(test_support::write_file(files.input, graph.text));
    ASSERT_EQ(run_program("-in " + files.input + " -times 2 -out " + files.reference).exit_status,
              0);
    const std::string expected = "% 2 NAME\n" + after_comment(file_bytes(files.reference));
    const std::string nvtxs = "60000";
    // Every third edge of the list is listed again the other way.
    const std::string merged =
        "Repaired: " + std::to_string(graph.entries / 3) + " repeated edges merged.\n";
    const struct {
        const char* format;
        std::string input;
        std::string messages;
    } conversions[] = {
        {"edgelist", graph.edge_list, merged},
        {"mtx",
         std::string(banner) + "pattern symmetric\n" + nvtxs + " " + nvtxs + " " +
             std::to_string(graph.entries) + "\n" + graph.matrix_entries,
         ""},
    };
    for (const auto& [format, input, messages] : conversions) {
        for (const std::string threads : {"1", "2"}) {
            expect_run(files, {.name = format + (" on threads " + threads),
                               .input = input,
                               .arguments = std::string("-from ") + format + " -threads " +
                                            threads + " -in NAME -times 2 -out OUT",
                               .standard_output = messages,
                               .output = expected});
        }
    }
}

TEST(EndToEndEdgeLists, a_fault_far_into_the_file_names_its_line) {
    std::string lines;
    for (int i = 0; i < 200000; ++i)
        lines += std::to_string(i) + " " + std::to_string(i + 1) + "\n";
    // Line 150001 is cut short; a later fault, in a later chunk, is not the one named.
    const std::size_t cut = lines.find("\n150000 ") + 1;
    lines.replace(cut, std::string("150000 150001").size(), "150000");
    lines += "x\n";
    const test_support::ScratchFiles files;
    for (const std::string threads : {"1", "2"}) {
        expect_run(files, {.name = "on threads " + threads,
                           .input = lines,
                           .arguments = "-check -from edgelist -threads " + threads + " -in NAME",
                           .exit_status = 1,
                           .standard_output = "ERROR in graph file `NAME': too few numbers in line "
                                              "150001 (1, where 2 are needed).\n"});
    }
}

}  // namespace
