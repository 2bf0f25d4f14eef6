// Repair differences: where the lists and the entries towards them disagree, the first step
// of the graph repair, and what its two steps share.
//
// Every entry towards a lower vertex is gathered by counting, by ranges of the lower vertex,
// and each range is merged with the lists of its vertices in cache, as the check of the
// reader does: an edge listed at one end only becomes an addition at the other end, and an
// edge whose first entries weigh differently becomes an override of the later one's weight.
// Only these differences are kept, a few numbers each; the second step copies every list
// with them (graph_repair.cpp).
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "common/allocation.h"
#include "common/helper_threads.h"
#include "graph/graph_repair.h"

// The repair's records hold positions of the Position type: int for lists of up to
// narrow_repair_entries entries, so that they cost what they always did, std::int64_t past it.

// An entry the repair adds: target lists neighbour, with the weight at position.
template <class Position>
struct RepairAddition {
    int target;
    int neighbour;
    Position position;
};

// The weight of the entry at position is that at source: the edge's first entry.
template <class Position>
struct RepairOverride {
    Position position;
    Position source;
};

// What the steps of one repair share.
template <class Position>
struct RepairWork {
    explicit RepairWork(const RepairInput& repair_input) : input(repair_input) {}
    const RepairInput& input;
    std::vector<int> part_first;  // the first vertex of each part, and nvtxs + 1
    std::vector<RepairAddition<Position>> additions;  // by target, then position
    std::vector<RepairOverride<Position>> overrides;  // by position
    std::atomic<bool> has_failed{false};              // some step's memory was not there
};

inline std::int64_t list_begin(const RepairInput& input, int vertex) {
    return input.edge_offsets[vertex - 1];
}

inline std::int64_t list_end(const RepairInput& input, int vertex) {
    return input.edge_offsets[vertex];
}

inline std::int64_t order_of(const RepairInput& input, std::int64_t position) {
    return input.entry_order == nullptr ? position : input.entry_order[position];
}

// Runs task(worker, index) for every index below count on up to threads threads, each taking
// the next index in turn; the calling thread is worker 0. A task that runs out of memory
// marks the repair failed.
template <class Work, class Task>
void run_tasks(Work& repair, int threads, int count, Task task) {
    std::atomic<int> next_task{0};
    auto work = [&](int worker) {
        for (int index; (index = next_task++) < count;) {
            if (allocates_or_fails([&] { task(worker, index); }) != 0) repair.has_failed = true;
        }
    };
    HelperThreads helpers;
    helpers.make_room(std::min(threads, count) - 1);
    for (int worker = 1; worker < std::min(threads, count); ++worker) {
        if (!helpers.start([&work, worker] { work(worker); })) break;
    }
    work(0);
    helpers.join();
}

// The vertices are cut into this many parts per thread, so that a thread that drew lighter
// parts takes more of them.
constexpr int parts_per_thread = 4;

// Cuts the vertices into up to wanted parts of about equal numbers of entries.
void cut_parts(const RepairInput& input, int wanted, std::vector<int>& part_first);

// Cuts the vertices into parts for threads threads (into repair.part_first) and finds the
// differences: the additions and overrides of repair, and the edges listed at one end only
// and those whose ends weigh differently, into counts. Sets repair.has_failed, or throws
// std::bad_alloc, when the memory is not there.
template <class Position>
void find_differences(RepairWork<Position>& repair, int threads, RepairCounts& counts);
extern template void find_differences(RepairWork<int>&, int, RepairCounts&);
extern template void find_differences(RepairWork<std::int64_t>&, int, RepairCounts&);
