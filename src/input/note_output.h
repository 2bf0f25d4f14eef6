// Note output: the notes of the parallel reader printed as the messages a reading in file
// order prints, in the same order.
#pragma once

#include <vector>

#include "common/message_sink.h"
#include "input/chunk_scan.h"

// What the messages need besides the notes.
struct NoteContext {
    const char* file_name;
    int nvtxs;
    int nedges;
};

// Prints one note as its message: an error's prefix and detail, or a warning.
void print_note(const NoteContext& context, const Note& note, MessageSink& messages);

// Prints the notes of the vertex lines and the notes of the symmetry check in file order:
// each list ordered by kept_before, a line note before the symmetry note of the entry kept
// after it (a line note whose kept_before is the entry's position comes first).
void print_in_file_order(const NoteContext& context, const std::vector<Note>& line_notes,
                         const std::vector<Note>& symmetry_notes, MessageSink& messages);
