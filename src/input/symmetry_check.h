// Symmetry check: whether every edge is listed at both of its ends, with the same weight, in
// time and memory traffic that do not depend on how the vertices are numbered.
//
// Looking each entry (V, U) up in U's list costs a random probe per edge when the numbering
// has little locality. Instead the entries towards a lower vertex are gathered, by ranges of
// that lower vertex small enough for the lists of a range to stay in cache, and each range is
// then compared with its lists in one sequential pass. The ranges are shared among threads.
// The result is the notes a reading in file order prints: at the line of V for an entry
// (V, U), U < V, that U's list lacks or weighs differently, and after the body for an entry
// that only its lower end lists.
#pragma once

#include <cstdint>
#include <vector>

#include "input/note_list.h"

// The lists as read: vertex v's list lies at the positions edge_offsets[v - 1] up to
// edge_offsets[v] for v < last_vertex, and up to last_end for last_vertex itself (a list the
// reading stopped in). Later vertices have no list.
struct ReadLists {
    const std::int64_t* edge_offsets = nullptr;
    const int* adjacency = nullptr;
    const float* edge_weights = nullptr;  // null without edge weights
    int last_vertex = 0;
    std::int64_t last_end = 0;
};

// Checks every entry (V, U) with U < V of lists. line_notes receives, ordered by the entry's
// position (as kept_before), an unmatched-edge note for each such entry that U's list lacks
// and a weights-differ note for each whose two weights differ (its neighbour field the
// position of U's entry for V). When lower_end_notes is not
// null it receives, in order of the lower vertex and then of its list, an unmatched-edge note
// (lower vertex first) for each entry that only the lower end lists. Returns 1 when the
// memory for the gathered entries is not there, 2 when the memory for the notes is not. The
// entries are gathered in rounds of at most round_entries (0: a budget of 1 GiB); tests make
// the rounds small.
[[nodiscard]] int check_symmetry(const ReadLists& lists, int threads, std::vector<Note>& line_notes,
                                 std::vector<Note>* lower_end_notes,
                                 std::int64_t round_entries = 0);
