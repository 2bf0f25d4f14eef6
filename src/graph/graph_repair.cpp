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
template <class Position>
[[gnu::always_inline]] inline bool is_kept(const RepairInput& input, int vertex, Position position,
                                           int stamp, ListWork& work) {
    const int neighbour = input.adjacency[position];
    if (neighbour == vertex) return false;
    if (work.list_rises) return true;
    const Position begin = list_begin(input, vertex);
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
template <class Position>
bool list_rises(const RepairInput& input, int vertex) {
    for (Position position = list_begin(input, vertex) + 1; position < list_end(input, vertex);
         ++position) {
        if (input.adjacency[position] <= input.adjacency[position - 1]) return false;
    }
    return true;
}

// The additions towards vertex and the vertices after it.
template <class Position>
const RepairAddition<Position>* first_addition(const RepairWork<Position>& repair, int vertex) {
    return repair.additions.data() +
           (std::lower_bound(repair.additions.begin(), repair.additions.end(), vertex,
                             [](const RepairAddition<Position>& addition, int target) {
                                 return addition.target < target;
                             }) -
            repair.additions.begin());
}

// The overrides of position and the positions after it.
template <class Position>
const RepairOverride<Position>* first_override(const RepairWork<Position>& repair,
                                               Position position) {
    return repair.overrides.data() +
           (std::lower_bound(repair.overrides.begin(), repair.overrides.end(), position,
                             [](const RepairOverride<Position>& entry, Position value) {
                                 return entry.position < value;
                             }) -
            repair.overrides.begin());
}

// The vertices of part: their repaired lengths into edge_offsets[v], and the entries they drop.
template <class Position>
void measure_part(const RepairWork<Position>& repair, int part, ListWork& work,
                  RepairedLists& lists) {
    const RepairInput& input = repair.input;
    const RepairAddition<Position>* addition = first_addition(repair, repair.part_first[part]);
    const RepairAddition<Position>* additions_end =
        repair.additions.data() + repair.additions.size();
    for (int vertex = repair.part_first[part]; vertex < repair.part_first[part + 1]; ++vertex) {
        std::int64_t length = 0;
        work.list_rises = list_rises<Position>(input, vertex);
        for (Position position = list_begin(input, vertex); position < list_end(input, vertex);
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
template <class Position>
void write_part(const RepairWork<Position>& repair, int part, ListWork& work,
                RepairedLists& lists) {
    const RepairInput& input = repair.input;
    const float* weights = input.edge_weights;
    const RepairAddition<Position>* addition = first_addition(repair, repair.part_first[part]);
    const RepairAddition<Position>* additions_end =
        repair.additions.data() + repair.additions.size();
    const RepairOverride<Position>* override_entry =
        first_override(repair, static_cast<Position>(list_begin(input, repair.part_first[part])));
    const RepairOverride<Position>* overrides_end =
        repair.overrides.data() + repair.overrides.size();
    for (int vertex = repair.part_first[part]; vertex < repair.part_first[part + 1]; ++vertex) {
        std::int64_t place = lists.edge_offsets[vertex - 1];
        work.list_rises = list_rises<Position>(input, vertex);
        for (Position position = list_begin(input, vertex); position < list_end(input, vertex);
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

// Sums the lengths into offsets; too_large when they pass max_entries.
RepairResult sum_lengths(int nvtxs, std::int64_t max_entries, RepairedLists& lists) {
    std::int64_t total = 0;
    for (int v = 1; v <= nvtxs; ++v) {
        if (lists.edge_offsets[v] > max_entries - total) return RepairResult::too_large;
        total += lists.edge_offsets[v];
        lists.edge_offsets[v] = total;
    }
    return RepairResult::repaired;
}

template <class Position>
RepairResult write_lists(RepairWork<Position>& repair, std::int64_t max_entries, int threads,
                         RepairedLists& lists, RepairCounts& counts) {
    const RepairInput& input = repair.input;
    const int parts = static_cast<int>(repair.part_first.size()) - 1;
    std::vector<ListWork> works(static_cast<std::size_t>(threads));
    lists.edge_offsets.resize(static_cast<std::size_t>(input.nvtxs) + 1);
    run_tasks(repair, threads, parts, [&](int worker, int part) {
        measure_part(repair, part, works[static_cast<std::size_t>(worker)], lists);
    });
    if (repair.has_failed) return RepairResult::out_of_memory;
    const RepairResult summed = sum_lengths(input.nvtxs, max_entries, lists);
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

// Repairs input's entries, on positions of the Position type, into at most max_entries.
template <class Position>
RepairResult repair_on(const RepairInput& input, std::int64_t entries, std::int64_t max_entries,
                       RepairedLists& lists, RepairCounts& counts) {
    const int threads = static_cast<int>(
        std::clamp<std::int64_t>(entries / entries_per_thread + 1, 1, std::max(input.threads, 1)));
    RepairWork<Position> repair(input);
    RepairResult result = RepairResult::out_of_memory;
    const int failed = allocates_or_fails([&] {
        if (input.is_symmetric) {
            cut_parts(input, threads * parts_per_thread, repair.part_first);
        } else {
            find_differences(repair, threads, counts);
        }
        if (!repair.has_failed) result = write_lists(repair, max_entries, threads, lists, counts);
    });
    if (failed != 0 || repair.has_failed) result = RepairResult::out_of_memory;
    return result;
}

}  // namespace

RepairResult repair_graph(const RepairInput& input, RepairedLists& lists, RepairCounts& counts) {
    lists = RepairedLists{};
    counts = RepairCounts{};
    if (input.nvtxs < 1 || input.edge_offsets == nullptr) return RepairResult::repaired;
    const std::int64_t entries = list_end(input, input.nvtxs);
    const std::int64_t narrow_entries = input.narrow_entries > 0
                                            ? std::min(input.narrow_entries, narrow_repair_entries)
                                            : narrow_repair_entries;
    const std::int64_t max_entries = input.is_wide ? wide_repair_entries : narrow_entries;
    RepairResult result = RepairResult::too_large;
    // Lists that fit the narrow positions are repaired on them whatever the limit of their
    // repaired form: only that is checked against max_entries.
    if (entries <= narrow_entries) {
        result = repair_on<int>(input, entries, max_entries, lists, counts);
    } else if (entries <= max_entries &&
               (input.entry_order == nullptr || entries <= narrow_repair_entries)) {
        result = repair_on<std::int64_t>(input, entries, max_entries, lists, counts);
    }
    if (result != RepairResult::repaired) {
        lists = RepairedLists{};
        counts = RepairCounts{};
    }
    return result;
}
