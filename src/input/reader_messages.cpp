#include "input/reader_messages.h"

#include "common/weight_text.h"

namespace {

void print_error_prefix(const MessageContext& context, MessageSink& messages) {
    messages.error_naming("ERROR in graph file `", context.file_name, "':");
}

void report_weights_differ(const ReaderMessage& message, MessageSink& messages) {
    char weight_text[weight_text_room + 1] = {};
    char other_text[weight_text_room + 1] = {};
    form_weight_digits(message.weight, weight_text);
    form_weight_digits(message.other_weight, other_text);
    const int v = message.vertex;
    const int u = message.neighbour;
    messages.warning("WARNING: Edge (%d,%d) weighs %s, but (%d,%d) weighs %s.\n", v, u, weight_text,
                     u, v, other_text);
}

// The warnings; false for a kind that is an error.
bool report_warning(const MessageContext& context, const ReaderMessage& message,
                    MessageSink& messages) {
    const int v = message.vertex;
    const int u = message.neighbour;
    const long long count = message.count;
    switch (message.kind) {
        case NoteKind::self_edge:
            messages.warning("WARNING: Self edge (%d, %d) being ignored.\n", v, v);
            return true;
        case NoteKind::repeated_neighbour:
            messages.warning("WARNING: Multiple occurences of edge (%d,%d) ignored\n", v, u);
            return true;
        case NoteKind::bad_edge_weight:
            messages.warning("WARNING: Bad weight entered for edge (%d,%d).  Edge ignored.\n", v,
                             u);
            return true;
        case NoteKind::weights_differ:
            report_weights_differ(message, messages);
            return true;
        case NoteKind::trailing_data:
            messages.warning_naming("WARNING: Possible error in graph file `", context.file_name,
                                    "'\n");
            messages.print("         Data found after expected end of file\n");
            return true;
        case NoteKind::self_edge_summary:
            messages.warning("WARNING: %lld self edges were read and ignored.\n", count);
            return true;
        case NoteKind::count_mismatch:
            messages.warning(
                "WARNING: I expected %lld edges entered twice, but I only count %lld.\n",
                static_cast<long long>(context.nedges), count);
            return true;
        default:
            return false;
    }
}

// The detail line of an error, after its prefix.
void print_error_detail(const MessageContext& context, const ReaderMessage& message,
                        MessageSink& messages) {
    const int v = message.vertex;
    const int u = message.neighbour;
    const long long count = message.count;
    switch (message.kind) {
        case NoteKind::invalid_vertex_count:
            messages.print(" Invalid number of vertices (%lld).\n", count);
            break;
        case NoteKind::invalid_edge_count:
            messages.print(" Invalid number of expected edges (%lld).\n", count);
            break;
        case NoteKind::no_memory_for_arrays:
            messages.print(" not enough memory for %d vertices and %lld edges.\n", context.nvtxs,
                           static_cast<long long>(context.nedges));
            break;
        case NoteKind::no_memory_for_messages:
            messages.print(" not enough memory to hold the file's messages.\n");
            break;
        case NoteKind::no_vertex_number:
            messages.print(" no vertex number in line %lld.\n", count);
            break;
        case NoteKind::out_of_order_vertex_number:
            messages.print(" out-of-order vertex number in line %lld.\n", count);
            break;
        case NoteKind::no_vertex_weight:
            messages.print(" no weight for vertex %d.\n", v);
            break;
        case NoteKind::too_large_vertex_weight:
            messages.print(" too large weight entered for vertex %d.\n", v);
            break;
        case NoteKind::non_positive_vertex_weight:
            messages.print(" zero or negative weight entered for vertex %d.\n", v);
            break;
        case NoteKind::neighbour_above_nvtxs:
            messages.print(" nvtxs=%d, but edge (%d,%d) was input.\n", context.nvtxs, v, u);
            break;
        case NoteKind::neighbour_below_one:
            messages.print(" zero or negative vertex in edge (%d,%d).\n", v, u);
            break;
        case NoteKind::no_edge_weight:
            messages.print(" no weight for edge (%d,%d).\n", v, u);
            break;
        case NoteKind::too_many_entries:
            messages.print(" at least %lld adjacencies entered, but nedges = %lld\n", count,
                           static_cast<long long>(context.nedges));
            break;
        case NoteKind::unmatched_edge:
            messages.print(" Edge (%d, %d) entered but not (%d, %d)\n", v, u, u, v);
            break;
        default:
            break;
    }
}

}  // namespace

void report(const MessageContext& context, const ReaderMessage& message, MessageSink& messages) {
    if (report_warning(context, message, messages)) return;
    print_error_prefix(context, messages);
    print_error_detail(context, message, messages);
}

void report_error_prefix(const MessageContext& context, MessageSink& messages) {
    print_error_prefix(context, messages);
}
