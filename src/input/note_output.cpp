#include "input/note_output.h"

#include "common/weight_text.h"
#include "input/reader_common.h"

namespace {

void print_error(const NoteContext& context, MessageSink& messages) {
    print_error_prefix(messages, context.file_name);
}

}  // namespace

void print_note(const NoteContext& context, const Note& note, MessageSink& messages) {
    const int v = note.vertex;
    const int u = note.neighbour;
    switch (note.kind) {
        case NoteKind::self_edge:
            messages.warning("WARNING: Self edge (%d, %d) being ignored.\n", v, v);
            break;
        case NoteKind::repeated_neighbour:
            messages.warning("WARNING: Multiple occurences of edge (%d,%d) ignored\n", v, u);
            break;
        case NoteKind::bad_edge_weight:
            messages.warning("WARNING: Bad weight entered for edge (%d,%d).  Edge ignored.\n", v,
                             u);
            break;
        case NoteKind::no_vertex_weight:
            print_error(context, messages);
            messages.print(" no weight for vertex %d.\n", v);
            break;
        case NoteKind::too_large_vertex_weight:
            print_error(context, messages);
            messages.print(" too large weight entered for vertex %d.\n", v);
            break;
        case NoteKind::non_positive_vertex_weight:
            print_error(context, messages);
            messages.print(" zero or negative weight entered for vertex %d.\n", v);
            break;
        case NoteKind::neighbour_above_nvtxs:
            print_error(context, messages);
            messages.print(" nvtxs=%d, but edge (%d,%d) was input.\n", context.nvtxs, v, u);
            break;
        case NoteKind::neighbour_below_one:
            print_error(context, messages);
            messages.print(" zero or negative vertex in edge (%d,%d).\n", v, u);
            break;
        case NoteKind::no_edge_weight:
            print_error(context, messages);
            messages.print(" no weight for edge (%d,%d).\n", v, u);
            break;
        case NoteKind::too_many_entries:
            print_error(context, messages);
            messages.print(" at least %lld adjacencies entered, but nedges = %d\n",
                           static_cast<long long>(note.kept_before), context.nedges);
            break;
        case NoteKind::unmatched_edge:
            print_error(context, messages);
            messages.print(" Edge (%d, %d) entered but not (%d, %d)\n", v, u, u, v);
            break;
        case NoteKind::weights_differ: {
            char weight_text[weight_text_room + 1] = {};
            char other_text[weight_text_room + 1] = {};
            form_weight_digits(note.weight, weight_text);
            form_weight_digits(note.other_weight, other_text);
            messages.warning("WARNING: Edge (%d,%d) weighs %s, but (%d,%d) weighs %s.\n", v, u,
                             weight_text, u, v, other_text);
            break;
        }
    }
}

void print_in_file_order(const NoteContext& context, const std::vector<Note>& line_notes,
                         const std::vector<Note>& symmetry_notes, MessageSink& messages) {
    auto symmetry_note = symmetry_notes.begin();
    for (const Note& note : line_notes) {
        for (;
             symmetry_note != symmetry_notes.end() && symmetry_note->kept_before < note.kept_before;
             ++symmetry_note) {
            print_note(context, *symmetry_note, messages);
        }
        print_note(context, note, messages);
    }
    for (; symmetry_note != symmetry_notes.end(); ++symmetry_note)
        print_note(context, *symmetry_note, messages);
}
