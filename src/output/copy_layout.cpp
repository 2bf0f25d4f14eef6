#include "output/copy_layout.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "common/allocation.h"
#include "output/entry_text.h"

namespace {

// Numbers of the output stay below 2^62 (copy times nvtxs plus a vertex, all ints), so they
// have at most 19 digits: the powers of ten 10^1 to 10^18 are all that add one.
constexpr int largest_power_exponent = 18;

// The room form_weight_text needs.
constexpr int weight_text_room = 16;

int decimal_digits(std::int64_t value) {
    int digits = 1;
    for (; value >= 10; value /= 10)
        ++digits;
    return digits;
}

// The digits of c * nvtxs + u summed over the copies c below copy_end and the entries (the
// vertex numbers u) that count_up_to counts: count_up_to(x) is how many of them are at most
// x, total how many there are. Every number has one digit, and each power of ten adds one to
// the numbers at or above it: the copies wholly above it add one per entry, and one copy at
// most straddles it, adding one per entry from its vertex power - c * nvtxs on.
template <class CountUpTo>
__int128 digits_before(std::int64_t total, int nvtxs, int copy_end, const CountUpTo& count_up_to) {
    if (copy_end <= 0 || total == 0) return 0;
    __int128 sum = static_cast<__int128>(copy_end) * total;
    std::int64_t power = 1;
    for (int exponent = 1; exponent <= largest_power_exponent; ++exponent) {
        power *= 10;
        const std::int64_t straddling = (power - 1) / nvtxs;
        // The powers above straddle still later copies.
        if (straddling >= copy_end) break;
        const std::int64_t highest_below = power - 1 - straddling * nvtxs;
        sum += total - count_up_to(highest_below);
        sum += static_cast<__int128>(total) * (copy_end - 1 - straddling);
    }
    return sum;
}

// The digits of the partners whose vertex numbers are the `from`s of pairs, listed once in
// each copy below copy_end.
__int128 target_digits_before(const std::vector<JoinPair>& pairs, int nvtxs, int copy_end) {
    return digits_before(static_cast<std::int64_t>(pairs.size()), nvtxs, copy_end,
                         [&pairs](std::int64_t highest) {
                             return std::upper_bound(pairs.begin(), pairs.end(), highest,
                                                     [](std::int64_t vertex, const JoinPair& pair) {
                                                         return vertex < pair.from;
                                                     }) -
                                    pairs.begin();
                         });
}

// The same for the copies from first up to end, taken round the ring: first may be -1 (the
// last copy) and end times + 1 (copy 0 again), so both are 64-bit.
__int128 ring_target_digits(const std::vector<JoinPair>& pairs, const TextExtent& extent,
                            std::int64_t first, std::int64_t end) {
    if (first >= end) return 0;
    if (first < 0) {
        return ring_target_digits(pairs, extent, first + extent.times, extent.times) +
               ring_target_digits(pairs, extent, 0, end);
    }
    if (end > extent.times) {
        return ring_target_digits(pairs, extent, first, extent.times) +
               ring_target_digits(pairs, extent, 0, end - extent.times);
    }
    return target_digits_before(pairs, extent.nvtxs, static_cast<int>(end)) -
           target_digits_before(pairs, extent.nvtxs, static_cast<int>(first));
}

// The digits of the join partners listed by the copies below copy_end: the copies that list
// partners in their next copy name the pairs' `to`s one copy on, those that list partners in
// their previous copy the pairs' `from`s one copy back.
__int128 partner_digits_before(const TextExtent& extent, int copy_end) {
    const ListingCopies next = copies_listing_next(extent.times);
    const ListingCopies previous = copies_listing_previous(extent.times);
    const std::int64_t next_end = std::min(next.end, copy_end);
    const std::int64_t previous_end = std::min(previous.end, copy_end);
    return ring_target_digits(extent.ring.previous_partners, extent, next.first + std::int64_t{1},
                              next_end + 1) +
           ring_target_digits(extent.ring.next_partners, extent, previous.first - std::int64_t{1},
                              previous_end - 1);
}

// The text length of every edge weight, blank included, found through a table of recent
// weights: a mesh has few distinct ones, and forming a float's shortest text costs far more.
struct WeightLengths {
    static constexpr int slot_bits = 10;
    struct Slot {
        std::uint32_t bits = 0;
        std::uint32_t length = 0;  // 0: empty
    };
    std::array<Slot, 1 << slot_bits> slots{};

    std::uint32_t length(float weight) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &weight, sizeof bits);
        Slot& slot = slots[(bits * 2654435761u) >> (32 - slot_bits)];
        if (slot.length == 0 || slot.bits != bits) {
            char text[weight_text_room];
            slot.bits = bits;
            slot.length = form_weight_text(weight, text);
        }
        return slot.length;
    }
};

// Counts the neighbour entries naming each vertex into extent.entries_up_to, summed up to
// each vertex, and the bytes of a copy that do not depend on its number.
void count_entries(const VertexGraph& graph, const ReplicaExtras& extras,
                   std::int64_t partner_entries, TextExtent& extent) {
    std::int64_t* const up_to = extent.entries_up_to.data();
    WeightLengths weight_lengths;
    std::int64_t fixed = extent.nvtxs + partner_entries;
    for (int v = 1; v <= extent.nvtxs; ++v) {
        const VertexRecord& record = *graph.slots[v];
        for (int i = 1; i < record.list_length; ++i)
            ++up_to[record.neighbours[i]];
        fixed += record.list_length - 1;
        if (extras.writes_vertex_weights) fixed += decimal_digits(record.weight) + 1;
        if (extras.writes_edge_weights) {
            for (int i = 1; i < record.list_length; ++i)
                fixed += weight_lengths.length(record.edge_weights[i]);
        }
    }
    // The join edge's weight and its blank after each partner.
    if (extras.writes_edge_weights)
        fixed += (decimal_digits(join_edge_weight) + 1) * partner_entries;
    for (int u = 1; u <= extent.nvtxs; ++u)
        up_to[u] += up_to[u - 1];
    extent.fixed_copy_bytes = fixed;
}

}  // namespace

int measure_text_copies(const VertexGraph& graph, int times, int nvtxs, std::int64_t front_bytes,
                        const ReplicaExtras& extras, TextExtent& extent) {
    extent.times = times;
    extent.nvtxs = nvtxs;
    extent.front_bytes = front_bytes;
    extent.fixed_copy_bytes = 0;
    if (nvtxs < 1 || times < 1) return 0;
    if (allocates_or_fails(
            [&] { extent.entries_up_to.resize(static_cast<std::size_t>(nvtxs) + 1); }) != 0 ||
        prepare_join_ring(times, nvtxs, extras.join_pairs, extent.ring) != 0) {
        return 1;
    }
    const std::int64_t partner_entries =
        copy_partner_entries(times, static_cast<std::int64_t>(extras.join_pairs.size()));
    count_entries(graph, extras, partner_entries, extent);
    return 0;
}

std::int64_t text_copy_start(const TextExtent& extent, int copy) {
    if (extent.nvtxs < 1 || copy <= 0) return extent.front_bytes;
    const std::int64_t* const up_to = extent.entries_up_to.data();
    const __int128 entry_digits =
        digits_before(up_to[extent.nvtxs], extent.nvtxs, copy,
                      [up_to](std::int64_t highest) { return up_to[highest]; });
    const __int128 start = extent.front_bytes +
                           static_cast<__int128>(extent.fixed_copy_bytes) * copy + entry_digits +
                           partner_digits_before(extent, copy);
    if (start > std::numeric_limits<std::int64_t>::max()) return -1;
    return static_cast<std::int64_t>(start);
}
