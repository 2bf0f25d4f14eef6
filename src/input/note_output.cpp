#include "input/note_output.h"

#include <algorithm>

namespace {

// The message a note stands for, its edge and weights read back where the note points.
ReaderMessage resolve(const NoteContext& context, const Note& note) {
    ReaderMessage message{note.kind, note.vertex, note.neighbour, note.position()};
    if (note.kind == NoteKind::weights_differ) {
        const std::int64_t position = note.position();
        const bool is_excess = position >= context.entry_limit;
        message.neighbour = is_excess ? context.excess_neighbour : context.adjacency[position];
        message.weight = is_excess ? context.excess_weight : context.edge_weights[position];
        message.other_weight =
            context.edge_weights[context.edge_offsets[message.neighbour - 1] + note.neighbour];
    }
    return message;
}

}  // namespace

void print_note(const NoteContext& context, const Note& note, MessageSink& messages) {
    report(context.text, resolve(context, note), messages);
}

void print_in_file_order(const NoteContext& context, const NoteList& line_notes,
                         const std::vector<Note>& symmetry_notes, MessageSink& messages) {
    auto symmetry_note = symmetry_notes.begin();
    for_each_note(line_notes, [&](const Note& note) {
        for (; symmetry_note != symmetry_notes.end() && symmetry_note->position() < note.position();
             ++symmetry_note) {
            print_note(context, *symmetry_note, messages);
        }
        print_note(context, note, messages);
    });
    for (; symmetry_note != symmetry_notes.end(); ++symmetry_note)
        print_note(context, *symmetry_note, messages);
}

bool has_unmatched_edge(const std::vector<Note>& notes) {
    return std::any_of(notes.begin(), notes.end(),
                       [](const Note& note) { return note.kind == NoteKind::unmatched_edge; });
}
