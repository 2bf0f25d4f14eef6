#include "graph/graph_repair.h"

#include <algorithm>
#include <vector>

#include "common/allocation.h"
#include "graph/repair_differences.h"

namespace {

// A thread of its own pays for itself only with this many entries.
constexpr std::int64_t entries_per_thread = std::int64_t{1} << 16;
// A list up to this long finds its repeats by walking its earlier entries; a longer one
// through stamps, which stay linear.
constexpr int short_list_length = 32;
// The repair's positions and counts of entries are signed 32-bit values.
constexpr std::int64_t max_entries = 2147483646;

// What one thread keeps while it measures and writes lists.
struct ListWork {
    Block<int> stamps;  // stamps[u] == v: u is kept on the long list of v
    // The list being read rises: it repeats no neighbour, and only a self entry is dropped.
    bool list_rises = false;
    RepairCounts counts;
};

// Whether the entry of vertex at position is kept: not a self entry, not a repeat of an
// earlier entry of the list. A long list stamps its kept neighbours with stamp as it goes, so
// its entries must be asked in order, and each reading of the list needs a stamp of its own.
// Inlined: it is asked once per entry, and a rising list answers at once.
[[gnu::always_inline]] inline bool is_kept(const RepairInput& input, int vertex, int position,
                                           int stamp, ListWork& work) {
    const int neighbour = input.adjacency[position];
    if (neighbour == vertex) return false;
    if (work.list_rises) return true;
    const int begin = list_begin(input, vertex);
    if (list_end(input, vertex) - begin <= short_list_length) {
        return std::find(input.adjacency + begin, input.adjacency + position, neighbour) ==
               input.adjacency + position;
    }
    if (work.stamps.empty()) work.stamps.resize(static_cast<std::size_t>(input.nvtxs) + 1);
    if (work.stamps[neighbour] == stamp) return false;
    work.stamps[neighbour] = stamp;
    return true;
}

// Most files list each vertex's neighbours in increasing order: such a list needs no search
// for repeats.
bool list_rises(const RepairInput& input, int vertex) {
    for (int position = list_begin(input, vertex) + 1; position < list_end(input, vertex);
         ++position) {
        if (input.adjacency[position] <= input.adjacency[position - 1]) return false;
    }
    return true;
}

// The additions towards vertex and the vertices after it.
const RepairAddition* first_addition(const RepairWork& repair, int vertex) {
    return repair.additions.data() +
           (std::lower_bound(repair.additions.begin(), repair.additions.end(), vertex,
                             [](const RepairAddition& addition, int target) {
                                 return addition.target < target;
                             }) -
            repair.additions.begin());
}

// The overrides of position and the positions after it.
const RepairOverride* first_override(const RepairWork& repair, int position) {
    return repair.overrides.data() +
           (std::lower_bound(
                repair.overrides.begin(), repair.overrides.end(), position,
                [](const RepairOverride& entry, int value) { return entry.position < value; }) -
            repair.overrides.begin());
}

// The vertices of part: their repaired lengths into edge_offsets[v], and the entries they drop.
void measure_part(const RepairWork& repair, int part, ListWork& work, RepairedLists& lists) {
    const RepairInput& input = repair.input;
    const RepairAddition* addition = first_addition(repair, repair.part_first[part]);
    const RepairAddition* additions_end = repair.additions.data() + repair.additions.size();
    for (int vertex = repair.part_first[part]; vertex < repair.part_first[part + 1]; ++vertex) {
        int length = 0;
        work.list_rises = list_rises(input, vertex);
        for (int position = list_begin(input, vertex); position < list_end(input, vertex);
             ++position) {
            if (is_kept(input, vertex, position, vertex, work)) {
                ++length;
            } else if (input.adjacency[position] == vertex) {
                ++work.counts.self_entries;
            } else {
                ++work.counts.repeated_entries;
            }
        }
        for (; addition != additions_end && addition->target == vertex; ++addition)
            ++length;
        lists.edge_offsets[vertex] = length;
    }
}

// The vertices of part, written at their places: the kept entries in their order, each with
// the weight of its edge's first entry, then the additions.
void write_part(const RepairWork& repair, int part, ListWork& work, RepairedLists& lists) {
    const RepairInput& input = repair.input;
    const float* weights = input.edge_weights;
    const RepairAddition* addition = first_addition(repair, repair.part_first[part]);
    const RepairAddition* additions_end = repair.additions.data() + repair.additions.size();
    const RepairOverride* override_entry =
        first_override(repair, list_begin(input, repair.part_first[part]));
    const RepairOverride* overrides_end = repair.overrides.data() + repair.overrides.size();
    for (int vertex = repair.part_first[part]; vertex < repair.part_first[part + 1]; ++vertex) {
        std::int64_t place = lists.edge_offsets[vertex - 1];
        work.list_rises = list_rises(input, vertex);
        for (int position = list_begin(input, vertex); position < list_end(input, vertex);
             ++position) {
            while (override_entry != overrides_end && override_entry->position < position)
                ++override_entry;
            // The measuring stamped the list with vertex; the writing stamps it anew.
            if (!is_kept(input, vertex, position, -vertex, work)) continue;
            lists.adjacency[place] = input.adjacency[position];
            if (weights != nullptr) {
                const bool is_overridden =
                    override_entry != overrides_end && override_entry->position == position;
                lists.edge_weights[place] =
                    weights[is_overridden ? override_entry->source : position];
            }
            ++place;
        }
        for (; addition != additions_end && addition->target == vertex; ++addition, ++place) {
            lists.adjacency[place] = addition->neighbour;
            if (weights != nullptr) lists.edge_weights[place] = weights[addition->position];
        }
    }
}

// Sums the lengths into offsets; too_large when they pass what edge_offsets can hold.
RepairResult sum_lengths(int nvtxs, RepairedLists& lists) {
    std::int64_t total = 0;
    for (int v = 1; v <= nvtxs; ++v) {
        total += lists.edge_offsets[v];
        if (total > max_entries) return RepairResult::too_large;
        lists.edge_offsets[v] = total;
    }
    return RepairResult::repaired;
}

RepairResult write_lists(RepairWork& repair, int threads, RepairedLists& lists,
                         RepairCounts& counts) {
    const RepairInput& input = repair.input;
    const int parts = static_cast<int>(repair.part_first.size()) - 1;
    std::vector<ListWork> works(static_cast<std::size_t>(threads));
    lists.edge_offsets.resize(static_cast<std::size_t>(input.nvtxs) + 1);
    run_tasks(repair, threads, parts, [&](int worker, int part) {
        measure_part(repair, part, works[static_cast<std::size_t>(worker)], lists);
    });
    if (repair.has_failed) return RepairResult::out_of_memory;
    const RepairResult summed = sum_lengths(input.nvtxs, lists);
    if (summed != RepairResult::repaired) return summed;
    const std::int64_t total = lists.edge_offsets[input.nvtxs];
    lists.adjacency.resize(static_cast<std::size_t>(std::max<std::int64_t>(total, 1)));
    if (input.edge_weights != nullptr) lists.edge_weights.resize(lists.adjacency.size());
    run_tasks(repair, threads, parts, [&](int worker, int part) {
        write_part(repair, part, works[static_cast<std::size_t>(worker)], lists);
    });
    if (repair.has_failed) return RepairResult::out_of_memory;
    for (const ListWork& work : works) {
        counts.self_entries += work.counts.self_entries;
        counts.repeated_entries += work.counts.repeated_entries;
    }
    counts.edge_count = total / 2;
    return RepairResult::repaired;
}

}  // namespace

RepairResult repair_graph(const RepairInput& input, RepairedLists& lists, RepairCounts& counts) {
    lists = RepairedLists{};
    counts = RepairCounts{};
    if (input.nvtxs < 1 || input.edge_offsets == nullptr) return RepairResult::repaired;
    const std::int64_t entries = list_end(input, input.nvtxs);
    // The repair's positions are 32-bit: a wide file past the narrow arrays is not repaired.
    if (entries > max_entries) return RepairResult::too_large;
    const int threads = static_cast<int>(
        std::clamp<std::int64_t>(entries / entries_per_thread + 1, 1, std::max(input.threads, 1)));
    RepairWork repair(input);
    RepairResult result = RepairResult::out_of_memory;
    const int failed = allocates_or_fails([&] {
        if (input.is_symmetric) {
            cut_parts(input, threads * parts_per_thread, repair.part_first);
        } else {
            find_differences(repair, threads, counts);
        }
        if (!repair.has_failed) result = write_lists(repair, threads, lists, counts);
    });
    if (failed != 0 || repair.has_failed) result = RepairResult::out_of_memory;
    if (result != RepairResult::repaired) {
        lists = RepairedLists{};
        counts = RepairCounts{};
    }
    return result;
}
