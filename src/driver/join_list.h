// Join list: turns the items of -join into the pairs of vertices that join the copies.
//
// The items stay as written until the graph is read, since only its vertex count tells which
// of them name vertices. The check refuses the first item that is not a pair of vertices of
// the graph, or that repeats an earlier pair, with the run's one-line message.
#pragma once

#include <string>
#include <vector>

#include "common/join_pair.h"
#include "common/message_sink.h"

// Fills pairs from items, in order; each item is "U:V" or "V" (short for "V:V"), U and V
// plain decimal digits naming vertices 1 to nvtxs. U:V and V:U are different pairs: they join
// different vertices. On the first item that fails it reports "Error. Invalid join ITEM:
// vertices run from 1 to NVTXS.\n" or "Error. Join U:V is given twice.\n" (the first pair
// given that repeats an earlier one) to messages and returns 1.
[[nodiscard]] int take_join_pairs(const std::vector<std::string>& items, int nvtxs,
                                  std::vector<JoinPair>& pairs, MessageSink& messages);
