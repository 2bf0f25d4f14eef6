// Repeat search: how both readers look for a neighbour listed twice in one line.
//
// A list up to short_list_length entries is searched entry by entry: it spans a few cache
// lines, which beats a look-up in a block that lands anywhere in memory. A longer list is
// searched through a set of its own (stamps in the serial reader, a sorted copy in a chunk),
// so that no entry costs more than log(degree). Both readers switch at the same length.
#pragma once

constexpr int short_list_length = 32;
