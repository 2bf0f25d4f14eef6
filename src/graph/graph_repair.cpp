#include "graph/graph_repair.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

#include "common/allocation.h"

namespace {

// Each gathering thread reads every entry and keeps those towards its own vertices, so more
// threads than this read more than they gain.
constexpr int max_gathering_threads = 4;
// A thread of its own pays for itself only with this many entries.
constexpr std::int64_t entries_per_thread = std::int64_t{1} << 16;
// The vertices are cut into this many parts per thread for merging, so that a thread that
// drew lighter parts takes more of them.
constexpr int parts_per_thread = 4;
// The entries towards the vertices of one block are placed in one reading of every list, and
// their places span this many entries at most: they stay in cache while they are written,
// where one reading for all of them wrote each entry to a place anywhere in memory.
constexpr std::int64_t block_entries = std::int64_t{1} << 21;
// A vertex with up to this many entries, its own and those towards it, finds a neighbour
// among its slots by walking them; a longer one through marks, which stay linear.
constexpr std::int64_t short_list_length = 16;
// edge_offsets holds the repaired entry count, which has to stay a signed 32-bit value.
constexpr std::int64_t max_entries = 2147483646;

// The entries towards each vertex, gathered by counting: those towards v lie at positions
// towards[v - 1] up to towards[v] of sources (the vertex that lists it) and, with edge
// weights, of positions (where the entry lies in the input).
struct Gathered {
    Block<int> towards;
    Block<int> sources;
    Block<int> positions;
};

// One neighbour of the vertex being merged: where its weight comes from, whether the vertex
// lists it itself, and whether the neighbour's own entry has been met.
struct Slot {
    int neighbour;
    int position;
    bool is_own;
    bool is_answered;
};

// What one merging thread keeps from one vertex to the next.
struct MergeWork {
    std::vector<Slot> slots;
    // marks[u]: one more than u's slot while the vertex being merged is long, else 0.
    Block<int> marks;
    RepairCounts counts;
};

struct Repair {
    explicit Repair(const RepairInput& repair_input) : input(repair_input) {}
    const RepairInput& input;
    Gathered gathered;
    std::vector<int> part_first;  // the first vertex of each part, and nvtxs + 1
    std::atomic<bool> has_failed{false};
};

std::int64_t entry_count(const RepairInput& input) {
    return input.edge_offsets[input.nvtxs];
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

// Cuts the vertices into up to wanted parts of about equal cost, where cost_until(v) is the
// cost of vertices 1 to v and never decreases.
template <class Cost>
void cut_parts(int nvtxs, int wanted, Cost cost_until, std::vector<int>& part_first) {
    part_first.assign(1, 1);
    const std::int64_t total = cost_until(nvtxs);
    for (int part = 1; part < wanted; ++part) {
        const std::int64_t goal = total * part / wanted;
        int low = part_first.back();
        int high = nvtxs + 1;
        while (low < high) {
            const int middle = low + (high - low) / 2;
            if (cost_until(middle) < goal) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        if (low > part_first.back() && low <= nvtxs) part_first.push_back(low);
    }
    part_first.push_back(nvtxs + 1);
}

// Counts the entries towards the vertices first to last - 1 into towards[v], reading every
// list; self entries are not gathered.
void count_towards(const RepairInput& input, int first, int last, int* towards) {
    for (int vertex = 1; vertex <= input.nvtxs; ++vertex) {
        for (int position = input.edge_offsets[vertex - 1]; position < input.edge_offsets[vertex];
             ++position) {
            const int target = input.adjacency[position];
            if (target >= first && target < last && target != vertex) ++towards[target];
        }
    }
}

// Places the entries towards the vertices first to last - 1 in the order of their positions;
// towards[v] is the next free place of v's entries and ends as the end of them.
void place_towards(const RepairInput& input, int first, int last, Gathered& gathered) {
    int* towards = gathered.towards.data();
    const bool keeps_positions = !gathered.positions.empty();
    for (int vertex = 1; vertex <= input.nvtxs; ++vertex) {
        for (int position = input.edge_offsets[vertex - 1]; position < input.edge_offsets[vertex];
             ++position) {
            const int target = input.adjacency[position];
            if (target < first || target >= last || target == vertex) continue;
            const int place = towards[target]++;
            gathered.sources[place] = vertex;
            if (keeps_positions) gathered.positions[place] = position;
        }
    }
}

// Gathers the entries towards each vertex: each thread owns a range of target vertices, cut
// by the lengths of their own lists (in an undirected graph, those towards them), reads
// every list and counts the entries towards its range; then the targets are cut into blocks
// whose entries fit in cache, and each block reads every list again and places its entries.
void gather(Repair& repair, int threads) {
    const RepairInput& input = repair.input;
    Gathered& gathered = repair.gathered;
    const int nvtxs = input.nvtxs;
    gathered.towards.resize(static_cast<std::size_t>(nvtxs) + 1);
    std::vector<int> range_first;
    cut_parts(
        nvtxs, threads, [&](int v) { return std::int64_t{input.edge_offsets[v]}; }, range_first);
    const int ranges = static_cast<int>(range_first.size()) - 1;
    run_tasks(repair, threads, ranges, [&](int, int range) {
        count_towards(input, range_first[range], range_first[range + 1], gathered.towards.data());
    });
    for (int v = 1; v <= nvtxs; ++v)
        gathered.towards[v] += gathered.towards[v - 1];
    const std::int64_t total = gathered.towards[nvtxs];
    gathered.sources.resize(static_cast<std::size_t>(std::max<std::int64_t>(total, 1)));
    if (input.edge_weights != nullptr) gathered.positions.resize(gathered.sources.size());
    std::vector<int> block_first;
    cut_parts(
        nvtxs, static_cast<int>(std::min<std::int64_t>(total / block_entries + 1, nvtxs)),
        [&](int v) { return std::int64_t{gathered.towards[v]}; }, block_first);
    // Vertex v's entries go from the end of v - 1's on; placing moves each start to its end.
    for (int v = nvtxs; v >= 1; --v)
        gathered.towards[v] = gathered.towards[v - 1];
    const int blocks = static_cast<int>(block_first.size()) - 1;
    run_tasks(repair, threads, blocks, [&](int, int block) {
        place_towards(input, block_first[block], block_first[block + 1], gathered);
    });
}

// The slot of neighbour among those of the vertex being merged, or -1.
int find_slot(const MergeWork& work, bool is_long, int neighbour) {
    if (is_long) return work.marks[neighbour] - 1;
    for (std::size_t i = 0; i < work.slots.size(); ++i) {
        if (work.slots[i].neighbour == neighbour) return static_cast<int>(i);
    }
    return -1;
}

void add_slot(MergeWork& work, bool is_long, const Slot& slot) {
    work.slots.push_back(slot);
    if (is_long) work.marks[slot.neighbour] = static_cast<int>(work.slots.size());
}

std::int64_t order_of(const RepairInput& input, int position) {
    return input.entry_order == nullptr ? position : input.entry_order[position];
}

// The neighbour's own entry towards the vertex, found at position, answers the vertex's
// entry in slot: the edge is listed at both ends, and takes the weight of the earlier entry.
void answer_slot(const RepairInput& input, int vertex, int position, Slot& slot,
                 RepairCounts& counts) {
    slot.is_answered = true;
    if (input.edge_weights == nullptr) return;
    if (input.edge_weights[slot.position] == input.edge_weights[position]) return;
    // Each edge is counted at its lower end only.
    if (vertex < slot.neighbour) ++counts.weight_differences;
    if (order_of(input, position) < order_of(input, slot.position)) slot.position = position;
}

// The case of a sound list, taken first: the vertex's own entries rise, and are exactly the
// entries towards it (which come in the order of their vertices, and never from the vertex
// itself). Then there is nothing to drop or add, and only the weights may differ.
bool merge_sound_list(const Repair& repair, int vertex, MergeWork& work) {
    const RepairInput& input = repair.input;
    const Gathered& gathered = repair.gathered;
    const int own_begin = input.edge_offsets[vertex - 1];
    const int towards_begin = gathered.towards[vertex - 1];
    const int count = input.edge_offsets[vertex] - own_begin;
    if (gathered.towards[vertex] - towards_begin != count) return false;
    const int* own = input.adjacency + own_begin;
    const int* sources = gathered.sources.data() + towards_begin;
    for (int i = 0; i < count; ++i) {
        if (own[i] != sources[i] || (i > 0 && own[i] <= own[i - 1])) return false;
    }
    work.slots.clear();
    for (int i = 0; i < count; ++i) {
        work.slots.push_back({own[i], own_begin + i, true, false});
        if (!gathered.positions.empty()) {
            answer_slot(input, vertex, gathered.positions[towards_begin + i], work.slots.back(),
                        work.counts);
        }
    }
    return true;
}

// Merges the vertex's own entries with those towards it into work.slots: its own first, in
// their order, without self entries and repeats, then the neighbours that list it alone.
void merge_vertex(const Repair& repair, int vertex, MergeWork& work) {
    if (merge_sound_list(repair, vertex, work)) return;
    const RepairInput& input = repair.input;
    const Gathered& gathered = repair.gathered;
    const int own_begin = input.edge_offsets[vertex - 1];
    const int own_end = input.edge_offsets[vertex];
    const int towards_begin = gathered.towards[vertex - 1];
    const int towards_end = gathered.towards[vertex];
    const bool is_long = own_end - own_begin + towards_end - towards_begin > short_list_length;
    if (is_long && work.marks.empty()) work.marks.resize(static_cast<std::size_t>(input.nvtxs) + 1);
    work.slots.clear();
    for (int position = own_begin; position < own_end; ++position) {
        const int neighbour = input.adjacency[position];
        if (neighbour == vertex) {
            ++work.counts.self_entries;
        } else if (find_slot(work, is_long, neighbour) >= 0) {
            ++work.counts.repeated_entries;
        } else {
            add_slot(work, is_long, {neighbour, position, true, false});
        }
    }
    for (int place = towards_begin; place < towards_end; ++place) {
        const int source = gathered.sources[place];
        const int position = gathered.positions.empty() ? 0 : gathered.positions[place];
        const int found = find_slot(work, is_long, source);
        if (found < 0) {
            add_slot(work, is_long, {source, position, false, false});
            ++work.counts.one_sided_edges;
            continue;
        }
        // A later entry of the same neighbour repeats one already met, and was counted there.
        Slot& slot = work.slots[static_cast<std::size_t>(found)];
        if (slot.is_own && !slot.is_answered)
            answer_slot(input, vertex, position, slot, work.counts);
    }
    if (is_long) {
        for (const Slot& slot : work.slots)
            work.marks[slot.neighbour] = 0;
    }
}

// The vertices of part, merged: their lengths into edge_offsets[v] and the counts into work.
void measure_part(const Repair& repair, int part, MergeWork& work, RepairedLists& lists) {
    for (int vertex = repair.part_first[part]; vertex < repair.part_first[part + 1]; ++vertex) {
        merge_vertex(repair, vertex, work);
        lists.edge_offsets[vertex] = static_cast<int>(work.slots.size());
    }
}

// The vertices of part, merged again and written at their places.
void write_part(const Repair& repair, int part, MergeWork& work, RepairedLists& lists) {
    const float* weights = repair.input.edge_weights;
    for (int vertex = repair.part_first[part]; vertex < repair.part_first[part + 1]; ++vertex) {
        // The counts were taken when the lengths were measured.
        const RepairCounts counts = work.counts;
        merge_vertex(repair, vertex, work);
        work.counts = counts;
        std::int64_t place = lists.edge_offsets[vertex - 1];
        for (const Slot& slot : work.slots) {
            lists.adjacency[place] = slot.neighbour;
            if (weights != nullptr) lists.edge_weights[place] = weights[slot.position];
            ++place;
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

RepairResult merge(Repair& repair, int threads, RepairedLists& lists, RepairCounts& counts) {
    const RepairInput& input = repair.input;
    const int nvtxs = input.nvtxs;
    const int* towards = repair.gathered.towards.data();
    cut_parts(
        nvtxs, threads * parts_per_thread,
        [&](int v) { return std::int64_t{input.edge_offsets[v]} + towards[v]; }, repair.part_first);
    const int parts = static_cast<int>(repair.part_first.size()) - 1;
    std::vector<MergeWork> works(static_cast<std::size_t>(threads));
    lists.edge_offsets.resize(static_cast<std::size_t>(nvtxs) + 1);
    run_tasks(repair, threads, parts, [&](int worker, int part) {
        measure_part(repair, part, works[static_cast<std::size_t>(worker)], lists);
    });
    if (repair.has_failed) return RepairResult::out_of_memory;
    const RepairResult summed = sum_lengths(nvtxs, lists);
    if (summed != RepairResult::repaired) return summed;
    const std::int64_t total = lists.edge_offsets[nvtxs];
    lists.adjacency.resize(static_cast<std::size_t>(std::max<std::int64_t>(total, 1)));
    if (input.edge_weights != nullptr) lists.edge_weights.resize(lists.adjacency.size());
    run_tasks(repair, threads, parts, [&](int worker, int part) {
        write_part(repair, part, works[static_cast<std::size_t>(worker)], lists);
    });
    if (repair.has_failed) return RepairResult::out_of_memory;
    for (const MergeWork& work : works) {
        counts.one_sided_edges += work.counts.one_sided_edges;
        counts.self_entries += work.counts.self_entries;
        counts.repeated_entries += work.counts.repeated_entries;
        counts.weight_differences += work.counts.weight_differences;
    }
    counts.edge_count = total / 2;
    return RepairResult::repaired;
}

}  // namespace

RepairResult repair_graph(const RepairInput& input, RepairedLists& lists, RepairCounts& counts) {
    lists = RepairedLists{};
    counts = RepairCounts{};
    if (input.nvtxs < 1 || input.edge_offsets == nullptr) return RepairResult::repaired;
    const std::int64_t entries = entry_count(input);
    const int threads = static_cast<int>(
        std::clamp<std::int64_t>(entries / entries_per_thread + 1, 1, std::max(input.threads, 1)));
    Repair repair(input);
    RepairResult result = RepairResult::out_of_memory;
    const int failed = allocates_or_fails([&] {
        gather(repair, std::min(threads, max_gathering_threads));
        if (!repair.has_failed) result = merge(repair, threads, lists, counts);
    });
    if (failed != 0 || repair.has_failed) result = RepairResult::out_of_memory;
    if (result != RepairResult::repaired) {
        lists = RepairedLists{};
        counts = RepairCounts{};
    }
    return result;
}
