#include "graph/graph_repair.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "common/allocation.h"

namespace {

// A thread of its own pays for itself only with this many entries.
constexpr std::int64_t entries_per_thread = std::int64_t{1} << 16;
// The vertices are cut into this many parts per thread, so that a thread that drew lighter
// parts takes more of them.
constexpr int parts_per_thread = 4;
// A range holds this many lower vertices (as a power of two): the entries towards a range and
// the lists of its vertices stay in cache while the range is compared.
constexpr int range_shift = 12;
constexpr int range_size = 1 << range_shift;
// A list up to this long finds its repeats by walking its earlier entries; a longer one
// through stamps, which stay linear.
constexpr int short_list_length = 32;
// edge_offsets holds the repaired entry count, which has to stay a signed 32-bit value.
constexpr std::int64_t max_entries = 2147483646;

// An entry towards a lower vertex: lower is listed by higher at position.
struct Arc {
    int lower;
    int higher;
    int position;
};

// An entry the repair adds: target lists neighbour, with the weight at position.
struct Addition {
    int target;
    int neighbour;
    int position;
};

// The weight of the entry at position is that at source: the edge's first entry.
struct Override {
    int position;
    int source;
};

// What one thread finds while it compares ranges.
struct RangeWork {
    std::vector<std::int64_t> starts;        // per lower vertex of the range, then its end
    std::vector<std::int64_t> next;          // where the next arc of each lower vertex goes
    std::vector<Arc> sorted;                 // the range's arcs by lower, then higher
    std::vector<std::pair<int, int>> upper;  // (higher neighbour, position) of a list
    std::vector<Addition> additions;
    std::vector<Override> overrides;
    RepairCounts counts;
};

// What one thread keeps while it measures and writes lists.
struct ListWork {
    Block<int> stamps;  // stamps[u] == v: u is kept on the long list of v
    // The list being read rises: it repeats no neighbour, and only a self entry is dropped.
    bool list_rises = false;
    RepairCounts counts;
};

struct Repair {
    explicit Repair(const RepairInput& repair_input) : input(repair_input) {}
    const RepairInput& input;
    int range_count = 0;
    std::vector<int> part_first;  // the first vertex of each part, and nvtxs + 1
    // counts[part * range_count + range]: the part's arcs into the range, then where the
    // first of them goes.
    std::vector<std::int64_t> counts;
    std::vector<std::int64_t> range_begin;
    // Left unwritten until placed: the arcs live only until the lists are compared.
    std::unique_ptr<Arc[]> arcs;
    std::vector<Addition> additions;  // by target, then position
    std::vector<Override> overrides;  // by position
    std::atomic<bool> has_failed{false};
};

int list_begin(const RepairInput& input, int vertex) {
    return input.edge_offsets[vertex - 1];
}

int list_end(const RepairInput& input, int vertex) {
    return input.edge_offsets[vertex];
}

std::int64_t order_of(const RepairInput& input, int position) {
    return input.entry_order == nullptr ? position : input.entry_order[position];
}

// Runs task(worker, index) for every index below count on up to threads threads, each taking
// the next index in turn; the calling thread is worker 0. A task that runs out of memory
// marks the repair failed.
template <class Task>
void run_tasks(Repair& repair, int threads, int count, Task task) {
    std::atomic<int> next_task{0};
    auto work = [&](int worker) {
        for (int index; (index = next_task++) < count;) {
            if (allocates_or_fails([&] { task(worker, index); }) != 0) repair.has_failed = true;
        }
    };
    std::vector<std::thread> helpers;
    const int wanted = std::min(threads, count);
    if (allocates_or_fails([&] { helpers.reserve(static_cast<std::size_t>(wanted)); }) != 0) {
        work(0);
        return;
    }
    for (int worker = 1; worker < wanted; ++worker) {
        try {
            helpers.emplace_back(work, worker);
        } catch (const std::system_error&) {
            break;  // fewer threads: slower, not wrong
        }
    }
    work(0);
    for (std::thread& helper : helpers)
        helper.join();
}

// Cuts the vertices into up to wanted parts of about equal numbers of entries.
void cut_parts(const RepairInput& input, int wanted, std::vector<int>& part_first) {
    part_first.assign(1, 1);
    const std::int64_t total = list_end(input, input.nvtxs);
    for (int part = 1; part < wanted; ++part) {
        const std::int64_t goal = total * part / wanted;
        const int* first = input.edge_offsets + part_first.back();
        const int* found = std::lower_bound(first, input.edge_offsets + input.nvtxs + 1, goal);
        const int vertex = static_cast<int>(found - input.edge_offsets);
        if (vertex > part_first.back() && vertex <= input.nvtxs) part_first.push_back(vertex);
    }
    part_first.push_back(input.nvtxs + 1);
}

// Counts, then places, the arcs of part by the range of their lower vertex: range by range,
// and within a range part by part, so that a range's arcs come by higher vertex and position.
void count_arcs(Repair& repair, int part) {
    const RepairInput& input = repair.input;
    std::int64_t* counts = repair.counts.data() + std::int64_t{part} * repair.range_count;
    for (int higher = repair.part_first[part]; higher < repair.part_first[part + 1]; ++higher) {
        for (int position = list_begin(input, higher); position < list_end(input, higher);
             ++position) {
            const int lower = input.adjacency[position];
            if (lower < higher) ++counts[(lower - 1) >> range_shift];
        }
    }
}

void place_arcs(Repair& repair, int part) {
    const RepairInput& input = repair.input;
    std::int64_t* next = repair.counts.data() + std::int64_t{part} * repair.range_count;
    for (int higher = repair.part_first[part]; higher < repair.part_first[part + 1]; ++higher) {
        for (int position = list_begin(input, higher); position < list_end(input, higher);
             ++position) {
            const int lower = input.adjacency[position];
            if (lower < higher)
                repair.arcs[next[(lower - 1) >> range_shift]++] = {lower, higher, position};
        }
    }
}

void place_counts(Repair& repair, int parts) {
    std::int64_t total = 0;
    repair.range_begin.assign(static_cast<std::size_t>(repair.range_count) + 1, 0);
    for (int range = 0; range < repair.range_count; ++range) {
        repair.range_begin[range] = total;
        for (int part = 0; part < parts; ++part) {
            std::int64_t& count = repair.counts[std::int64_t{part} * repair.range_count + range];
            const std::int64_t part_count = count;
            count = total;
            total += part_count;
        }
    }
    repair.range_begin[repair.range_count] = total;
}

// The entries of lower's list towards higher vertices, each neighbour once at its first
// entry, by neighbour: the list itself when it rises, else sorted.
void take_upper_entries(const RepairInput& input, int lower, RangeWork& work) {
    work.upper.clear();
    // Room for the whole list at once: a hub's list grown step by step would hold the old
    // room and the new together.
    work.upper.reserve(static_cast<std::size_t>(list_end(input, lower) - list_begin(input, lower)));
    bool rises = true;
    for (int position = list_begin(input, lower); position < list_end(input, lower); ++position) {
        const int neighbour = input.adjacency[position];
        if (neighbour <= lower) continue;
        if (!work.upper.empty() && neighbour <= work.upper.back().first) rises = false;
        work.upper.emplace_back(neighbour, position);
    }
    if (rises) return;
    std::sort(work.upper.begin(), work.upper.end());
    work.upper.erase(std::unique(work.upper.begin(), work.upper.end(),
                                 [](const auto& a, const auto& b) { return a.first == b.first; }),
                     work.upper.end());
}

// An edge listed at both ends: when the weights of its first entries differ, each end takes
// the weight of the earlier one; the edge is counted once, here at its lower end.
void match_ends(const RepairInput& input, int lower_position, int higher_position,
                RangeWork& work) {
    if (input.edge_weights == nullptr) return;
    if (input.edge_weights[lower_position] == input.edge_weights[higher_position]) return;
    ++work.counts.weight_differences;
    if (order_of(input, higher_position) < order_of(input, lower_position)) {
        work.overrides.push_back({lower_position, higher_position});
    } else {
        work.overrides.push_back({higher_position, lower_position});
    }
}

// The case of a sound list, taken first: lower's list rises, and its entries towards higher
// vertices are exactly the arcs towards it, with the same weights.
bool matches_exactly(const RepairInput& input, int lower, const Arc* arc, const Arc* arcs_end) {
    const int* adjacency = input.adjacency;
    const int end = list_end(input, lower);
    int position = list_begin(input, lower);
    for (int p = position + 1; p < end; ++p) {
        if (adjacency[p] <= adjacency[p - 1]) return false;
    }
    while (position < end && adjacency[position] <= lower)
        ++position;
    if (end - position != arcs_end - arc) return false;
    for (; arc != arcs_end; ++arc, ++position) {
        if (adjacency[position] != arc->higher) return false;
        if (input.edge_weights != nullptr &&
            input.edge_weights[position] != input.edge_weights[arc->position]) {
            return false;
        }
    }
    return true;
}

// Compares the arcs towards lower (by higher vertex, repeats of a vertex after its first)
// with lower's own entries towards higher vertices, in one merge: an edge only one of them
// lists gets its other entry.
void compare_list(const RepairInput& input, int lower, const Arc* arc, const Arc* arcs_end,
                  RangeWork& work) {
    if (matches_exactly(input, lower, arc, arcs_end)) return;
    take_upper_entries(input, lower, work);
    auto listed = work.upper.begin();
    while (arc != arcs_end || listed != work.upper.end()) {
        const int higher = arc != arcs_end ? arc->higher : 0;
        if (arc == arcs_end || (listed != work.upper.end() && listed->first < higher)) {
            work.additions.push_back({listed->first, lower, listed->second});
            ++work.counts.one_sided_edges;
            ++listed;
            continue;
        }
        if (listed != work.upper.end() && listed->first == higher) {
            match_ends(input, listed->second, arc->position, work);
            ++listed;
        } else {
            work.additions.push_back({lower, higher, arc->position});
            ++work.counts.one_sided_edges;
        }
        for (const int first = arc->higher; arc != arcs_end && arc->higher == first;)
            ++arc;
    }
}

void compare_range(Repair& repair, int range, RangeWork& work) {
    const int first = (range << range_shift) + 1;
    const int last = std::min(repair.input.nvtxs, first + range_size - 1);
    const Arc* arcs = repair.arcs.get();
    const std::int64_t begin = repair.range_begin[range];
    const std::int64_t end = repair.range_begin[range + 1];
    // A counting sort by the lower vertex keeps the order of the higher ones.
    work.starts.assign(static_cast<std::size_t>(last - first) + 2, 0);
    for (std::int64_t i = begin; i < end; ++i)
        ++work.starts[arcs[i].lower - first + 1];
    for (std::size_t i = 1; i < work.starts.size(); ++i)
        work.starts[i] += work.starts[i - 1];
    work.sorted.resize(static_cast<std::size_t>(end - begin));
    work.next.assign(work.starts.begin(), work.starts.end() - 1);
    for (std::int64_t i = begin; i < end; ++i)
        work.sorted[work.next[arcs[i].lower - first]++] = arcs[i];
    for (int lower = first; lower <= last; ++lower) {
        const Arc* lower_arcs = work.sorted.data() + work.starts[lower - first];
        const Arc* lower_arcs_end = work.sorted.data() + work.starts[lower - first + 1];
        compare_list(repair.input, lower, lower_arcs, lower_arcs_end, work);
    }
}

// Finds the repairs of the lists: the arcs towards lower vertices are gathered by ranges of
// the lower vertex, and each range is compared with its lists in one pass. Fills the additions
// by target and position, the overrides by position, and the counts of both.
void compare_lists(Repair& repair, int threads, RepairCounts& counts) {
    const RepairInput& input = repair.input;
    repair.range_count = ((input.nvtxs - 1) >> range_shift) + 1;
    cut_parts(input, threads * parts_per_thread, repair.part_first);
    const int parts = static_cast<int>(repair.part_first.size()) - 1;
    repair.counts.assign(static_cast<std::size_t>(parts) * repair.range_count, 0);
    run_tasks(repair, threads, parts, [&](int, int part) { count_arcs(repair, part); });
    place_counts(repair, parts);
    repair.arcs.reset(new Arc[static_cast<std::size_t>(
        std::max<std::int64_t>(repair.range_begin[repair.range_count], 1))]);
    run_tasks(repair, threads, parts, [&](int, int part) { place_arcs(repair, part); });
    std::vector<RangeWork> works(static_cast<std::size_t>(threads));
    run_tasks(repair, threads, repair.range_count, [&](int worker, int range) {
        compare_range(repair, range, works[static_cast<std::size_t>(worker)]);
    });
    repair.arcs.reset();
    for (RangeWork& work : works) {
        repair.additions.insert(repair.additions.end(), work.additions.begin(),
                                work.additions.end());
        repair.overrides.insert(repair.overrides.end(), work.overrides.begin(),
                                work.overrides.end());
        counts.one_sided_edges += work.counts.one_sided_edges;
        counts.weight_differences += work.counts.weight_differences;
    }
    std::sort(repair.additions.begin(), repair.additions.end(),
              [](const Addition& a, const Addition& b) {
                  return a.target != b.target ? a.target < b.target : a.position < b.position;
              });
    std::sort(repair.overrides.begin(), repair.overrides.end(),
              [](const Override& a, const Override& b) { return a.position < b.position; });
}

// Whether the entry of vertex at position is kept: not a self entry, not a repeat of an
// earlier entry of the list. A long list stamps its kept neighbours with stamp as it goes, so
// its entries must be asked in order, and each reading of the list needs a stamp of its own.
bool is_kept(const RepairInput& input, int vertex, int position, int stamp, ListWork& work) {
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
const Addition* first_addition(const Repair& repair, int vertex) {
    return repair.additions.data() +
           (std::lower_bound(
                repair.additions.begin(), repair.additions.end(), vertex,
                [](const Addition& addition, int target) { return addition.target < target; }) -
            repair.additions.begin());
}

// The overrides of position and the positions after it.
const Override* first_override(const Repair& repair, int position) {
    return repair.overrides.data() +
           (std::lower_bound(
                repair.overrides.begin(), repair.overrides.end(), position,
                [](const Override& entry, int value) { return entry.position < value; }) -
            repair.overrides.begin());
}

// The vertices of part: their repaired lengths into edge_offsets[v], and the entries they drop.
void measure_part(const Repair& repair, int part, ListWork& work, RepairedLists& lists) {
    const RepairInput& input = repair.input;
    const Addition* addition = first_addition(repair, repair.part_first[part]);
    const Addition* additions_end = repair.additions.data() + repair.additions.size();
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
void write_part(const Repair& repair, int part, ListWork& work, RepairedLists& lists) {
    const RepairInput& input = repair.input;
    const float* weights = input.edge_weights;
    const Addition* addition = first_addition(repair, repair.part_first[part]);
    const Addition* additions_end = repair.additions.data() + repair.additions.size();
    const Override* override_entry =
        first_override(repair, list_begin(input, repair.part_first[part]));
    const Override* overrides_end = repair.overrides.data() + repair.overrides.size();
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
        lists.edge_offsets[v] = static_cast<int>(total);
    }
    return RepairResult::repaired;
}

RepairResult write_lists(Repair& repair, int threads, RepairedLists& lists, RepairCounts& counts) {
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
    const int threads = static_cast<int>(
        std::clamp<std::int64_t>(entries / entries_per_thread + 1, 1, std::max(input.threads, 1)));
    Repair repair(input);
    RepairResult result = RepairResult::out_of_memory;
    const int failed = allocates_or_fails([&] {
        compare_lists(repair, threads, counts);
        if (!repair.has_failed) result = write_lists(repair, threads, lists, counts);
    });
    if (failed != 0 || repair.has_failed) result = RepairResult::out_of_memory;
    if (result != RepairResult::repaired) {
        lists = RepairedLists{};
        counts = RepairCounts{};
    }
    return result;
}
