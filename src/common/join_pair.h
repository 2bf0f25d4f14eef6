// Join pair: one item U:V of -join, the vertex of one copy and the vertex of the next copy
// that a link of the ring of copies joins.
//
// The driver's join list fills the pairs; the writer lays out the ring from them. Pairs order
// by U, then V: the order in which a vertex line lists its partners and in which a repeated
// pair is found.
#pragma once

#include <compare>

struct JoinPair {
    int from;  // U, an input vertex number in the first copy of a link
    int to;    // V, an input vertex number in the second copy of a link

    friend auto operator<=>(const JoinPair&, const JoinPair&) = default;
};
