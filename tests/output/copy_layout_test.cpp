#include "output/copy_layout.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "output/part_plan.h"
#include "replica_fixture.h"

namespace {

using replica_fixture::BuiltGraph;

// The vertex weights either side of each change in digit count, up to the largest.
constexpr int border_weights[] = {9, 10, 99, 100, 999, 1000, 2147483647};

// A random symmetric graph on nvtxs vertices with weights of texts of many lengths (1,
// 0.5, 1e+07, 3.3333333, ...) and vertex weights of one to five digits, or the border weights
// in turn (vertex 1 the largest).
void random_graph(int nvtxs, unsigned seed, bool has_border_weights, BuiltGraph& built) {
    std::mt19937 random(seed);
    std::vector<std::vector<int>> lists(static_cast<std::size_t>(nvtxs));
    std::vector<std::vector<float>> weights(static_cast<std::size_t>(nvtxs));
    const float weight_choices[] = {1.0f, 0.5f, 1e7f, 10.0f / 3.0f, 123456.0f, 2.5e-5f};
    for (int u = 1; u <= nvtxs; ++u) {
        for (int v = u + 1; v <= nvtxs; ++v) {
            if (random() % 3 != 0) continue;
            const float weight = weight_choices[random() % 6];
            lists[u - 1].push_back(v);
            weights[u - 1].push_back(weight);
            lists[v - 1].push_back(u);
            weights[v - 1].push_back(weight);
        }
    }
    std::vector<int> vertex_weights;
    for (int v = 1; v <= nvtxs; ++v) {
        vertex_weights.push_back(has_border_weights ? border_weights[(7 - v % 7) % 7]
                                                    : 1 + static_cast<int>(random() % 99999));
    }
    replica_fixture::build(lists, weights, vertex_weights, built);
}

std::string written(const BuiltGraph& built, int times, const ReplicaExtras& extras) {
    char* bytes = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&bytes, &size);
    EXPECT_EQ(write_replicated_graph(out, times, "in.graph", built.nvtxs, built.nedges, 0,
                                     built.graph, extras),
              WriteResult::written);
    std::fclose(out);
    std::string text(bytes, size);
    std::free(bytes);
    return text;
}

// Where each written copy begins: after the front lines (two, or none in a text of copies
// only) and nvtxs lines per copy before it; the last entry is the whole size.
std::vector<std::int64_t> copy_starts(const std::string& text, int front_lines, int nvtxs,
                                      int copies) {
    std::vector<std::int64_t> starts;
    std::int64_t lines = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (lines >= front_lines && (lines - front_lines) % nvtxs == 0 &&
            (at == 0 || text[at - 1] == '\n')) {
            starts.push_back(static_cast<std::int64_t>(at));
        }
        if (text[at] == '\n') ++lines;
    }
    starts.push_back(static_cast<std::int64_t>(text.size()));
    EXPECT_EQ(starts.size(), static_cast<std::size_t>(copies) + 1);
    return starts;
}

// The copies' positions counted from degrees and digits must be those of the real writer,
// for copy counts whose numbers cross several powers of ten, with and without join partners
// (whose copies wrap round the ring) and weights. The last rows put vertex numbers and vertex
// weights on each side of every change in digit count, up to 2147483647, the last vertex of
// 2147483647 copies of one vertex: of those only the last copies are written and placed.
TEST(CopyLayout, counted_copy_starts_are_those_of_the_written_text) {
    struct Case {
        const char* name;
        int nvtxs;
        int times;
        bool has_border_weights = false;
        int first_written = 0;  // the copies from this one on are written, without the front
    };
    const Case cases[] = {
        {"one copy", 9, 1},
        {"two copies", 9, 2},
        {"three", 7, 3},
        {"seven", 13, 7},
        {"past 10^3", 11, 120},
        {"one vertex", 1, 5},
        {"past 10^4", 3, 4000},
        {"straddling 10^2", 10, 11},
        {"vertices 9, 10, 99, 100, 999, 1000", 120, 9, true},
        {"vertex 2147483647", 1, 2147483647, true, 2147483644},
        {"vertices up to 2147483647", 7, 306783378, true, 306783375},
    };
    for (const Case& c : cases) {
        BuiltGraph built;
        random_graph(c.nvtxs, static_cast<unsigned>(c.nvtxs) * 31u + static_cast<unsigned>(c.times),
                     c.has_border_weights, built);
        for (int variant = 0; variant < 4; ++variant) {
            SCOPED_TRACE(std::string(c.name) + ", variant " + std::to_string(variant));
            ReplicaExtras extras;
            if (variant & 1) {
                extras.join_pairs = {{1, 1}};
                if (c.nvtxs > 1) extras.join_pairs.push_back({c.nvtxs, 1});
                if (c.nvtxs > 2) extras.join_pairs.push_back({2, c.nvtxs});
            }
            extras.writes_vertex_weights = extras.writes_edge_weights = (variant & 2) != 0;
            extras.first_copy = c.first_written;
            extras.writes_front = c.first_written == 0;
            const std::string text = written(built, c.times, extras);
            const int copies = c.times - c.first_written;
            const std::vector<std::int64_t> starts =
                copy_starts(text, extras.writes_front ? 2 : 0, c.nvtxs, copies);
            TextExtent extent;
            ASSERT_EQ(measure_text_copies(built.graph, c.times, c.nvtxs, starts[0], extras, extent),
                      0);
            const std::int64_t first = text_copy_start(extent, c.first_written) - starts[0];
            for (int j = 0; j <= copies && j < static_cast<int>(starts.size()); ++j) {
                ASSERT_EQ(text_copy_start(extent, c.first_written + j) - first,
                          starts[static_cast<std::size_t>(j)])
                    << "copy " << c.first_written + j;
            }
        }
    }
}

TEST(PartPlan, reads_only_an_index_below_a_count) {
    struct Case {
        const char* text;
        int index;  // -1: refused
        int count;
    };
    const Case cases[] = {
        {"0/1", 0, 1},    {"3/4", 3, 4},   {"2147483646/2147483647", 2147483646, 2147483647},
        {"007/8", 7, 8},  {"4/4", -1, 0},  {"1", -1, 0},
        {"1/", -1, 0},    {"/2", -1, 0},   {"-1/2", -1, 0},
        {"+1/2", -1, 0},  {"1/2 ", -1, 0}, {" 1/2", -1, 0},
        {"1/2/3", -1, 0}, {"0/0", -1, 0},  {"0/2147483648", -1, 0},
        {"1 /2", -1, 0},  {"", -1, 0},     {"0x1/2", -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int index = -1;
        int count = 0;
        EXPECT_EQ(read_part_value(c.text, index, count), c.index < 0 ? 1 : 0);
        EXPECT_EQ(index, c.index);
        EXPECT_EQ(count, c.count);
    }
}

// Whatever the counts, the parts follow one another: each starts where the one before ends,
// the first at copy 0 with the front, the last at the last copy, and the shares differ by one
// copy at most.
TEST(PartPlan, parts_hold_every_copy_once_in_order) {
    const int counts[][2] = {
        {1, 1}, {1, 5}, {7, 5}, {5, 7}, {6, 3}, {2147483647, 3}, {2147483647, 2147483647}};
    for (const auto& [times, parts] : counts) {
        SCOPED_TRACE(std::to_string(times) + " copies in " + std::to_string(parts) + " parts");
        int expected_first = 0;
        for (std::int64_t index = 0; index < parts; index += (parts > 100 ? parts / 7 : 1)) {
            const PartPlan plan = plan_part(static_cast<int>(index), parts, times);
            if (parts <= 100) {
                EXPECT_EQ(plan.first_copy, expected_first);
            }
            EXPECT_EQ(plan.holds_front, index == 0);
            EXPECT_LE(plan.end_copy - plan.first_copy, times / parts + 1);
            EXPECT_GE(plan.end_copy - plan.first_copy, times / parts);
            expected_first = plan.end_copy;
        }
        EXPECT_EQ(plan_part(parts - 1, parts, times).end_copy, times);
    }
}

}  // namespace
