#include "graph/repair_differences.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

namespace {

// A range holds this many lower vertices (as a power of two): the entries towards a range and
// the lists of its vertices stay in cache while the range is compared.
constexpr int range_shift = 12;
constexpr int range_size = 1 << range_shift;

// An entry towards a lower vertex: lower is listed by higher at the entry slot names. A slot
// of the Position type is the entry's position; an unsigned 32-bit one its place within
// higher's list, which keeps an arc at 12 bytes with wide positions too.
template <class Slot>
struct Arc {
    int lower;
    int higher;
    Slot slot;
};

template <class Position, class Slot>
Slot slot_of(const RepairInput& input, int higher, Position position) {
    if constexpr (std::is_same_v<Slot, Position>) {
        return position;
    } else {
        return static_cast<Slot>(position - list_begin(input, higher));
    }
}

template <class Position, class Slot>
Position position_of(const RepairInput& input, const Arc<Slot>& arc) {
    if constexpr (std::is_same_v<Slot, Position>) {
        return arc.slot;
    } else {
        return list_begin(input, arc.higher) + arc.slot;
    }
}

// The arcs of the lists, gathered by the range of their lower vertex.
template <class Position, class Slot>
struct Gathering {
    explicit Gathering(RepairWork<Position>& repair_work)
        : repair(repair_work), input(repair_work.input) {}
    RepairWork<Position>& repair;
    const RepairInput& input;
    int range_count = 0;
    // counts[part * range_count + range]: the part's arcs into the range, then where the
    // first of them goes.
    std::vector<std::int64_t> counts;
    std::vector<std::int64_t> range_begin;
    // Left unwritten until placed: the arcs live only until the lists are compared.
    std::unique_ptr<Arc<Slot>[]> arcs;
};

// What one thread finds while it compares ranges.
template <class Position, class Slot>
struct RangeWork {
    std::vector<std::int64_t> starts;             // per lower vertex of the range, then its end
    std::vector<std::int64_t> next;               // where the next arc of each lower vertex goes
    std::vector<Arc<Slot>> sorted;                // the range's arcs by lower, then higher
    std::vector<std::pair<int, Position>> upper;  // (higher neighbour, position) of a list
    std::vector<RepairAddition<Position>> additions;
    std::vector<RepairOverride<Position>> overrides;
    RepairCounts counts;
};

// Counts, then places, the arcs of part by the range of their lower vertex: range by range,
// and within a range part by part, so that a range's arcs come by higher vertex and position.
template <class Position, class Slot>
void count_arcs(Gathering<Position, Slot>& gathering, int part) {
    const RepairInput& input = gathering.input;
    const std::vector<int>& part_first = gathering.repair.part_first;
    std::int64_t* counts = gathering.counts.data() + std::int64_t{part} * gathering.range_count;
    for (int higher = part_first[part]; higher < part_first[part + 1]; ++higher) {
        for (Position position = list_begin(input, higher); position < list_end(input, higher);
             ++position) {
            const int lower = input.adjacency[position];
            if (lower < higher) ++counts[(lower - 1) >> range_shift];
        }
    }
}

template <class Position, class Slot>
void place_arcs(Gathering<Position, Slot>& gathering, int part) {
    const RepairInput& input = gathering.input;
    const std::vector<int>& part_first = gathering.repair.part_first;
    std::int64_t* next = gathering.counts.data() + std::int64_t{part} * gathering.range_count;
    for (int higher = part_first[part]; higher < part_first[part + 1]; ++higher) {
        for (Position position = list_begin(input, higher); position < list_end(input, higher);
             ++position) {
            const int lower = input.adjacency[position];
            if (lower < higher)
                gathering.arcs[next[(lower - 1) >> range_shift]++] = {
                    lower, higher, slot_of<Position, Slot>(input, higher, position)};
        }
    }
}

template <class Position, class Slot>
void place_counts(Gathering<Position, Slot>& gathering, int parts) {
    std::int64_t total = 0;
    gathering.range_begin.assign(static_cast<std::size_t>(gathering.range_count) + 1, 0);
    for (int range = 0; range < gathering.range_count; ++range) {
        gathering.range_begin[range] = total;
        for (int part = 0; part < parts; ++part) {
            std::int64_t& count =
                gathering.counts[std::int64_t{part} * gathering.range_count + range];
            const std::int64_t part_count = count;
            count = total;
            total += part_count;
        }
    }
    gathering.range_begin[gathering.range_count] = total;
}

// The entries of lower's list towards higher vertices, each neighbour once at its first
// entry, by neighbour: the list itself when it rises, else sorted.
template <class Position, class Slot>
void take_upper_entries(const RepairInput& input, int lower, RangeWork<Position, Slot>& work) {
    work.upper.clear();
    // Room for the whole list at once: a hub's list grown step by step would hold the old
    // room and the new together.
    work.upper.reserve(static_cast<std::size_t>(list_end(input, lower) - list_begin(input, lower)));
    bool rises = true;
    for (Position position = list_begin(input, lower); position < list_end(input, lower);
         ++position) {
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
template <class Position, class Slot>
void match_ends(const RepairInput& input, Position lower_position, Position higher_position,
                RangeWork<Position, Slot>& work) {
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
template <class Position, class Slot>
bool matches_exactly(const RepairInput& input, int lower, const Arc<Slot>* arc,
                     const Arc<Slot>* arcs_end) {
    const int* adjacency = input.adjacency;
    const Position end = list_end(input, lower);
    Position position = list_begin(input, lower);
    for (Position p = position + 1; p < end; ++p) {
        if (adjacency[p] <= adjacency[p - 1]) return false;
    }
    while (position < end && adjacency[position] <= lower)
        ++position;
    if (end - position != arcs_end - arc) return false;
    for (; arc != arcs_end; ++arc, ++position) {
        if (adjacency[position] != arc->higher) return false;
        if (input.edge_weights != nullptr &&
            input.edge_weights[position] !=
                input.edge_weights[position_of<Position>(input, *arc)]) {
            return false;
        }
    }
    return true;
}

// Compares the arcs towards lower (by higher vertex, repeats of a vertex after its first)
// with lower's own entries towards higher vertices, in one merge: an edge only one of them
// lists gets its other entry.
template <class Position, class Slot>
void compare_list(const RepairInput& input, int lower, const Arc<Slot>* arc,
                  const Arc<Slot>* arcs_end, RangeWork<Position, Slot>& work) {
    if (matches_exactly<Position>(input, lower, arc, arcs_end)) return;
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
            match_ends(input, listed->second, position_of<Position>(input, *arc), work);
            ++listed;
        } else {
            work.additions.push_back({lower, higher, position_of<Position>(input, *arc)});
            ++work.counts.one_sided_edges;
        }
        for (const int first = arc->higher; arc != arcs_end && arc->higher == first;)
            ++arc;
    }
}

template <class Position, class Slot>
void compare_range(Gathering<Position, Slot>& gathering, int range,
                   RangeWork<Position, Slot>& work) {
    const int first = (range << range_shift) + 1;
    const int last = std::min(gathering.input.nvtxs, first + range_size - 1);
    const Arc<Slot>* arcs = gathering.arcs.get();
    const std::int64_t begin = gathering.range_begin[range];
    const std::int64_t end = gathering.range_begin[range + 1];
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
        const Arc<Slot>* lower_arcs = work.sorted.data() + work.starts[lower - first];
        const Arc<Slot>* lower_arcs_end = work.sorted.data() + work.starts[lower - first + 1];
        compare_list(gathering.input, lower, lower_arcs, lower_arcs_end, work);
    }
}

}  // namespace

// Cuts the vertices into up to wanted parts of about equal numbers of entries.
void cut_parts(const RepairInput& input, int wanted, std::vector<int>& part_first) {
    part_first.assign(1, 1);
    const std::int64_t total = list_end(input, input.nvtxs);
    for (int part = 1; part < wanted; ++part) {
        const std::int64_t goal = total * part / wanted;
        const std::int64_t* first = input.edge_offsets + part_first.back();
        const std::int64_t* found =
            std::lower_bound(first, input.edge_offsets + input.nvtxs + 1, goal);
        const int vertex = static_cast<int>(found - input.edge_offsets);
        if (vertex > part_first.back() && vertex <= input.nvtxs) part_first.push_back(vertex);
    }
    part_first.push_back(input.nvtxs + 1);
}

namespace {

// Gathers the arcs of the lists and compares them range by range; the findings go into works,
// one a thread. The arcs are released on return.
template <class Position, class Slot>
void compare_ranges(RepairWork<Position>& repair, int threads,
                    std::vector<RangeWork<Position, Slot>>& works) {
    const RepairInput& input = repair.input;
    Gathering<Position, Slot> gathering(repair);
    gathering.range_count = ((input.nvtxs - 1) >> range_shift) + 1;
    const int parts = static_cast<int>(repair.part_first.size()) - 1;
    gathering.counts.assign(static_cast<std::size_t>(parts) * gathering.range_count, 0);
    run_tasks(repair, threads, parts, [&](int, int part) { count_arcs(gathering, part); });
    place_counts(gathering, parts);
    gathering.arcs.reset(new Arc<Slot>[static_cast<std::size_t>(
        std::max<std::int64_t>(gathering.range_begin[gathering.range_count], 1))]);
    run_tasks(repair, threads, parts, [&](int, int part) { place_arcs(gathering, part); });
    works.resize(static_cast<std::size_t>(threads));
    run_tasks(repair, threads, gathering.range_count, [&](int worker, int range) {
        compare_range(gathering, range, works[static_cast<std::size_t>(worker)]);
    });
}

template <class Position, class Slot>
void find_with_slots(RepairWork<Position>& repair, int threads, RepairCounts& counts) {
    std::vector<RangeWork<Position, Slot>> works;
    compare_ranges(repair, threads, works);
    for (RangeWork<Position, Slot>& work : works) {
        repair.additions.insert(repair.additions.end(), work.additions.begin(),
                                work.additions.end());
        repair.overrides.insert(repair.overrides.end(), work.overrides.begin(),
                                work.overrides.end());
        counts.one_sided_edges += work.counts.one_sided_edges;
        counts.weight_differences += work.counts.weight_differences;
    }
    std::sort(repair.additions.begin(), repair.additions.end(),
              [](const RepairAddition<Position>& a, const RepairAddition<Position>& b) {
                  return a.target != b.target ? a.target < b.target : a.position < b.position;
              });
    std::sort(repair.overrides.begin(), repair.overrides.end(),
              [](const RepairOverride<Position>& a, const RepairOverride<Position>& b) {
                  return a.position < b.position;
              });
}

// Whether every list holds fewer than 2^32 entries, so that an entry's place within its list
// is an unsigned 32-bit value. Lists without repeats always do: they hold at most nvtxs - 1.
bool has_short_lists(const RepairInput& input) {
    for (int v = 1; v <= input.nvtxs; ++v) {
        if (list_end(input, v) - list_begin(input, v) > UINT32_MAX) return false;
    }
    return true;
}

}  // namespace

template <class Position>
void find_differences(RepairWork<Position>& repair, int threads, RepairCounts& counts) {
    cut_parts(repair.input, threads * parts_per_thread, repair.part_first);
    if constexpr (std::is_same_v<Position, int>) {
        find_with_slots<int, int>(repair, threads, counts);
    } else if (has_short_lists(repair.input)) {
        find_with_slots<std::int64_t, std::uint32_t>(repair, threads, counts);
    } else {
        find_with_slots<std::int64_t, std::int64_t>(repair, threads, counts);
    }
}

template void find_differences(RepairWork<int>&, int, RepairCounts&);
template void find_differences(RepairWork<std::int64_t>&, int, RepairCounts&);
