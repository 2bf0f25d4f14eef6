#include "input/symmetry_check.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "common/allocation.h"
#include "common/block.h"
#include "common/helper_threads.h"
#include "input/gathered_arcs.h"

namespace {

using namespace gathered_arcs;

// The vertices are cut into this many parts per thread for gathering, so that a thread that
// drew lighter parts takes more of them.
constexpr int parts_per_thread = 4;
constexpr std::int64_t entries_per_thread = std::int64_t{1} << 16;
// The gathered entries of one round take at most this many bytes. A file whose entries
// towards lower vertices take more is checked in rounds of consecutive ranges, each of which
// reads the lists anew for its own entries: its peak memory is its arrays and this budget.
constexpr std::int64_t gathered_bytes = std::int64_t{1} << 30;

struct Gathering {
    explicit Gathering(const ReadLists& read_lists) : lists(read_lists) {}
    const ReadLists& lists;
    int range_count = 0;
    int part_count = 0;
    std::vector<int> part_first;  // the first vertex of each part, and last_vertex + 1
    // counts[part * range_count + range]: the part's entries into the range; then, after the
    // prefix sums, where the part's first such entry goes.
    std::vector<std::int64_t> counts;
    // Where each range's entries begin among those of its round, and where the round ends.
    std::vector<std::int64_t> range_begin;  // range_count + 1 entries
    // The lower vertices gathered in this round: first_lower up to end_lower.
    int first_lower = 0;
    int end_lower = 0;
    // The longest list of each part.
    std::vector<std::int64_t> longest;
    std::atomic<int> next_task{0};
    std::atomic<bool> has_failed{false};
};

std::int64_t list_begin(const ReadLists& lists, int vertex) {
    return lists.edge_offsets[vertex - 1];
}

std::int64_t list_end(const ReadLists& lists, int vertex) {
    return vertex < lists.last_vertex ? lists.edge_offsets[vertex] : lists.last_end;
}

template <class Arc>
std::int64_t position_of(const ReadLists& lists, const Arc& arc) {
    return list_begin(lists, arc.higher) + arc.index();
}

// Cuts the vertices into parts of about equal numbers of entries.
void cut_parts(Gathering& gathering, int wanted) {
    const ReadLists& lists = gathering.lists;
    const std::int64_t total = list_end(lists, lists.last_vertex);
    gathering.part_first.push_back(1);
    int vertex = 1;
    for (int part = 1; part < wanted && vertex <= lists.last_vertex; ++part) {
        const std::int64_t goal = total * part / wanted;
        // The first vertex whose list starts at or after the goal; lists start in order.
        int low = vertex;
        int high = lists.last_vertex + 1;
        while (low < high) {
            const int middle = low + (high - low) / 2;
            if (list_begin(lists, middle) < goal) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        if (low > vertex && low <= lists.last_vertex) {
            gathering.part_first.push_back(low);
            vertex = low;
        }
    }
    gathering.part_first.push_back(lists.last_vertex + 1);
    gathering.part_count = static_cast<int>(gathering.part_first.size()) - 1;
}

// Runs task(worker, index) for every index below count on threads threads, each taking the
// next index in turn; the calling thread is worker 0.
template <class Task>
void run_tasks(Gathering& gathering, int threads, int count, Task task) {
    gathering.next_task = 0;
    auto work = [&](int worker) {
        if (allocates_or_fails([&] {
                for (int index; (index = gathering.next_task++) < count;)
                    task(worker, index);
            }) != 0) {
            gathering.has_failed = true;
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

void count_part(Gathering& gathering, int part) {
    const ReadLists& lists = gathering.lists;
    std::int64_t* counts = gathering.counts.data() + std::int64_t{part} * gathering.range_count;
    std::int64_t longest = 0;
    for (int higher = gathering.part_first[part]; higher < gathering.part_first[part + 1];
         ++higher) {
        const std::int64_t begin = list_begin(lists, higher);
        const std::int64_t end = list_end(lists, higher);
        longest = std::max(longest, end - begin);
        for (std::int64_t position = begin; position < end; ++position) {
            const int lower = lists.adjacency[position];
            if (lower < higher) ++counts[(lower - 1) >> range_shift];
        }
    }
    gathering.longest[part] = longest;
}

template <class Arc>
void place_part(Gathering& gathering, int part, Arc* arcs) {
    const ReadLists& lists = gathering.lists;
    std::int64_t* next = gathering.counts.data() + std::int64_t{part} * gathering.range_count;
    const int first_lower = gathering.first_lower;
    const auto round_span = static_cast<unsigned>(gathering.end_lower - first_lower);
    // A vertex up to the round's first lower vertex lists none of the round's entries: they
    // are towards a lower vertex than itself.
    for (int higher = std::max(gathering.part_first[part], first_lower + 1);
         higher < gathering.part_first[part + 1]; ++higher) {
        const std::int64_t begin = list_begin(lists, higher);
        const std::int64_t end = list_end(lists, higher);
        for (std::int64_t position = begin; position < end; ++position) {
            const int lower = lists.adjacency[position];
            if (lower < higher && static_cast<unsigned>(lower - first_lower) < round_span) {
                arcs[next[(lower - 1) >> range_shift]++] =
                    Arc::make(lower, higher, static_cast<std::uint32_t>(position - begin));
            }
        }
    }
}

// Turns the counts of the ranges first_range up to end_range into the places of each part's
// entries among those of the round: range by range, and within a range part by part, so a
// range's entries come in increasing order of the higher vertex.
void place_counts(Gathering& gathering, int first_range, int end_range) {
    std::int64_t total = 0;
    for (int range = first_range; range < end_range; ++range) {
        gathering.range_begin[range] = total;
        for (int part = 0; part < gathering.part_count; ++part) {
            std::int64_t& count =
                gathering.counts[std::int64_t{part} * gathering.range_count + range];
            const std::int64_t part_count = count;
            count = total;
            total += part_count;
        }
    }
    gathering.range_begin[end_range] = total;
}

// The end of the round that begins at first_range: as many ranges as the budget holds, at
// least one. total receives the round's entries.
int end_of_round(const Gathering& gathering, int first_range, std::int64_t budget,
                 std::int64_t& total) {
    total = 0;
    int range = first_range;
    for (; range < gathering.range_count; ++range) {
        std::int64_t range_total = 0;
        for (int part = 0; part < gathering.part_count; ++part)
            range_total += gathering.counts[std::int64_t{part} * gathering.range_count + range];
        if (range > first_range && total + range_total > budget) break;
        total += range_total;
    }
    return range;
}

// What one thread keeps while it compares ranges.
struct RangeWork {
    std::vector<std::int64_t> starts;  // per lower vertex of the range, then its end
    std::vector<std::int64_t> next;    // where the next entry of each lower vertex goes
    // The range's entries by lower vertex, then higher, in the layout of the gathering.
    std::vector<PackedArc> packed_sorted;
    std::vector<SpreadArc> spread_sorted;
    // (higher vertex, index) of a list's entries
    std::vector<std::pair<int, std::uint32_t>> higher_entries;
    NoteList line_notes;
    NoteList lower_end_notes;
};

// Reports what is left of lower's list once the entries towards it have all been matched.
using ListedEntry = std::pair<int, std::uint32_t>;

void report_rest(int lower, std::int64_t begin, const ListedEntry* listed, const ListedEntry* end,
                 RangeWork& work) {
    for (; listed != end; ++listed) {
        add_note(work.lower_end_notes,
                 {begin + listed->second, lower, listed->first, NoteKind::unmatched_edge});
    }
}

template <class Arc>
std::vector<Arc>& sorted_arcs(RangeWork& work) {
    if constexpr (std::is_same_v<Arc, PackedArc>) {
        return work.packed_sorted;
    } else {
        return work.spread_sorted;
    }
}

// The case of a sound file, taken first: lower's list is in increasing order, and its entries
// above lower are exactly the entries towards it, with the same weights.
template <class Arc>
bool matches_exactly(const ReadLists& lists, int lower, std::int64_t begin, std::int64_t end,
                     const Arc* arcs, const Arc* arcs_end) {
    const int* adjacency = lists.adjacency;
    for (std::int64_t position = begin + 1; position < end; ++position) {
        if (adjacency[position - 1] >= adjacency[position]) return false;
    }
    std::int64_t position = begin;
    while (position < end && adjacency[position] < lower)
        ++position;
    if (end - position != arcs_end - arcs) return false;
    for (const Arc* arc = arcs; arc != arcs_end; ++arc, ++position) {
        if (adjacency[position] != arc->higher) return false;
        if (lists.edge_weights != nullptr &&
            lists.edge_weights[position_of(lists, *arc)] != lists.edge_weights[position]) {
            return false;
        }
    }
    return true;
}

// Compares the entries towards lower with lower's own list: both in increasing order of the
// higher vertex, merged in one pass.
template <class Arc>
void compare_list(const ReadLists& lists, int lower, const Arc* arcs, const Arc* arcs_end,
                  RangeWork& work) {
    const std::int64_t begin = list_begin(lists, lower);
    const std::int64_t end = list_end(lists, lower);
    if (matches_exactly(lists, lower, begin, end, arcs, arcs_end)) return;
    work.higher_entries.clear();
    for (std::int64_t position = begin; position < end; ++position) {
        const int higher = lists.adjacency[position];
        if (higher > lower) {
            work.higher_entries.emplace_back(higher, static_cast<std::uint32_t>(position - begin));
        }
    }
    // Many files list neighbours in increasing order already.
    if (!std::is_sorted(work.higher_entries.begin(), work.higher_entries.end())) {
        std::sort(work.higher_entries.begin(), work.higher_entries.end());
    }
    const ListedEntry* listed = work.higher_entries.data();
    const ListedEntry* listed_end = listed + work.higher_entries.size();
    for (const Arc* arc = arcs; arc != arcs_end; ++arc) {
        const ListedEntry* match = listed;
        while (match != listed_end && match->first < arc->higher)
            ++match;
        if (match != listed) report_rest(lower, begin, listed, match, work);
        listed = match;
        const std::int64_t position = position_of(lists, *arc);
        if (listed == listed_end || listed->first != arc->higher) {
            add_note(work.line_notes, {position, arc->higher, lower, NoteKind::unmatched_edge});
            continue;
        }
        if (lists.edge_weights != nullptr &&
            lists.edge_weights[position] != lists.edge_weights[begin + listed->second]) {
            // The note points at both ends' entries, which hold the edge and its weights.
            add_note(work.line_notes, {position, arc->higher, static_cast<int>(listed->second),
                                       NoteKind::weights_differ});
        }
        ++listed;
    }
    report_rest(lower, begin, listed, listed_end, work);
}

template <class Arc>
void compare_range(Gathering& gathering, int range, const Arc* arcs, RangeWork& work) {
    const ReadLists& lists = gathering.lists;
    const int first = (range << range_shift) + 1;
    const int last = std::min(lists.last_vertex, first + range_size - 1);
    std::vector<Arc>& sorted = sorted_arcs<Arc>(work);
    const std::int64_t begin = gathering.range_begin[range];
    const std::int64_t end = gathering.range_begin[range + 1];
    // A counting sort by the lower vertex keeps the order of the higher ones.
    work.starts.assign(static_cast<std::size_t>(last - first) + 2, 0);
    for (std::int64_t i = begin; i < end; ++i)
        ++work.starts[arcs[i].lower_in_range() + 1];
    for (std::size_t i = 1; i < work.starts.size(); ++i)
        work.starts[i] += work.starts[i - 1];
    sorted.resize(static_cast<std::size_t>(end - begin));
    work.next.assign(work.starts.begin(), work.starts.end() - 1);
    for (std::int64_t i = begin; i < end; ++i)
        sorted[work.next[arcs[i].lower_in_range()]++] = arcs[i];
    for (int lower = first; lower <= last; ++lower) {
        const Arc* lower_arcs = sorted.data() + work.starts[lower - first];
        const Arc* lower_arcs_end = sorted.data() + work.starts[lower - first + 1];
        compare_list(lists, lower, lower_arcs, lower_arcs_end, work);
    }
}

bool by_position(const Note& a, const Note& b) {
    return a.position() < b.position();
}

// Gathers the entries of each round of ranges and compares the ranges with their lists. The
// room for the largest round is taken once: fresh pages cost the kernel's zeroing each time.
template <class Arc>
void compare_in_rounds(Gathering& gathering, int threads, std::int64_t round_entries,
                       RangeWork* works) {
    const std::int64_t budget =
        round_entries > 0 ? round_entries : gathered_bytes / static_cast<std::int64_t>(sizeof(Arc));
    std::int64_t largest = 0;
    for (int first = 0, end = 0; first < gathering.range_count; first = end) {
        std::int64_t total = 0;
        end = end_of_round(gathering, first, budget, total);
        largest = std::max(largest, total);
    }
    ArcBlock<Arc> arcs;
    arcs.allocate(static_cast<std::size_t>(largest));
    gathering.range_begin.assign(static_cast<std::size_t>(gathering.range_count) + 1, 0);
    for (int first = 0, end = 0; first < gathering.range_count && !gathering.has_failed;
         first = end) {
        std::int64_t total = 0;
        end = end_of_round(gathering, first, budget, total);
        place_counts(gathering, first, end);
        gathering.first_lower = (first << range_shift) + 1;
        gathering.end_lower = static_cast<int>(std::min<std::int64_t>(
                                  std::int64_t{end} << range_shift, gathering.lists.last_vertex)) +
                              1;
        run_tasks(gathering, threads, gathering.part_count,
                  [&](int, int part) { place_part(gathering, part, arcs.data); });
        run_tasks(gathering, threads, end - first, [&](int worker, int index) {
            compare_range(gathering, first + index, arcs.data, works[worker]);
        });
    }
}

// Gathers the entries towards lower vertices and compares each range with its lists, in rounds
// of at most round_entries entries (0: the budget's worth), the notes of each thread going to
// its work. Returns 1 when memory runs out.
int compare_all(const ReadLists& lists, int threads, std::int64_t round_entries, RangeWork* works) {
    bool has_failed = false;
    if (allocates_or_fails([&] {
            Gathering gathering(lists);
            gathering.range_count = ((lists.last_vertex - 1) >> range_shift) + 1;
            cut_parts(gathering, threads * parts_per_thread);
            gathering.counts.assign(
                static_cast<std::size_t>(gathering.part_count) * gathering.range_count, 0);
            gathering.longest.assign(static_cast<std::size_t>(gathering.part_count), 0);
            run_tasks(gathering, threads, gathering.part_count,
                      [&](int, int part) { count_part(gathering, part); });
            const std::int64_t longest =
                *std::max_element(gathering.longest.begin(), gathering.longest.end());
            if (longest <= packed_list_limit) {
                compare_in_rounds<PackedArc>(gathering, threads, round_entries, works);
            } else {
                compare_in_rounds<SpreadArc>(gathering, threads, round_entries, works);
            }
            has_failed = gathering.has_failed;
        }) != 0) {
        return 1;
    }
    return has_failed ? 1 : 0;
}

// Hands the notes of every work to notes, in one array of about their count, freeing them
// as they go once the gathered entries are gone; then orders them by position. Returns 1 when
// memory runs out.
int collect_notes(RangeWork* works, int count, NoteList RangeWork::*list,
                  std::vector<Note>& notes) {
    std::int64_t total = 0;
    for (int worker = 0; worker < count; ++worker) {
        if ((works[worker].*list).has_failed) return 1;
        total += (works[worker].*list).size;
    }
    // One more: the reader may add the note of the entry it refused past 2 * nedges.
    if (allocates_or_fails([&] { notes.reserve(static_cast<std::size_t>(total) + 1); }) != 0) {
        return 1;
    }
    for (int worker = 0; worker < count; ++worker)
        drain_notes(works[worker].*list, [&](const Note& note) { notes.push_back(note); });
    std::sort(notes.begin(), notes.end(), by_position);
    return 0;
}

}  // namespace

int check_symmetry(const ReadLists& lists, int threads, std::vector<Note>& line_notes,
                   std::vector<Note>* lower_end_notes, std::int64_t round_entries) {
    line_notes.clear();
    if (lower_end_notes != nullptr) lower_end_notes->clear();
    if (lists.last_vertex < 1 || lists.adjacency == nullptr) return 0;
    // A thread of its own pays for itself only with this many entries to gather.
    threads = static_cast<int>(std::clamp<std::int64_t>(
        list_end(lists, lists.last_vertex) / entries_per_thread + 1, 1, std::max(threads, 1)));
    const std::unique_ptr<RangeWork[]> works(new (std::nothrow) RangeWork[threads]);
    if (works == nullptr || compare_all(lists, threads, round_entries, works.get()) != 0) return 1;
    if (collect_notes(works.get(), threads, &RangeWork::line_notes, line_notes) != 0) return 2;
    if (lower_end_notes != nullptr &&
        collect_notes(works.get(), threads, &RangeWork::lower_end_notes, *lower_end_notes) != 0) {
        return 2;
    }
    return 0;
}
