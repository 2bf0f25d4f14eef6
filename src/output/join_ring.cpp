#include "output/join_ring.h"

#include <algorithm>

#include "common/allocation.h"

int join_link_count(int times) {
    if (times < 2) return 0;
    return times == 2 ? 1 : times;
}

std::int64_t replicated_edge_count(int times, std::int64_t nedges, std::int64_t join_pair_count,
                                   int nconnect) {
    return std::int64_t{times} * nedges + join_link_count(times) * join_pair_count +
           std::int64_t{2} * nconnect;
}

std::int64_t copy_partner_entries(int times, std::int64_t join_pair_count) {
    if (times < 2) return 0;
    return times == 2 ? join_pair_count : 2 * join_pair_count;
}

ListingCopies copies_listing_next(int times) {
    if (times < 2) return {};
    return {0, times == 2 ? 1 : times};
}

ListingCopies copies_listing_previous(int times) {
    if (times < 2) return {};
    return {times == 2 ? 1 : 0, times};
}

int prepare_join_ring(int times, int nvtxs, const std::vector<JoinPair>& pairs, JoinRing& ring) {
    ring.times = times;
    ring.nvtxs = nvtxs;
    const int failed = allocates_or_fails([&] {
        ring.next_partners = pairs;
        ring.previous_partners.clear();
        ring.previous_partners.reserve(pairs.size());
        for (const JoinPair& pair : pairs) {
            ring.previous_partners.push_back({pair.to, pair.from});
        }
    });
    if (failed != 0) return 1;
    std::sort(ring.next_partners.begin(), ring.next_partners.end());
    std::sort(ring.previous_partners.begin(), ring.previous_partners.end());
    return 0;
}

CopyPartners partners_of_copy(const JoinRing& ring, std::int64_t copy) {
    CopyPartners partners;
    if (ring.next_partners.empty()) return partners;
    auto lists = [copy](ListingCopies copies) { return copies.first <= copy && copy < copies.end; };
    auto group = [&ring](const std::vector<JoinPair>& table, std::int64_t partner_copy) {
        return PartnerGroup{table.data(), table.data() + table.size(),
                            copy_offset(partner_copy, ring.nvtxs)};
    };
    if (lists(copies_listing_previous(ring.times))) {
        partners.groups[partners.group_count++] =
            group(ring.previous_partners, (copy + ring.times - 1) % ring.times);
    }
    if (lists(copies_listing_next(ring.times))) {
        partners.groups[partners.group_count++] =
            group(ring.next_partners, (copy + 1) % ring.times);
    }
    // The previous copy comes first but for copy 0, whose previous copy is the last.
    if (partners.group_count == 2 && partners.groups[0].offset > partners.groups[1].offset) {
        std::swap(partners.groups[0], partners.groups[1]);
    }
    return partners;
}
