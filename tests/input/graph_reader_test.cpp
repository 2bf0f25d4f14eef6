#include "input/graph_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "common/weight_text.h"
#include "full_reading.h"
#include "input/serial_reader.h"
#include "test_support.h"

namespace {

struct ReadOutcome {
    int result = -1;
    std::string output;
    int nvtxs = -99;
    std::vector<int> edge_offsets;
    std::vector<int> adjacency;
    std::vector<int> vertex_weights;
    std::vector<float> edge_weights;
    bool file_was_closed = false;
};

ReadOutcome read_stream(std::FILE* file, std::int64_t* warning_count = nullptr) {
    ReadOutcome outcome;
    if (file == nullptr) return outcome;
    const int descriptor = fileno(file);
    Block<std::int64_t> edge_offsets;
    Block<int> adjacency, vertex_weights;
    Block<float> edge_weights;
    test_support::MemoryMessages messages;
    outcome.result = read_graph_file(file, "g.graph", messages.sink(), edge_offsets, adjacency,
                                     outcome.nvtxs, vertex_weights, edge_weights);
    if (warning_count != nullptr) *warning_count = messages.sink().warning_count();
    outcome.edge_offsets.assign(edge_offsets.begin(), edge_offsets.end());
    outcome.adjacency.assign(adjacency.begin(), adjacency.end());
    outcome.vertex_weights.assign(vertex_weights.begin(), vertex_weights.end());
    outcome.edge_weights.assign(edge_weights.begin(), edge_weights.end());
    outcome.file_was_closed = fcntl(descriptor, F_GETFD) == -1;
    outcome.output = messages.text();
    return outcome;
}

ReadOutcome read_text(const std::string& text) {
    return read_stream(test_support::stream_with(text));
}

using full_reading::expect_same_as_serial;
using full_reading::FullReading;
using full_reading::read_fully;

// A stream that delivers text and then reports a read error instead of its end.
std::FILE* failing_stream_with(const std::string& text) {
    struct Source {
        std::string text;
        std::size_t position = 0;
    };
    cookie_io_functions_t functions{};
    functions.read = [](void* cookie, char* buffer, std::size_t size) -> ssize_t {
        Source& source = *static_cast<Source*>(cookie);
        if (source.position == source.text.size()) return -1;
        const std::size_t count = std::min(size, source.text.size() - source.position);
        source.text.copy(buffer, count, source.position);
        source.position += count;
        return static_cast<ssize_t>(count);
    };
    functions.close = [](void* cookie) {
        delete static_cast<Source*>(cookie);
        return 0;
    };
    return fopencookie(new Source{text}, "r", functions);
}

// The used part of an array: the reader allocates one entry more than it may fill.
template <typename T>
std::vector<T> first(const std::vector<T>& entries, std::size_t count) {
    return std::vector<T>(entries.begin(), entries.begin() + std::min(count, entries.size()));
}

struct FailureCase {
    const char* name;
    const char* text;
    const char* output;
    int nvtxs;
};

const FailureCase failure_cases[] = {
    {"empty file", "", "ERROR in graph file `g.graph': Invalid number of vertices (0).\n", 0},
    {"comments only", "% a\n\n# b\n",
     "ERROR in graph file `g.graph': Invalid number of vertices (0).\n", 0},
    {"negative vertex count", "-3 2\n",
     "ERROR in graph file `g.graph': Invalid number of vertices (-3).\n", -3},
    {"vertex count past the offsets' limit", "99999999999 2\n",
     "ERROR in graph file `g.graph': Invalid number of vertices (2147483647).\n", 2147483647},
    {"negative edge count", "3 -1\n",
     "ERROR in graph file `g.graph': Invalid number of expected edges (-1).\n", 3},
    {"edge count past the adjacency limit", "3 1073741824\n",
     "ERROR in graph file `g.graph': Invalid number of expected edges (1073741824).\n", 3},
    {"first vertex line without its number", "% a\n% b\n2 1 100\n\n1 2\n",
     "ERROR in graph file `g.graph': no vertex number in line 4.\n", 2},
    {"blank line before the last vertex", "2 1 100\n1 2\n\n2 1\n",
     "ERROR in graph file `g.graph': no vertex number in line 3.\n", 2},
    {"end of file before the last vertex", "2 1 100\n1 2\n",
     "ERROR in graph file `g.graph': no vertex number in line 3.\n", 2},
    {"vertex skipped", "3 1 100\n1 2\n3 1\n",
     "ERROR in graph file `g.graph': out-of-order vertex number in line 3.\n", 3},
    {"first vertex numbered 0", "2 1 100\n0 2\n",
     "ERROR in graph file `g.graph': out-of-order vertex number in line 2.\n", 2},
    {"missing vertex weight", "2 1 10\n5 2\n\n",
     "ERROR in graph file `g.graph': no weight for vertex 2.\n", 2},
    {"zero vertex weight", "2 1 10\n0 2\n",
     "ERROR in graph file `g.graph': zero or negative weight entered for vertex 1.\n", 2},
    // Digits past 2147483647 are refused whatever the sign, before the sign is looked at.
    {"vertex weight past the limit", "2 1 10\n99999999999 2\n3 1\n",
     "ERROR in graph file `g.graph': too large weight entered for vertex 1.\n", 2},
    {"negative vertex weight past the limit", "2 1 10\n1 2\n-2147483648 1\n",
     "ERROR in graph file `g.graph': too large weight entered for vertex 2.\n", 2},
    // A byte order mark anywhere but in front of the file is a word that ends its line.
    {"byte order mark on a later line",
     "2 1\n\xEF\xBB\xBF"
     "2\n1\n",
     "ERROR in graph file `g.graph': Edge (2, 1) entered but not (1, 2)\n"
     "WARNING: I expected 1 edges entered twice, but I only count 1.\n",
     2},
    {"neighbour above nvtxs", "3 2\n2 4\n",
     "ERROR in graph file `g.graph': nvtxs=3, but edge (1,4) was input.\n", 3},
    {"neighbour below 1", "3 2\n2 -2\n",
     "ERROR in graph file `g.graph': zero or negative vertex in edge (1,-2).\n", 3},
    {"neighbour without its weight", "2 1 1\n2 1.5\n1\n",
     "ERROR in graph file `g.graph': no weight for edge (2,1).\n", 2},
    {"too many entries", "3 1\n2 3\n1\n",
     "ERROR in graph file `g.graph': at least 3 adjacencies entered, but nedges = 1\n", 3},
    {"an entry while nedges is 0", "2 0 10\n1 2\n",
     "ERROR in graph file `g.graph': at least 1 adjacencies entered, but nedges = 0\n", 2},
};

TEST(GraphReader, reports_each_error_and_stops) {
    for (const FailureCase& c : failure_cases) {
        SCOPED_TRACE(c.name);
        expect_same_as_serial(c.text);
        ReadOutcome outcome = read_text(c.text);
        EXPECT_EQ(outcome.result, 1);
        EXPECT_EQ(outcome.output, c.output);
        EXPECT_EQ(outcome.nvtxs, c.nvtxs);
        EXPECT_TRUE(outcome.file_was_closed);
    }
}

TEST(GraphReader, stops_writing_at_twice_nedges) {
    ReadOutcome outcome = read_text("3 1\n2 3\n1\n");
    EXPECT_EQ(first(outcome.adjacency, 2), (std::vector<int>{2, 3}));
    EXPECT_EQ(outcome.edge_offsets[1], 2);
}

struct SuccessCase {
    const char* name;
    const char* text;
    const char* output;
    std::vector<int> edge_offsets;
    std::vector<int> adjacency;
    std::vector<int> vertex_weights;
    std::vector<float> edge_weights;
};

const SuccessCase success_cases[] = {
    {"plain file",
     "4 4\n2 3\n1 3 4\n1 2\n2\n",
     "",
     {0, 2, 5, 7, 8},
     {2, 3, 1, 3, 4, 1, 2, 2},
     {},
     {}},
    {"all weights",
     "% c\n3 2 11 7 8\n5 2 1.5 3 2.0\n1 1 0.25\n2 1 1e-50\n",
     "WARNING: Edge (2,1) weighs 0.25, but (1,2) weighs 1.5.\n"
     "WARNING: Edge (3,1) weighs 1e-46, but (1,3) weighs 2.\n",
     {0, 2, 3, 4},
     {2, 3, 1, 1},
     {5, 1, 2},
     {1.5f, 2.0f, 0.25f, 0.0f}},
    {"vertex numbers and continuation lines",
     "3 2 110\n1 4 2\n1 3\n2 1 1\n3 1 1\n",
     "",
     {0, 2, 3, 4},
     {2, 3, 1, 1},
     {4, 1, 1},
     {}},
    {"thousands digit ignored", "2 1 1000\n2\n1\n", "", {0, 1, 2}, {2, 1}, {}, {}},
    {"code of eleven digits read as written",
     "2 1 10000000000\n2\n1\n",
     "",
     {0, 1, 2},
     {2, 1},
     {},
     {}},
    {"code past the limit keeps its last digits",
     "2 1 -99999999010\n3 2\n4 1\n",
     "",
     {0, 1, 2},
     {2, 1},
     {3, 4},
     {}},
    {"byte order mark in front of the file",
     "\xEF\xBB\xBF% c\n3 2\n2\n1 3\n2\n",
     "",
     {0, 1, 3, 4},
     {2, 1, 3, 2},
     {},
     {}},
    {"byte order mark in front of the header",
     "\xEF\xBB\xBF"
     "2 1\n2\n1\n",
     "",
     {0, 1, 2},
     {2, 1},
     {},
     {}},
    {"first bytes that only begin like a byte order mark",
     "\xEF\xBB\n2 1\n2\n1\n",
     "",
     {0, 1, 2},
     {2, 1},
     {},
     {}},
    {"edge weighing differently at its two ends",
     "3 2 1\n2 1 3 0.1\n1 3\n1 1e-50\n",
     "WARNING: Edge (2,1) weighs 3, but (1,2) weighs 1.\n"
     "WARNING: Edge (3,1) weighs 1e-46, but (1,3) weighs 0.1.\n",
     {0, 2, 3, 4},
     {2, 3, 1, 1},
     {},
     {1.0f, 0.1f, 3.0f, 0.0f}},
    {"weights that differ as written but not as stored",
     "2 1 1\n2 0.1\n1 0.100000001\n",
     "",
     {0, 1, 2},
     {2, 1},
     {},
     {0.1f, 0.1f}},
    {"negative code",
     "2 1 -11\n3 2 1\n4 1 2\n",
     "WARNING: Edge (2,1) weighs 2, but (1,2) weighs 1.\n",
     {0, 1, 2},
     {2, 1},
     {3, 4},
     {1.0f, 2.0f}},
    {"comment line in the body", "3 1\n% none\n3\n2\n", "", {0, 0, 1, 2}, {3, 2}, {}, {}},
    {"empty lines in the body", "4 1\n\n4\n\n2\n", "", {0, 0, 1, 1, 2}, {4, 2}, {}, {}},
    {"self edges on two lines",
     "2 1\n1 2\n1 2\n",
     "WARNING: Self edge (1, 1) being ignored.\n"
     "WARNING: 2 self edges were read and ignored.\n",
     {0, 1, 2},
     {2, 1},
     {},
     {}},
    {"carriage returns, comments and form feeds",
     "% c\r\n3 2 1\r\n2 1.5 % 3 1\r\n1 1.5\f3 2 #\r\n2 2\r\n",
     "",
     {0, 1, 3, 4},
     {2, 1, 3, 2},
     {},
     {1.5f, 1.5f, 2.0f, 2.0f}},
    {"file ending two vertices early",
     "4 2\n2\n1\n",
     "WARNING: I expected 2 edges entered twice, but I only count 2.\n",
     {0, 1, 2, 2, 2},
     {2, 1},
     {},
     {}},
    {"file ending four vertices early, without a final newline",
     "6 1\n2\n1",
     "",
     {0, 1, 2, 2, 2, 2, 2},
     {2, 1},
     {},
     {}},
    {"bad edge weights",
     "2 1 1\n2 0 2 -2.5 2 3\n1 3\n",
     "WARNING: Bad weight entered for edge (1,2).  Edge ignored.\n"
     "WARNING: Bad weight entered for edge (1,2).  Edge ignored.\n",
     {0, 1, 2},
     {2, 1},
     {},
     {3.0f, 3.0f}},
    {"three self edges",
     "2 1\n1 2 1\n1 2\n",
     "WARNING: Self edge (1, 1) being ignored.\n"
     "WARNING: 3 self edges were read and ignored.\n",
     {0, 1, 2},
     {2, 1},
     {},
     {}},
    {"repeats across continuation lines",
     "2 1 101\n1 2 1 2 2\n1 2 0 2 4\n2 1 1\n",
     "WARNING: Multiple occurences of edge (1,2) ignored\n"
     "WARNING: Multiple occurences of edge (1,2) ignored\n"
     "WARNING: Bad weight entered for edge (1,2).  Edge ignored.\n"
     "WARNING: Multiple occurences of edge (1,2) ignored\n",
     {0, 1, 2},
     {2, 1},
     {},
     {1.0f, 1.0f}},
    {"weight dropped, later equal entry kept",
     "2 1 1\n2 -1 2 5\n1 5\n",
     "WARNING: Bad weight entered for edge (1,2).  Edge ignored.\n",
     {0, 1, 2},
     {2, 1},
     {},
     {5.0f, 5.0f}},
    {"data after the last vertex",
     "2 1\n2\n1\n\n% c\n7\n",
     "WARNING: Possible error in graph file `g.graph'\n"
     "         Data found after expected end of file\n",
     {0, 1, 2},
     {2, 1},
     {},
     {}},
    {"numbers after vertex nvtxs + 1",
     "2 1 100\n1 2\n2 1\n3 1\n",
     "WARNING: Possible error in graph file `g.graph'\n"
     "         Data found after expected end of file\n",
     {0, 1, 2},
     {2, 1},
     {},
     {}},
    {"vertex nvtxs + 1 alone", "2 1 100\n1 2\n2 1\n3\n\n", "", {0, 1, 2}, {2, 1}, {}, {}},
    {"blank line ends the body",
     "2 1 100\n1 2\n2 1\n\n1 2\n",
     "WARNING: Possible error in graph file `g.graph'\n"
     "         Data found after expected end of file\n",
     {0, 1, 2},
     {2, 1},
     {},
     {}},
};

TEST(GraphReader, fills_the_arrays_of_a_good_file) {
    for (const SuccessCase& c : success_cases) {
        SCOPED_TRACE(c.name);
        expect_same_as_serial(c.text);
        ReadOutcome outcome = read_text(c.text);
        EXPECT_EQ(outcome.result, 0);
        EXPECT_EQ(outcome.output, c.output);
        EXPECT_EQ(outcome.edge_offsets, c.edge_offsets);
        const std::size_t used = static_cast<std::size_t>(c.edge_offsets.back());
        EXPECT_EQ(first(outcome.adjacency, used), c.adjacency);
        EXPECT_EQ(outcome.vertex_weights, c.vertex_weights);
        EXPECT_EQ(first(outcome.edge_weights, used), c.edge_weights);
        EXPECT_TRUE(outcome.file_was_closed);
    }
}

TEST(GraphReader, reports_an_unmatched_edge_and_reads_on) {
    ReadOutcome outcome = read_text("3 2\n2\n1\n1 2\n");
    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(outcome.output,
              "ERROR in graph file `g.graph': Edge (3, 1) entered but not (1, 3)\n"
              "ERROR in graph file `g.graph': Edge (3, 2) entered but not (2, 3)\n");
    EXPECT_EQ(outcome.edge_offsets, (std::vector<int>{0, 1, 2, 4}));
    EXPECT_EQ(first(outcome.adjacency, 4), (std::vector<int>{2, 1, 1, 2}));
}

// Every warning printed counts once, the two lines of the trailing-data warning included; a
// stream that fails is reported after everything else, and fails the reading.
TEST(GraphReader, counts_its_warnings_and_reports_a_failing_stream) {
    const std::string read_error = "Error. Cannot read graph file: g.graph\n";
    const struct {
        const char* name;
        std::FILE* file;
        int result;
        std::string output;
        int warning_count;
    } cases[] = {
        {"silent file", test_support::stream_with("2 1\n2\n1\n"), 0, "", 0},
        {"self edge and trailing data", test_support::stream_with("2 2\n2 1\n1\n\n5\n"), 0,
         "WARNING: Self edge (1, 1) being ignored.\n"
         "WARNING: Possible error in graph file `g.graph'\n"
         "         Data found after expected end of file\n",
         2},
        {"error and warnings", test_support::stream_with("3 5\n2 2 1 1\n1\n1\n"), 1,
         "WARNING: Multiple occurences of edge (1,2) ignored\n"
         "WARNING: Self edge (1, 1) being ignored.\n"
         "ERROR in graph file `g.graph': Edge (3, 1) entered but not (1, 3)\n"
         "WARNING: 2 self edges were read and ignored.\n"
         "WARNING: I expected 5 edges entered twice, but I only count 3.\n",
         4},
        // The count of a file that was not read whole proves nothing.
        {"stream failing after the first vertex lines", failing_stream_with("3 2\n2\n1\n"), 1,
         read_error, 0},
        {"stream failing at once", failing_stream_with(""), 1,
         "ERROR in graph file `g.graph': Invalid number of vertices (0).\n" + read_error, 0},
        {"directory", std::fopen("/", "r"), 1,
         "ERROR in graph file `g.graph': Invalid number of vertices (0).\n" + read_error, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::int64_t warning_count = -1;
        ReadOutcome outcome = read_stream(c.file, &warning_count);
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(outcome.output, c.output);
        EXPECT_EQ(warning_count, c.warning_count);
    }
}

// A stream that fails partway: its last bytes are no whole line, and where it stopped is not
// where the file ends. Both readers print only the faults of the lines read whole, then the
// read error; nothing about a line never read, or cut short.
TEST(GraphReader, after_a_failed_read_reports_only_what_whole_lines_prove) {
    const std::string read_error = "Error. Cannot read graph file: g.graph\n";
    const struct {
        const char* name;
        std::string text;  // what the stream delivers before it fails
        std::string output;
    } cases[] = {
        {"edge whose higher end was never read", "3 2\n2 3\n1\n", read_error},
        {"line cut short by the failure", "3 2\n2\n1 3\n2 1", read_error},
        {"long line cut short", "3 2\n2\n1 3\n" + std::string(500, ' ') + "2 1", read_error},
        {"long number cut short", "3 2\n2\n1 3\n2 " + std::string(300, '1'), read_error},
        {"long weight cut short", "3 2 1\n2 1\n1 1 3 1\n2 " + std::string(300, '1'), read_error},
        {"faults of whole lines stay", "3 2\n2\n1 1 3 2\n",
         "WARNING: Multiple occurences of edge (2,1) ignored\n"
         "WARNING: Self edge (2, 2) being ignored.\n" +
             read_error},
        {"unmatched edges of lines read whole", "3 2\n2\n3\n1 2\n1",
         "ERROR in graph file `g.graph': Edge (3, 1) entered but not (1, 3)\n"
         "ERROR in graph file `g.graph': Edge (1, 2) entered but not (2, 1)\n" +
             read_error},
        {"vertex weight never read", "3 2 10\n1 2\n1 1 3\n", read_error},
        {"vertex number never read", "3 2 100\n1 2\n2 1 3\n", read_error},
    };
    for (const auto& c : cases) {
        for (const bool serially : {false, true}) {
            for (const ReaderSettings settings : {ReaderSettings{1, 2}, ReaderSettings{2, 0}}) {
                SCOPED_TRACE(testing::Message() << c.name << (serially ? ", serially" : "")
                                                << ", chunks of " << settings.chunk_bytes);
                Block<std::int64_t> edge_offsets;
                Block<int> adjacency, vertex_weights;
                Block<float> edge_weights;
                int nvtxs = 0;
                test_support::MemoryMessages messages;
                auto read = serially ? read_graph_file_serially : read_graph_file;
                EXPECT_EQ(
                    read(failing_stream_with(c.text), "g.graph", messages.sink(), edge_offsets,
                         adjacency, nvtxs, vertex_weights, edge_weights, settings),
                    1);
                EXPECT_EQ(messages.text(), c.output);
            }
        }
    }
}

// Edges that only their lower end lists, reported once the last vertex line has been read:
// after every message of the body, before the trailing-data warning, in increasing order of
// the lower end and then in list order.
TEST(GraphReader, reports_edges_listed_only_at_their_lower_end) {
    const std::string prefix = "ERROR in graph file `g.graph':";
    std::string long_last_list = "35 34\n";
    for (int v = 1; v <= 34; ++v)
        long_last_list += "35\n";
    for (int u = 33; u >= 1; --u)
        long_last_list += std::to_string(u) + " ";
    std::string searched_list = "37 36\n35 37\n";
    for (int v = 2; v <= 34; ++v)
        searched_list += "35\n";
    for (int u = 1; u <= 34; ++u)
        searched_list += std::to_string(u) + " ";
    searched_list += "36\n35\n\n";
    const struct {
        const char* name;
        std::string text;
        std::string output;
        std::vector<int> edge_offsets;
    } cases[] = {
        {"only the lower end lists an edge",
         "3 2\n2 3\n1\n\n",
         prefix + " Edge (1, 3) entered but not (3, 1)\n" +
             "WARNING: I expected 2 edges entered twice, but I only count 3.\n",
         {0, 2, 3, 3}},
        {"in order, after the body's messages and before the trailing data",
         "4 3\n4 2 3\n1 1\n2\n\n\n7\n",
         "WARNING: Multiple occurences of edge (2,1) ignored\n" + prefix +
             " Edge (3, 2) entered but not (2, 3)\n" + prefix +
             " Edge (1, 4) entered but not (4, 1)\n" + prefix +
             " Edge (1, 3) entered but not (3, 1)\n" +
             "WARNING: Possible error in graph file `g.graph'\n" +
             "         Data found after expected end of file\n",
         {0, 3, 4, 5, 5}},
        {"file ending before the higher end's line",
         "5 2 100\n1 5\n2\n3\n",
         prefix + " no vertex number in line 5.\n",
         {}},
        // The last list is long: it is searched through its sorted copy, made at the end.
        {"long last list",
         long_last_list,
         prefix + " Edge (34, 35) entered but not (35, 34)\n" +
             "WARNING: I expected 34 edges entered twice, but I only count 67.\n",
         {}},
        // Vertex 36 has searched the long list of 35 to its end; 1 to 34 search it again.
        {"long list searched again from its start",
         searched_list,
         prefix + " Edge (1, 37) entered but not (37, 1)\n" +
             "WARNING: I expected 36 edges entered twice, but I only count 71.\n",
         {}},
        {"file ending five vertices early",
         "6 1\n4",
         prefix + " Edge (1, 4) entered but not (4, 1)\n" +
             "WARNING: I expected 1 edges entered twice, but I only count 1.\n",
         {0, 1, 1, 1, 1, 1, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expect_same_as_serial(c.text);
        ReadOutcome outcome = read_text(c.text);
        EXPECT_EQ(outcome.result, 1);
        EXPECT_EQ(outcome.output, c.output);
        if (!c.edge_offsets.empty()) {
            EXPECT_EQ(outcome.edge_offsets, c.edge_offsets);
        }
    }
}

// The edge {1, 2} listed at both ends (kept_count 2) with S self edges and D repeats on the
// first line. Each passing row matches exactly one of the six sums.
TEST(GraphReader, checks_the_count_against_six_sums) {
    const std::string self = "WARNING: Self edge (1, 1) being ignored.\n";
    const std::string repeat = "WARNING: Multiple occurences of edge (1,2) ignored\n";
    const struct {
        const char* name;
        const char* text;
        std::string output;
    } cases[] = {
        {"kept_count", "2 1\n2\n1\n", ""},
        {"+ S", "2 2\n2 1 1\n1\n", self + "WARNING: 2 self edges were read and ignored.\n"},
        {"+ 2S", "2 2\n2 1\n1\n", self},
        {"+ D", "2 2\n2 2 2\n1\n", repeat + repeat},
        {"+ S + D", "2 3\n2 1 2 2 2\n1\n", self + repeat + repeat + repeat},
        {"+ 2S + D", "2 3\n2 1 2 2\n1\n", self + repeat + repeat},
        {"a repeat with a bad weight counted once", "2 2 1\n2 1 2 0 2 -1\n1 1\n",
         repeat + "WARNING: Bad weight entered for edge (1,2).  Edge ignored.\n" + repeat +
             "WARNING: Bad weight entered for edge (1,2).  Edge ignored.\n"},
        {"no sum", "2 4\n2 1 2 2\n1\n",
         self + repeat + repeat +
             "WARNING: I expected 4 edges entered twice, but I only count 2.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expect_same_as_serial(c.text);
        ReadOutcome outcome = read_text(c.text);
        EXPECT_EQ(outcome.output, c.output);
        EXPECT_EQ(outcome.result, 0);
    }
}

// More messages than one block of held notes takes, on lines of their own and on one long
// line, among symmetry errors and weights that differ: the same bytes as the serial reader's.
TEST(GraphReader, agrees_with_the_serial_reader_over_blocks_of_notes) {
    std::string first_line;
    for (int i = 0; i < 5000; ++i)
        first_line += i % 3 == 0 ? "2 1 " : i % 3 == 1 ? "3 2 " : "2 0 ";
    std::string text = "4 3 1\n" + first_line + "\n1 1\n1 2.5 4 1\n3 1\n";
    for (int i = 0; i < 3000; ++i)
        text += "4 1\n";
    expect_same_as_serial(text);
    expect_same_as_serial("3 2 1\n2 1 3 1\n" + first_line + "\n2 1\n");
}

// A graph of more vertices than one range of the symmetry check holds, its edges between
// random vertices, some listed at one end only, some weighing differently at the two ends,
// some lists out of order: the readers must agree across the ranges' borders too, and when
// the entries are gathered in rounds of one range or a few.
TEST(GraphReader, agrees_with_the_serial_reader_across_symmetry_ranges) {
    std::mt19937 random(20261208);
    constexpr int nvtxs = 9000;
    std::vector<std::vector<std::pair<int, int>>> lists(nvtxs + 1);
    int entries = 0;
    for (int i = 0; i < 3 * nvtxs; ++i) {
        const int u = 1 + static_cast<int>(random() % nvtxs);
        const int v = 1 + static_cast<int>(random() % nvtxs);
        if (u == v) continue;
        const int weight = 1 + static_cast<int>(random() % 3);
        lists[u].push_back({v, weight});
        ++entries;
        if (random() % 500 == 0) continue;  // listed at one end only
        lists[v].push_back({u, random() % 500 == 0 ? weight + 1 : weight});
        ++entries;
    }
    std::string text = std::to_string(nvtxs) + " " + std::to_string(entries / 2) + " 1\n";
    for (int v = 1; v <= nvtxs; ++v) {
        if (random() % 4 != 0) std::sort(lists[v].begin(), lists[v].end());
        for (const auto& [u, weight] : lists[v]) {
            text += std::to_string(u);
            text += ' ';
            text += std::to_string(weight);
            text += ' ';
        }
        text += '\n';
    }
    for (int threads = 1; threads <= 4; ++threads) {
        SCOPED_TRACE(threads);
        ReaderSettings settings{threads, threads * 1000, threads % 2 == 0};
        settings.round_entries = std::int64_t{threads % 3} * 4000;
        const FullReading serial = read_fully(text, settings, true);
        EXPECT_EQ(serial.result, 1);
        EXPECT_NE(serial.output.find("weighs"), std::string::npos);
        EXPECT_TRUE(read_fully(text, settings, false) == serial);
    }
}

// A check hands the arrays to nobody: the lists of vertices that no line reached are not
// written, so a header that claims a hundred million vertices costs no memory for them.
TEST(GraphReader, leaves_unreached_lists_unwritten_when_asked) {
    const FullReading unwritten = read_fully("6 1\n2\n1", ReaderSettings{2, 0, false}, false);
    EXPECT_EQ(std::vector<int>(unwritten.edge_offsets.begin(), unwritten.edge_offsets.end()),
              (std::vector<int>{0, 1, 2, 2, 0, 0, 2}));
    const FullReading claimed =
        read_fully("100000000 1\n2\n1\n", ReaderSettings{2, 0, false}, false);
    EXPECT_EQ(claimed.result, 0);
    EXPECT_EQ(claimed.output, "");
    // The line after the last one read begins vertex 3, which so has its (empty) list.
    EXPECT_EQ(claimed.edge_offsets[3], 2);
    EXPECT_EQ(claimed.edge_offsets[4], 0);
    EXPECT_EQ(claimed.edge_offsets[100000000], 2);
}

TEST(GraphReader, leaves_the_arrays_absent_without_a_body) {
    const struct {
        const char* name;
        const char* text;
        const char* output;
    } cases[] = {
        {"vertex count alone", "3", ""},
        {"no edges", "3 0\n", ""},
        {"no edges, then data", "% c\n3 0 0 4\n\n5\n",
         "WARNING: Possible error in graph file `g.graph'\n"
         "         Data found after expected end of file\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReadOutcome outcome = read_text(c.text);
        EXPECT_EQ(outcome.result, 0);
        EXPECT_EQ(outcome.output, c.output);
        EXPECT_EQ(outcome.nvtxs, 3);
        EXPECT_TRUE(outcome.edge_offsets.empty());
        EXPECT_TRUE(outcome.adjacency.empty());
        EXPECT_TRUE(outcome.file_was_closed);
    }
}

TEST(GraphReader, starts_each_file_on_a_fresh_line) {
    // The first file stops in the middle of a line; the second must not see its rest.
    ReadOutcome stopped = read_text("2 1\n3 4 5 6\n");
    ASSERT_EQ(stopped.result, 1);
    ReadOutcome outcome = read_text("2 1\n2\n1\n");
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.output, "");
    EXPECT_EQ(outcome.edge_offsets, (std::vector<int>{0, 1, 2}));
}

#if !defined(__SANITIZE_ADDRESS__)
// Reads text in a child whose address space is capped, and gives what it printed.
std::string output_with_little_memory(const std::string& text, int& result) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipe_ends[1], STDOUT_FILENO);
        const rlimit cap{1L << 30, 1L << 30};
        setrlimit(RLIMIT_AS, &cap);
        std::FILE* file = test_support::stream_with(text);
        Block<std::int64_t> edge_offsets;
        Block<int> adjacency, vertex_weights;
        Block<float> edge_weights;
        int nvtxs = 0;
        MessageSink messages(stdout);
        const int code = read_graph_file(file, "g.graph", messages, edge_offsets, adjacency, nvtxs,
                                         vertex_weights, edge_weights);
        std::fflush(stdout);
        _exit(code);
    }
    close(pipe_ends[1]);
    std::string output;
    char chunk[256];
    ssize_t count;
    while ((count = read(pipe_ends[0], chunk, sizeof chunk)) > 0)
        output.append(chunk, count);
    close(pipe_ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

TEST(GraphReader, refuses_counts_the_memory_cannot_hold) {
    const struct {
        const char* text;
        const char* output;
    } cases[] = {
        {"3 1073741823\n",
         "ERROR in graph file `g.graph': not enough memory for 3 vertices and 1073741823 "
         "edges.\n"},
        {"2147483646 0 10\n",
         "ERROR in graph file `g.graph': not enough memory for 2147483646 vertices and 0 "
         "edges.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int result = -1;
        EXPECT_EQ(output_with_little_memory(c.text, result), c.output);
        EXPECT_EQ(result, 1);
    }
}
#endif

// The neighbour checks done the plain way: linear searches over the kept entries.
struct Line {
    int vertex;
    std::vector<std::pair<int, double>> entries;
};

ReadOutcome read_by_linear_search(int nvtxs, int nedges, bool has_edge_weights,
                                  const std::vector<Line>& lines) {
    ReadOutcome outcome;
    outcome.edge_offsets.assign(nvtxs + 1, 0);
    std::string& out = outcome.output;
    const std::string prefix = "ERROR in graph file `g.graph':";
    char text[200];
    long long self_edges = 0, ignored = 0;
    int kept = 0;
    outcome.result = 0;
    for (const Line& line : lines) {
        const int v = line.vertex;
        for (auto [u, x] : line.entries) {
            bool dropped = false, repeated = false;
            if (u == v) {
                if (self_edges++ == 0) {
                    std::snprintf(text, sizeof text, "WARNING: Self edge (%d, %d) being ignored.\n",
                                  v, v);
                    out += text;
                }
                dropped = true;
            } else {
                for (int p = outcome.edge_offsets[v - 1]; p < kept && !repeated; ++p) {
                    repeated = outcome.adjacency[p] == u;
                }
                if (repeated) {
                    std::snprintf(text, sizeof text,
                                  "WARNING: Multiple occurences of edge (%d,%d) ignored\n", v, u);
                    out += text;
                    ++ignored;
                    dropped = true;
                }
            }
            if (has_edge_weights && !(x > 0)) {
                std::snprintf(text, sizeof text,
                              "WARNING: Bad weight entered for edge (%d,%d).  Edge ignored.\n", v,
                              u);
                out += text;
                if (!repeated) ++ignored;
                dropped = true;
            }
            if (dropped) continue;
            if (u < v) {
                int found_at = -1;
                for (int p = outcome.edge_offsets[u - 1]; p < outcome.edge_offsets[u]; ++p) {
                    if (outcome.adjacency[p] == v) found_at = p;
                }
                if (found_at >= 0 && has_edge_weights &&
                    static_cast<float>(x) != outcome.edge_weights[found_at]) {
                    char mine[32] = {}, theirs[32] = {};
                    form_weight_digits(static_cast<float>(x), mine);
                    form_weight_digits(outcome.edge_weights[found_at], theirs);
                    std::snprintf(text, sizeof text,
                                  "WARNING: Edge (%d,%d) weighs %s, but (%d,%d) weighs %s.\n", v, u,
                                  mine, u, v, theirs);
                    out += text;
                }
                if (found_at < 0) {
                    std::snprintf(text, sizeof text, " Edge (%d, %d) entered but not (%d, %d)\n", v,
                                  u, u, v);
                    out += prefix + text;
                    outcome.result = 1;
                }
            }
            if (++kept > 2 * nedges) {
                std::snprintf(text, sizeof text,
                              " at least %d adjacencies entered, but nedges = %d\n", kept, nedges);
                out += prefix + text;
                outcome.result = 1;
                return outcome;
            }
            outcome.adjacency.push_back(u);
            if (has_edge_weights) outcome.edge_weights.push_back(static_cast<float>(x));
        }
        outcome.edge_offsets[v] = kept;
    }
    for (int v = 1; v <= nvtxs; ++v) {
        for (int p = outcome.edge_offsets[v - 1]; p < outcome.edge_offsets[v]; ++p) {
            const int u = outcome.adjacency[p];
            bool found = u < v;
            for (int q = outcome.edge_offsets[u - 1]; q < outcome.edge_offsets[u]; ++q) {
                found = found || outcome.adjacency[q] == v;
            }
            if (!found) {
                std::snprintf(text, sizeof text, " Edge (%d, %d) entered but not (%d, %d)\n", v, u,
                              u, v);
                out += prefix + text;
                outcome.result = 1;
            }
        }
    }
    if (self_edges > 1) {
        std::snprintf(text, sizeof text, "WARNING: %lld self edges were read and ignored.\n",
                      self_edges);
        out += text;
    }
    bool agrees = false;
    for (long long a = 0; a <= 2; ++a) {
        for (long long b = 0; b <= 1; ++b)
            agrees = agrees || kept + a * self_edges + b * ignored == 2LL * nedges;
    }
    if (!agrees) {
        std::snprintf(text, sizeof text,
                      "WARNING: I expected %d edges entered twice, but I only count %d.\n", nedges,
                      kept);
        out += text;
    }
    return outcome;
}

// Small graphs with one hub vertex whose long list holds repeats, self edges, entries its
// neighbours lack and bad weights, read both ways.
TEST(GraphReader, agrees_with_linear_search_on_hub_vertices) {
    std::mt19937 random(20240607);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        const int nvtxs = 2 + static_cast<int>(random() % (round % 2 == 0 ? 12 : 150));
        const bool has_edge_weights = random() % 2 == 0;
        const bool has_vertex_numbers = random() % 2 == 0;
        std::vector<std::vector<std::pair<int, double>>> lists(nvtxs + 1);
        const double weights[] = {1.5, 2, 0.25, 3, 0, -1.5};
        auto add = [&](int v, int u) {
            lists[v].push_back({u, weights[random() % (random() % 8 == 0 ? 6 : 4)]});
        };
        const int additions = 60 + static_cast<int>(random() % 400);
        for (int i = 0; i < additions; ++i) {
            const int u = 1 + static_cast<int>(random() % nvtxs);
            const int w = random() % 4 == 0 ? 1 : 1 + static_cast<int>(random() % nvtxs);
            add(u, w);
            if (random() % 6 != 0) add(w, u);
        }
        int entries = 0;
        std::vector<Line> lines;
        for (int v = 1; v <= nvtxs; ++v) {
            std::shuffle(lists[v].begin(), lists[v].end(), random);
            entries += static_cast<int>(lists[v].size());
            Line line{v, {}};
            for (const auto& entry : lists[v]) {
                line.entries.push_back(entry);
                if (has_vertex_numbers && random() % 30 == 0) {
                    lines.push_back(line);
                    line.entries.clear();
                }
            }
            lines.push_back(line);
        }
        // Twice nedges lands near the kept entries: some rounds match, some run out of room.
        const int kept = static_cast<int>(
            read_by_linear_search(nvtxs, entries, has_edge_weights, lines).adjacency.size());
        const int nedges = std::max(1, (kept + static_cast<int>(random() % 7) - 3) / 2);
        std::string text = std::to_string(nvtxs) + " " + std::to_string(nedges) + " " +
                           (has_vertex_numbers ? "10" : "") + (has_edge_weights ? "1" : "0") + "\n";
        for (const Line& line : lines) {
            if (has_vertex_numbers) text += std::to_string(line.vertex);
            for (auto [u, x] : line.entries) {
                // Appended piece by piece: " " + std::to_string trips a false -Wrestrict.
                text += ' ';
                text += std::to_string(u);
                if (has_edge_weights) {
                    text += ' ';
                    text += std::to_string(x);
                }
            }
            text += "\n";
        }
        ReadOutcome expected = read_by_linear_search(nvtxs, nedges, has_edge_weights, lines);
        ReadOutcome outcome = read_text(text);
        if (round % 10 == 0) expect_same_as_serial(text);
        ASSERT_EQ(outcome.output, expected.output);
        EXPECT_EQ(outcome.result, expected.result);
        const std::size_t used = expected.adjacency.size();
        EXPECT_EQ(first(outcome.adjacency, used), expected.adjacency);
        EXPECT_EQ(first(outcome.edge_weights, used), expected.edge_weights);
        if (expected.output.find("adjacencies entered") == std::string::npos) {
            EXPECT_EQ(outcome.edge_offsets, expected.edge_offsets);
        }
    }
}

}  // namespace
