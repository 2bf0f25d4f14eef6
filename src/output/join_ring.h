// Join ring: how the copies are numbered and which vertices of neighbouring copies a vertex
// line lists as its join partners. Every writer and every count of the output takes the ring
// from here.
//
// Vertex v of copy j becomes j * nvtxs + v. Join pairs link the copies in a ring: copy j to
// copy j + 1 and the last back to copy 0; two copies have one link, one copy none. Each pair
// U:V gives every link (a, b) the edge between vertex U of copy a and vertex V of copy b. A
// vertex line lists its partners after its own neighbours, in increasing order, and a join
// edge weighs 1. Every copy number and vertex number is formed in 64 bits: a -wide output
// reaches 2^62.
#pragma once

#include <cstdint>
#include <vector>

#include "common/join_pair.h"

// The weight of every join edge, in the text and the binary layout alike.
constexpr int join_edge_weight = 1;

// The number of links in the ring of copies: 0 for one copy, 1 for two, times from three on.
int join_link_count(int times);

// The header's edge count: times * nedges + links * join pairs + 2 * nconnect, in 64 bits.
std::int64_t replicated_edge_count(int times, std::int64_t nedges, std::int64_t join_pair_count,
                                   int nconnect);

// The join entries each copy lists: twice the pairs from three copies on (partners in the
// copies either side), the pairs once with two copies, none with one.
std::int64_t copy_partner_entries(int times, std::int64_t join_pair_count);

// What copy's vertex numbers add to the input's: copy * nvtxs.
inline std::int64_t copy_offset(std::int64_t copy, int nvtxs) {
    return copy * nvtxs;
}

// The copies first up to end (excluded) that list partners in one direction: in their next
// copy, or in their previous one. From three copies on every copy lists both; of two copies,
// copy 0 lists its next and copy 1 its previous; one copy lists none.
struct ListingCopies {
    int first = 0;
    int end = 0;
};
ListingCopies copies_listing_next(int times);
ListingCopies copies_listing_previous(int times);

// The join pairs both ways round, sorted, for a run of times copies of nvtxs vertices.
struct JoinRing {
    int times = 0;
    int nvtxs = 0;
    // next_partners as given: the partners of `from` in the next copy of a link;
    // previous_partners turned round: the partners of the pair's `to` in the previous copy.
    std::vector<JoinPair> next_partners;
    std::vector<JoinPair> previous_partners;
};

// Fills ring from the pairs (no pair twice). Returns 1 when the memory is not there.
[[nodiscard]] int prepare_join_ring(int times, int nvtxs, const std::vector<JoinPair>& pairs,
                                    JoinRing& ring);

// The join partners of one copy's vertices in one neighbouring copy: the pairs from next up
// to end, each pair's `to` plus offset being a partner of its `from`.
struct PartnerGroup {
    const JoinPair* next = nullptr;  // the first pair not yet listed
    const JoinPair* end = nullptr;
    std::int64_t offset = 0;  // the partner copy's offset
};

// A copy's partner groups in the order of their copies' numbers, so that a line lists its
// partners in increasing order: none for one copy or no pairs, one for two copies, else two.
struct CopyPartners {
    int group_count = 0;
    PartnerGroup groups[2];
};

CopyPartners partners_of_copy(const JoinRing& ring, std::int64_t copy);

// Takes the partners of vertex from group, whose lines before vertex are listed: returns the
// first of them and moves group.next past the last, so that group.next - first counts them.
inline const JoinPair* take_partners(PartnerGroup& group, int vertex) {
    const JoinPair* const first = group.next;
    while (group.next != group.end && group.next->from == vertex)
        ++group.next;
    return first;
}
