// Note output: the notes of the parallel reader printed as the messages a reading in file
// order prints, in the same order.
#pragma once

#include <cstdint>
#include <vector>

#include "common/message_sink.h"
#include "input/note_list.h"
#include "input/reader_messages.h"

// What the notes need besides their own numbers: the texts' context, and the arrays that a
// note of differing weights reads its edge and weights from.
struct NoteContext {
    MessageContext text;
    const std::int64_t* edge_offsets = nullptr;
    const int* adjacency = nullptr;
    const float* edge_weights = nullptr;
    // Position 2 * nedges is never written: the entry refused there is kept here instead.
    std::int64_t entry_limit = 0;
    int excess_neighbour = 0;
    float excess_weight = 0.0f;
};

// Prints one note as its message: an error's prefix and detail, or a warning.
void print_note(const NoteContext& context, const Note& note, MessageSink& messages);

// Prints the notes of the vertex lines and the notes of the symmetry check in file order:
// each list ordered by kept_before, a line note before the symmetry note of the entry kept
// after it (a line note whose kept_before is the entry's position comes first).
void print_in_file_order(const NoteContext& context, const NoteList& line_notes,
                         const std::vector<Note>& symmetry_notes, MessageSink& messages);

// Whether notes hold an edge listed at its higher end only.
bool has_unmatched_edge(const std::vector<Note>& notes);
