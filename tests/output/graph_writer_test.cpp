#include "output/graph_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/progress_line.h"
#include "output/join_ring.h"
#include "output/line_pieces.h"
#include "test_support.h"

namespace {

struct InputGraph {
    std::vector<std::int64_t> edge_offsets;  // empty: absent
    std::vector<int> adjacency;
    int nvtxs;
};

VertexGraph built(const InputGraph& input, std::int64_t& nedges) {
    VertexGraph graph;
    const std::int64_t* offsets = input.edge_offsets.empty() ? nullptr : input.edge_offsets.data();
    const int* adjacency = input.adjacency.empty() ? nullptr : input.adjacency.data();
    test_support::MemoryMessages messages;
    EXPECT_EQ(build_vertex_graph(offsets, adjacency, input.nvtxs, nedges, nullptr, nullptr, graph,
                                 messages.sink()),
              0);
    return graph;
}

// Runs the writer into a temporary file and gives back what it holds.
std::string written(int times, const std::string& name, int nvtxs, int nedges, int nconnect,
                    const VertexGraph& graph, const ReplicaExtras& extras = ReplicaExtras{}) {
    std::FILE* out = std::tmpfile();
    if (out == nullptr) return "no temporary file";
    EXPECT_EQ(write_replicated_graph(out, times, name, nvtxs, nedges, nconnect, graph, extras),
              WriteResult::written);
    std::string bytes;
    std::fflush(out);
    std::rewind(out);
    char chunk[65536];
    std::size_t count;
    while ((count = std::fread(chunk, 1, sizeof chunk, out)) > 0)
        bytes.append(chunk, count);
    std::fclose(out);
    return bytes;
}

const InputGraph path{{0, 1, 3, 4}, {2, 1, 3, 2}, 3};
const InputGraph isolated{{0, 1, 1, 2, 2}, {3, 1}, 4};
const InputGraph no_vertices{{}, {}, 0};

struct WriteCase {
    const char* name;
    const InputGraph* input;
    int times;
    int nconnect;
    const char* bytes;
};

const WriteCase write_cases[] = {
    {"path, one copy", &path, 1, 0, "% 1 path.txt\n3 2\n2 \n1 3 \n2 \n"},
    {"path, two copies", &path, 2, 0, "% 2 path.txt\n6 4\n2 \n1 3 \n2 \n5 \n4 6 \n5 \n"},
    {"path, two copies and three connections", &path, 2, 3,
     "% 2 path.txt\n6 10\n2 \n1 3 \n2 \n5 \n4 6 \n5 \n"},
    {"isolated vertices", &isolated, 2, 0, "% 2 path.txt\n8 2\n3 \n\n1 \n\n7 \n\n5 \n\n"},
    {"negative copy count", &path, -2, 0, "% -2 path.txt\n-6 -4\n"},
    {"negative copy count and connections", &path, -1, 2, "% -1 path.txt\n-3 2\n"},
    {"no vertices", &no_vertices, 3, 1, "% 3 path.txt\n0 2\n"},
};

TEST(GraphWriter, writes_the_header_and_every_copy) {
    for (const WriteCase& c : write_cases) {
        SCOPED_TRACE(c.name);
        std::int64_t nedges = 0;
        VertexGraph graph = built(*c.input, nedges);
        EXPECT_EQ(written(c.times, "path.txt", c.input->nvtxs, nedges, c.nconnect, graph), c.bytes);
    }
}

TEST(GraphWriter, writes_numbers_of_every_length) {
    // One vertex whose list holds numbers at each change of digit count. Such a list never
    // comes out of a checked file; it puts every length through the number formatting.
    std::vector<int> neighbours = {
        1,         9,         10,         99,         100,     999,     1000,           9999,
        10000,     99999,     100000,     999999,     1000000, 9999999, 10000000,       99999999,
        100000000, 999999999, 1000000000, 2147483647, 0,       -5,      -2147483647 - 1};
    VertexRecord record{1, static_cast<int>(neighbours.size()), neighbours.data(), nullptr};
    VertexGraph graph;
    graph.slots = {nullptr, &record};
    EXPECT_EQ(written(2, "long.txt", 1, 0, 0, graph),
              "% 2 long.txt\n2 0\n"
              "9 10 99 100 999 1000 9999 10000 99999 100000 999999 1000000 9999999 10000000 "
              "99999999 100000000 999999999 1000000000 2147483647 0 -5 -2147483648 \n"
              "10 11 100 101 1000 1001 10000 10001 100000 100001 1000000 1000001 10000000 "
              "10000001 100000000 100000001 1000000000 1000000001 2147483648 1 -4 -2147483647 \n");
}

// A ring: every vertex lists the one before and the one after it.
InputGraph ring(int nvtxs) {
    InputGraph input{{0}, {}, nvtxs};
    for (int v = 1; v <= nvtxs; ++v) {
        input.adjacency.push_back(v == 1 ? nvtxs : v - 1);
        input.adjacency.push_back(v == nvtxs ? 1 : v + 1);
        input.edge_offsets.push_back(2 * v);
    }
    return input;
}

// A star: vertex 1 lists every other vertex, each of which lists vertex 1.
InputGraph star(int nvtxs) {
    InputGraph input{{0}, {}, nvtxs};
    for (int v = 2; v <= nvtxs; ++v)
        input.adjacency.push_back(v);
    input.edge_offsets.push_back(nvtxs - 1);
    for (int v = 2; v <= nvtxs; ++v) {
        input.adjacency.push_back(1);
        input.edge_offsets.push_back(nvtxs - 1 + v - 1);
    }
    return input;
}

// The expected file, formed number by number with snprintf from the input arrays.
std::string expected_text(const InputGraph& input, int times, int nedges) {
    char number[64];
    std::snprintf(number, sizeof number, "%% %d big.txt\n%d %d\n", times, times * input.nvtxs,
                  times * nedges);
    std::string text = number;
    for (int copy = 0; copy < times; ++copy) {
        for (int v = 1; v <= input.nvtxs; ++v) {
            for (int i = input.edge_offsets[v - 1]; i < input.edge_offsets[v]; ++i) {
                std::snprintf(number, sizeof number, "%d ",
                              input.adjacency[i] + copy * input.nvtxs);
                text += number;
            }
            text += '\n';
        }
    }
    return text;
}

struct LargeCase {
    const char* name;
    InputGraph input;
    int times;
};

// On one thread and on several, which take the pieces in turns and finish them out of order.
// A watcher's counters end with every vertex line's bytes and every unit done.
TEST(GraphWriter, writes_output_larger_than_its_buffer) {
    const LargeCase large_cases[] = {
        {"ring, many buffers of short lines", ring(300000), 3},
        {"star, one line longer than the buffer", star(700001), 2},
    };
    for (const LargeCase& c : large_cases) {
        std::int64_t nedges = 0;
        VertexGraph graph = built(c.input, nedges);
        const std::string expected = expected_text(c.input, c.times, nedges);
        for (int threads : {1, 2, 5}) {
            SCOPED_TRACE(std::string(c.name) + ", threads " + std::to_string(threads));
            ReplicaExtras extras;
            extras.threads = threads;
            ProgressCounters progress;
            extras.progress = &progress;
            const std::string bytes =
                written(c.times, "big.txt", c.input.nvtxs, nedges, 0, graph, extras);
            const std::size_t header_bytes = bytes.find('\n', bytes.find('\n') + 1) + 1;
            EXPECT_EQ(static_cast<std::size_t>(progress.bytes_done), bytes.size() - header_bytes);
            EXPECT_GT(progress.parts_total, 1);
            EXPECT_EQ(progress.parts_done, progress.parts_total);
            ASSERT_EQ(bytes.size(), expected.size());
            EXPECT_TRUE(bytes == expected)
                << "first difference at byte "
                << std::mismatch(bytes.begin(), bytes.end(), expected.begin()).first -
                       bytes.begin();
        }
    }
}

// The expected lines formed the plain way from the input arrays: the vertex weight, each
// neighbour with its edge weight, then the partners that every link of the ring of copies
// gives the vertex, sorted, each with weight 1.
std::string expected_joined(const InputGraph& input, const std::vector<int>& vertex_weights,
                            const std::vector<float>& edge_weights,
                            const std::vector<JoinPair>& pairs, int times) {
    std::vector<std::pair<int, int>> links;
    for (int a = 0; a < times && times > 1; ++a) {
        if (times > 2 || a == 0) links.push_back({a, (a + 1) % times});
    }
    const int n = input.nvtxs;
    std::map<std::pair<int, int>, std::vector<int>> partners_of;  // by copy and vertex
    for (auto [a, b] : links) {
        for (const JoinPair& pair : pairs) {
            partners_of[{a, pair.from}].push_back(b * n + pair.to);
            partners_of[{b, pair.to}].push_back(a * n + pair.from);
        }
    }
    std::string text;
    char number[64];
    for (int copy = 0; copy < times; ++copy) {
        for (int v = 1; v <= n; ++v) {
            std::snprintf(number, sizeof number, "%d ", vertex_weights[v - 1]);
            text += number;
            for (int i = input.edge_offsets[v - 1]; i < input.edge_offsets[v]; ++i) {
                std::snprintf(number, sizeof number, "%d %g ", input.adjacency[i] + copy * n,
                              edge_weights[i]);
                text += number;
            }
            std::vector<int>& partners = partners_of[{copy, v}];
            std::sort(partners.begin(), partners.end());
            for (int partner : partners)
                text += std::to_string(partner) + " 1 ";
            text += '\n';
        }
    }
    return text;
}

TEST(GraphWriter, splits_long_joined_weighted_lines_anywhere) {
    // The centre of the star lists 40000 leaves with their weights and 20012 join partners:
    // its line is cut among its neighbours and among its partners.
    const InputGraph input = star(40001);
    std::vector<int> vertex_weights;
    for (int v = 1; v <= input.nvtxs; ++v)
        vertex_weights.push_back(1 + v % 5);
    std::vector<float> edge_weights;
    for (std::size_t i = 0; i < input.adjacency.size(); ++i)
        edge_weights.push_back(0.25f * static_cast<float>(1 + i % 9));
    std::vector<JoinPair> pairs{{1, 1}, {7, 3}};
    for (int v = 20001; v >= 2; --v)
        pairs.push_back({1, v});
    for (int v = 30000; v < 30010; ++v)
        pairs.push_back({v, 1});
    ReplicaExtras extras{pairs, true, true};
    struct Split {
        int times;
        std::int64_t piece_bytes;  // 0: the default
    };
    // Pieces of two items cut the lines at every other position, among them the end of a line
    // of copy 0 of two, which lists fewer items than counted for it (no partners in a copy
    // before): the piece that begins there holds just the newline.
    const Split splits[] = {{2, 0}, {3, 0}, {2, 100}};
    for (const auto [times, piece_bytes] : splits) {
        SCOPED_TRACE(std::to_string(times) + " copies, pieces of " + std::to_string(piece_bytes));
        // Units this small go faster formatted on the calling thread than handed over.
        extras.threads = piece_bytes == 0 ? times : 1;
        extras.piece_bytes = piece_bytes;
        std::int64_t nedges = 0;
        VertexGraph graph;
        test_support::MemoryMessages messages;
        ASSERT_EQ(build_vertex_graph(input.edge_offsets.data(), input.adjacency.data(), input.nvtxs,
                                     nedges, vertex_weights.data(), edge_weights.data(), graph,
                                     messages.sink()),
                  0);
        std::FILE* out = std::tmpfile();
        ASSERT_NE(out, nullptr);
        ASSERT_EQ(write_replicated_graph(out, times, "star", input.nvtxs, nedges, 0, graph, extras),
                  WriteResult::written);
        std::string bytes(static_cast<std::size_t>(std::ftell(out)), '\0');
        std::rewind(out);
        ASSERT_EQ(std::fread(bytes.data(), 1, bytes.size(), out), bytes.size());
        std::fclose(out);
        const int links = times == 2 ? 1 : times;
        const std::string header = "% " + std::to_string(times) + " star\n" +
                                   std::to_string(times * input.nvtxs) + " " +
                                   std::to_string(times * nedges + links * 20012) + " 11\n";
        const std::string expected =
            header + expected_joined(input, vertex_weights, edge_weights, pairs, times);
        ASSERT_EQ(bytes.size(), expected.size());
        EXPECT_TRUE(bytes == expected)
            << "first difference at byte "
            << std::mismatch(bytes.begin(), bytes.end(), expected.begin()).first - bytes.begin();
    }
}

struct FailureCase {
    const char* name;
    int buffer_mode;
    InputGraph input;
};

TEST(GraphWriter, reports_a_write_that_falls_short) {
    // /dev/full refuses every write. Unbuffered, the comment line already fails; with a
    // small stdio buffer the header fits it and the first piece of vertex lines fails.
    const FailureCase failure_cases[] = {
        {"unbuffered", _IONBF, path},
        {"buffered", _IOFBF, ring(300000)},
    };
    static char stream_buffer[4096];
    for (const FailureCase& c : failure_cases) {
        std::int64_t nedges = 0;
        VertexGraph graph = built(c.input, nedges);
        // Several threads must stop at the failure too, not hang.
        for (int threads : {1, 3}) {
            SCOPED_TRACE(std::string(c.name) + ", threads " + std::to_string(threads));
            std::FILE* out = std::fopen("/dev/full", "w");
            ASSERT_NE(out, nullptr);
            std::setvbuf(out, c.buffer_mode == _IONBF ? nullptr : stream_buffer, c.buffer_mode,
                         sizeof stream_buffer);
            ReplicaExtras extras;
            extras.threads = threads;
            EXPECT_EQ(
                write_replicated_graph(out, 2, "full.txt", c.input.nvtxs, nedges, 0, graph, extras),
                WriteResult::write_failed);
            std::fclose(out);
        }
    }
}

TEST(GraphWriter, writes_control_bytes_of_the_input_name_as_question_marks) {
    struct NameCase {
        std::string name;
        std::string comment_line;
    };
    const NameCase cases[] = {
        {"nl\n1 0", "% 1 nl?1 0\n"},
        {std::string("tab\tcr\rnul") + '\0' + "del\x7f", "% 1 tab?cr?nul?del?\n"},
        {"blank, tilde~ and \xc3\xa9 as they are", "% 1 blank, tilde~ and \xc3\xa9 as they are\n"},
    };
    std::int64_t nedges = 0;
    VertexGraph graph = built(path, nedges);
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.comment_line);
        EXPECT_EQ(written(1, c.name, path.nvtxs, nedges, 0, graph),
                  c.comment_line + "3 2\n2 \n1 3 \n2 \n");
    }
}

// The partners of the first and last copies when copy numbers or vertex numbers pass 2^31:
// the offsets of the partner copies, lowest first, and whether each lists the pairs as given
// (the next copy) or turned round (the previous copy).
TEST(GraphWriter, numbers_join_partners_in_64_bits_at_the_extremes) {
    struct RingCase {
        const char* name;
        int times;
        int nvtxs;
        std::int64_t copy;
        std::int64_t offsets[2];
        bool is_next_first;
    };
    const RingCase cases[] = {
        {"2^31 - 1 copies, first", 2147483647, 1, 0, {1, 2147483646}, true},
        {"2^31 - 1 copies, third", 2147483647, 1, 2, {1, 3}, false},
        {"2^31 - 1 copies, last", 2147483647, 1, 2147483646, {0, 2147483645}, true},
        {"wide, first", 1073741825, 2, 0, {2, 2147483648}, true},
        {"wide, last", 1073741825, 2, 1073741824, {0, 2147483646}, true},
        {"wide, most copies, last",
         2147483647,
         2147483646,
         2147483646,
         {0, std::int64_t{2147483645} * 2147483646},
         true},
    };
    for (const RingCase& c : cases) {
        SCOPED_TRACE(c.name);
        JoinRing ring;
        ASSERT_EQ(prepare_join_ring(c.times, c.nvtxs, {{1, 1}}, ring), 0);
        const CopyPartners partners = partners_of_copy(ring, c.copy);
        ASSERT_EQ(partners.group_count, 2);
        EXPECT_EQ(partners.groups[0].offset, c.offsets[0]);
        EXPECT_EQ(partners.groups[1].offset, c.offsets[1]);
        EXPECT_EQ(partners.groups[0].next == ring.next_partners.data(), c.is_next_first);
    }
}

// The last unit of 2^31 - 1 copies of a two-vertex graph ends with the lines of the last
// copy, whose first vertex is 4294967293: copy times nvtxs passes 2^32.
TEST(GraphWriter, formats_copies_past_two_to_the_32) {
    std::int64_t nedges = 0;
    const InputGraph pair{{0, 1, 2}, {2, 1}, 2};
    VertexGraph graph = built(pair, nedges);
    PieceLayout layout;
    ASSERT_EQ(prepare_pieces(graph, 2147483647, CopyRange{0, 2147483647}, 2, LineContent{},
                             largest_piece_budget, layout),
              0);
    std::vector<char> buffer(static_cast<std::size_t>(layout.unit_bytes + number_text_slack));
    WeightTexts texts;
    const char* end = format_unit(layout, layout.unit_count - 1, buffer.data(), texts);
    const std::string text(static_cast<const char*>(buffer.data()), end);
    const std::string last_copy = "4294967294 \n4294967293 \n";
    ASSERT_GE(text.size(), last_copy.size()) << text;
    EXPECT_EQ(text.substr(text.size() - last_copy.size()), last_copy);
}

}  // namespace
