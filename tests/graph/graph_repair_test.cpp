#include "graph/graph_repair.h"

#include <gtest/gtest.h>

#include <sys/mman.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <utility>
#include <vector>

namespace {

// Lists as the tests write them: per vertex, (neighbour, weight, place in file order).
struct Entry {
    int neighbour;
    float weight;
    int order;
};
using Lists = std::vector<std::vector<Entry>>;  // index 0 unused

struct Arrays {
    std::vector<std::int64_t> edge_offsets{0};
    std::vector<int> adjacency;
    std::vector<float> edge_weights;
    std::vector<int> entry_order;
};

Arrays compact(const Lists& lists) {
    Arrays arrays;
    for (std::size_t v = 1; v < lists.size(); ++v) {
        for (const Entry& entry : lists[v]) {
            arrays.adjacency.push_back(entry.neighbour);
            arrays.edge_weights.push_back(entry.weight);
            arrays.entry_order.push_back(entry.order);
        }
        arrays.edge_offsets.push_back(static_cast<std::int64_t>(arrays.adjacency.size()));
    }
    return arrays;
}

struct Repaired {
    RepairResult result;
    std::vector<std::vector<std::pair<int, float>>> lists;  // index 0 unused
    RepairCounts counts;
};

Repaired outcome_of(const RepairInput& input) {
    RepairedLists repaired;
    Repaired outcome;
    outcome.result = repair_graph(input, repaired, outcome.counts);
    outcome.lists.resize(static_cast<std::size_t>(input.nvtxs) + 1);
    for (int v = 1; v <= input.nvtxs && outcome.result == RepairResult::repaired; ++v) {
        for (std::int64_t i = repaired.edge_offsets[v - 1]; i < repaired.edge_offsets[v]; ++i)
            outcome.lists[v].push_back({repaired.adjacency[i], repaired.edge_weights[i]});
    }
    return outcome;
}

Repaired repair(const Lists& lists, int threads, bool has_order) {
    const Arrays arrays = compact(lists);
    RepairInput input;
    input.nvtxs = static_cast<int>(lists.size()) - 1;
    input.edge_offsets = arrays.edge_offsets.data();
    input.adjacency = arrays.adjacency.data();
    input.edge_weights = arrays.edge_weights.data();
    input.entry_order = has_order ? arrays.entry_order.data() : nullptr;
    input.threads = threads;
    return outcome_of(input);
}

struct RepairCase {
    const char* name;
    Lists lists;
    std::vector<std::vector<std::pair<int, float>>> repaired;
    RepairCounts counts;  // one-sided, self, repeated, weights differing, edges
};

// Entries of an edge list, gathered by vertex: a later vertex's entry may come first in the
// file, and then its weight is the edge's.
const RepairCase repair_cases[] = {
    {"the entry first in the file gives the weight",
     {{}, {{2, 1, 5}}, {{1, 2, 0}, {3, 3, 1}}, {{3, 8, 2}, {2, 4, 3}, {2, 9, 4}}},
     {{}, {{2, 2}}, {{1, 2}, {3, 3}}, {{2, 3}}},
     {0, 1, 1, 2, 2}},
    {"an entry added at the other end comes after the own ones",
     {{}, {{4, 7, 0}}, {{3, 1, 1}}, {{2, 1, 2}}, {{3, 5, 3}}},
     {{}, {{4, 7}}, {{3, 1}}, {{2, 1}, {4, 5}}, {{3, 5}, {1, 7}}},
     {2, 0, 0, 0, 3}},
    {"a repeat towards a vertex that lists nothing back is added once",
     {{}, {{2, 1, 0}, {2, 3, 1}}, {}},
     {{}, {{2, 1}}, {{1, 1}}},
     {1, 0, 1, 0, 1}},
};

TEST(GraphRepair, lists_each_edge_at_both_ends_with_the_first_weight) {
    for (const RepairCase& c : repair_cases) {
        SCOPED_TRACE(c.name);
        const Repaired outcome = repair(c.lists, 1, true);
        ASSERT_EQ(outcome.result, RepairResult::repaired);
        EXPECT_EQ(outcome.lists, c.repaired);
        EXPECT_EQ(outcome.counts.one_sided_edges, c.counts.one_sided_edges);
        EXPECT_EQ(outcome.counts.self_entries, c.counts.self_entries);
        EXPECT_EQ(outcome.counts.repeated_entries, c.counts.repeated_entries);
        EXPECT_EQ(outcome.counts.weight_differences, c.counts.weight_differences);
        EXPECT_EQ(outcome.counts.edge_count, c.counts.edge_count);
    }
}

// The repair as a map: each edge once, lower vertex first, with the weight of its first entry
// in file order; and the counts, taken entry by entry.
std::map<std::pair<int, int>, float> closure_of(const Lists& lists, RepairCounts& counts) {
    std::map<std::pair<int, int>, std::pair<int, float>> first;  // (order, weight)
    std::map<std::pair<int, int>, float> directed;               // first of each direction
    for (std::size_t v = 1; v < lists.size(); ++v) {
        for (const Entry& entry : lists[v]) {
            const int u = entry.neighbour;
            if (u == static_cast<int>(v)) {
                ++counts.self_entries;
                continue;
            }
            if (!directed.emplace(std::pair{static_cast<int>(v), u}, entry.weight).second) {
                ++counts.repeated_entries;
            }
            const std::pair<int, int> edge{std::min<int>(v, u), std::max<int>(v, u)};
            auto [at, is_new] = first.emplace(edge, std::pair{entry.order, entry.weight});
            if (!is_new && entry.order < at->second.first) at->second = {entry.order, entry.weight};
        }
    }
    std::map<std::pair<int, int>, float> edges;
    for (const auto& [edge, weight] : first) {
        edges[edge] = weight.second;
        auto forth = directed.find(edge);
        auto back = directed.find({edge.second, edge.first});
        if (forth == directed.end() || back == directed.end()) {
            ++counts.one_sided_edges;
        } else if (forth->second != back->second) {
            ++counts.weight_differences;
        }
    }
    counts.edge_count = static_cast<std::int64_t>(edges.size());
    return edges;
}

Lists random_lists(std::mt19937& random, int nvtxs, int entry_count) {
    Lists lists(static_cast<std::size_t>(nvtxs) + 1);
    for (int i = 0; i < entry_count; ++i) {
        const int v = 1 + static_cast<int>(random() % nvtxs);
        const int u = 1 + static_cast<int>(random() % nvtxs);
        lists[v].push_back({u, static_cast<float>(1 + random() % 3), 0});
        if (random() % 8 != 0) lists[u].push_back({v, static_cast<float>(1 + random() % 3), 0});
    }
    // Orders rise within each list, as file order does; across lists they are mixed.
    std::vector<int> orders;
    for (const auto& list : lists) {
        for (std::size_t i = 0; i < list.size(); ++i)
            orders.push_back(static_cast<int>(orders.size()));
    }
    std::shuffle(orders.begin(), orders.end(), random);
    std::size_t next = 0;
    for (auto& list : lists) {
        std::vector<int> list_orders;
        for (std::size_t i = 0; i < list.size(); ++i)
            list_orders.push_back(orders[next++]);
        std::sort(list_orders.begin(), list_orders.end());
        for (std::size_t i = 0; i < list_orders.size(); ++i)
            list[i].order = list_orders[i];
    }
    return lists;
}

// On random lists, short and long (past the walk over the slots), every thread count gives
// the map and the counts taken entry by entry, each edge at both ends once.
TEST(GraphRepair, gives_the_closure_whatever_the_lists_and_threads) {
    std::mt19937 random(20261208);
    const std::pair<int, int> shapes[] = {{5, 40}, {40, 300}, {20000, 60000}};
    for (const auto& [nvtxs, entry_count] : shapes) {
        const Lists lists = random_lists(random, nvtxs, entry_count);
        RepairCounts expected_counts;
        const auto expected = closure_of(lists, expected_counts);
        const Repaired one_thread = repair(lists, 1, true);
        for (int threads : {1, 3}) {
            SCOPED_TRACE(testing::Message() << nvtxs << " vertices, " << threads << " threads");
            const Repaired outcome = repair(lists, threads, true);
            ASSERT_EQ(outcome.result, RepairResult::repaired);
            EXPECT_EQ(outcome.lists, one_thread.lists);
            std::map<std::pair<int, int>, float> edges;
            std::int64_t listed = 0;
            for (int v = 1; v <= nvtxs; ++v) {
                for (const auto& [u, weight] : outcome.lists[v]) {
                    ++listed;
                    // Both ends carry the same weight.
                    const auto [at, is_new] =
                        edges.emplace(std::pair{std::min(u, v), std::max(u, v)}, weight);
                    if (!is_new) {
                        EXPECT_EQ(at->second, weight);
                    }
                }
            }
            EXPECT_EQ(listed, 2 * static_cast<std::int64_t>(expected.size()));
            EXPECT_EQ(edges, expected);
            EXPECT_EQ(outcome.counts.one_sided_edges, expected_counts.one_sided_edges);
            EXPECT_EQ(outcome.counts.self_entries, expected_counts.self_entries);
            EXPECT_EQ(outcome.counts.repeated_entries, expected_counts.repeated_entries);
            EXPECT_EQ(outcome.counts.weight_differences, expected_counts.weight_differences);
            EXPECT_EQ(outcome.counts.edge_count, expected_counts.edge_count);
        }
    }
}

}  // namespace

// A wide file's lists may pass the repair's 32-bit positions: such lists are refused as too
// large before any entry is looked at, whatever they hold.
TEST(GraphRepair, refuses_lists_past_its_positions) {
    for (const std::int64_t entries : {std::int64_t{2147483647}, std::int64_t{1} << 40}) {
        SCOPED_TRACE(entries);
        const std::int64_t edge_offsets[] = {0, entries};
        const int never_read = 0;
        RepairInput input;
        input.nvtxs = 1;
        input.edge_offsets = edge_offsets;
        input.adjacency = &never_read;
        RepairedLists lists;
        RepairCounts counts;
        EXPECT_EQ(repair_graph(input, lists, counts), RepairResult::too_large);
        EXPECT_TRUE(lists.edge_offsets.empty());
    }
}

namespace {

// Address space for count entries of T, backed only where written: lists placed past 2^32
// positions cost a few pages, not 16 GiB.
template <class T>
struct Reserved {
    explicit Reserved(std::int64_t count) : bytes(static_cast<std::size_t>(count) * sizeof(T)) {
        void* at = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        data = at == MAP_FAILED ? nullptr : static_cast<T*>(at);
    }
    ~Reserved() {
        if (data != nullptr) munmap(data, bytes);
    }
    std::size_t bytes;
    T* data;
};

// Where the narrow positions end, and where the lists lie.
struct Limits {
    const char* name;
    std::int64_t narrow_less;  // the narrow limit this far below the entries; -1: the default
    bool is_wide;
    std::int64_t first_position;  // of vertex 1's list in the arrays
};

constexpr std::int64_t past_32_bits = (std::int64_t{1} << 32) - 5;

const Limits limit_cases[] = {
    {"lists past the narrow limit", 1, false, 0},
    {"lists past the narrow limit, wide", 1, true, 0},
    {"lists at the narrow limit, the repair past it unless symmetric", 0, false, 0},
    {"lists at the narrow limit, the repair past it, wide", 0, true, 0},
    {"lists past 32-bit positions", -1, false, past_32_bits},
    {"lists past 32-bit positions, wide", -1, true, past_32_bits},
};

// The lists placed at first_position and repaired under limits; nullopt without the address
// space.
std::optional<Repaired> repair_within(const Lists& lists, bool is_symmetric, const Limits& limits) {
    Arrays arrays = compact(lists);
    const std::int64_t entries = arrays.edge_offsets.back();
    Reserved<int> adjacency(limits.first_position + entries + 1);
    Reserved<float> weights(limits.first_position + entries + 1);
    if (adjacency.data == nullptr || weights.data == nullptr) return std::nullopt;
    std::copy(arrays.adjacency.begin(), arrays.adjacency.end(),
              adjacency.data + limits.first_position);
    std::copy(arrays.edge_weights.begin(), arrays.edge_weights.end(),
              weights.data + limits.first_position);
    for (std::int64_t& offset : arrays.edge_offsets)
        offset += limits.first_position;
    RepairInput input;
    input.nvtxs = static_cast<int>(lists.size()) - 1;
    input.edge_offsets = arrays.edge_offsets.data();
    input.adjacency = adjacency.data;
    input.edge_weights = weights.data;
    input.is_symmetric = is_symmetric;
    input.threads = 3;
    input.narrow_entries = limits.narrow_less < 0 ? 0 : entries - limits.narrow_less;
    input.is_wide = limits.is_wide;
    return outcome_of(input);
}

// Lists of random lines, each at both of its ends, as an edge list gives them.
Lists edge_lines(std::mt19937& random, int nvtxs, int line_count) {
    Lists lists(static_cast<std::size_t>(nvtxs) + 1);
    for (int line = 0; line < line_count; ++line) {
        const int v = 1 + static_cast<int>(random() % nvtxs);
        const int u = 1 + static_cast<int>(random() % nvtxs);
        const float weight = static_cast<float>(1 + random() % 3);
        lists[v].push_back({u, weight, line});
        if (u != v) lists[u].push_back({v, weight, line});
    }
    return lists;
}

}  // namespace

// Lists past the narrow positions, or whose repair passes them, are refused without -wide,
// and with it repaired as lists within them are; also where positions pass 32 bits.
TEST(GraphRepair, takes_lists_past_the_narrow_positions_only_when_wide) {
    std::mt19937 random(20261208);
    std::vector<std::pair<Lists, bool>> inputs;  // the lists, whether symmetric
    for (const RepairCase& c : repair_cases)
        inputs.emplace_back(c.lists, false);
    inputs.emplace_back(random_lists(random, 40, 300), false);
    inputs.emplace_back(edge_lines(random, 40, 300), true);
    for (const auto& [lists, is_symmetric] : inputs) {
        const Limits unlimited{"", -1, false, 0};
        const Repaired expected = *repair_within(lists, is_symmetric, unlimited);
        ASSERT_EQ(expected.result, RepairResult::repaired);
        std::int64_t repaired_entries = 0;
        for (const auto& list : expected.lists)
            repaired_entries += static_cast<std::int64_t>(list.size());
        for (const Limits& limits : limit_cases) {
            SCOPED_TRACE(testing::Message() << limits.name << ", " << lists.size() - 1
                                            << " vertices, symmetric " << is_symmetric);
            const std::optional<Repaired> outcome = repair_within(lists, is_symmetric, limits);
            if (!outcome) GTEST_SKIP() << "no address space for lists past 32-bit positions";
            const std::int64_t entries = compact(lists).edge_offsets.back();
            const bool fits =
                limits.is_wide || (limits.first_position == 0 && limits.narrow_less == 0 &&
                                   repaired_entries <= entries);
            ASSERT_EQ(outcome->result, fits ? RepairResult::repaired : RepairResult::too_large);
            if (!fits) continue;
            EXPECT_EQ(outcome->lists, expected.lists);
            EXPECT_EQ(outcome->counts.one_sided_edges, expected.counts.one_sided_edges);
            EXPECT_EQ(outcome->counts.self_entries, expected.counts.self_entries);
            EXPECT_EQ(outcome->counts.repeated_entries, expected.counts.repeated_entries);
            EXPECT_EQ(outcome->counts.weight_differences, expected.counts.weight_differences);
            EXPECT_EQ(outcome->counts.edge_count, expected.counts.edge_count);
        }
    }
}
