#include "input/serial_reader.h"

#include <algorithm>
#include <cstdint>

#include "common/allocation.h"
#include "input/reader_messages.h"
#include "input/serial_index.h"

namespace {

// Entries of a line are drawn this many at a time before they are checked, so that the
// look-ups into the lists of lower neighbours are all under way before the first is needed.
constexpr int entry_batch_size = 64;

// One call's working state: the scanner, the counts and the flags of the format, and the
// index that the neighbour checks search.
struct ReadState {
    TokenScanner& scanner;
    std::FILE* file;
    const char* file_name;
    GraphArrays& arrays;
    const GraphHeader& header;
    NeighbourIndex& index;
    MessageSink& messages;
    const MessageContext context = message_context(header, file_name);
    Block<std::int64_t>& edge_offsets = arrays.edge_offsets;
    Block<int>& adjacency = arrays.adjacency;
    Block<int>& vertex_weights = arrays.vertex_weights;
    Block<float>& edge_weights = arrays.edge_weights;
    const int nvtxs = header.nvtxs;
    const std::int64_t nedges = header.nedges;
    const bool has_edge_weights = header.has_edge_weights;
    const bool has_vertex_weights = header.has_vertex_weights;
    const bool has_vertex_numbers = header.has_vertex_numbers;
    bool fills_unreached_lists = true;

    ScanStatus status = header.status;
    // Counted in 64 bits: leading lines and continuation lines have no bound.
    std::int64_t line_number = header.line_number;
    bool is_new_vertex = true;
    int current_vertex = 0;
    std::int64_t self_edge_count = 0;
    std::int64_t ignored_count = 0;
    std::int64_t repeated_count = 0;
    std::int64_t bad_weight_count = 0;
    std::int64_t trailing_lines = 0;
    // Every entry that passes the checks is written at once, so kept_count is also the
    // running total of the finished lines plus the entries kept on the current line.
    std::int64_t kept_count = 0;
    // Kept entries towards a higher vertex, and kept entries towards a lower vertex whose
    // list holds the vertex: each of the latter answers one of the former, so when the two
    // counts agree, every edge listed at its lower end is listed at its higher end too.
    std::int64_t higher_entry_count = 0;
    std::int64_t answered_entry_count = 0;
    bool has_unmatched_edge = false;
};

// Whether the input ended because its stream failed: then where it ended says nothing about
// the file, and no message may conclude anything from it.
bool is_cut_short(const ReadState& state) {
    return state.status == scan_end_of_input && std::ferror(state.file) != 0;
}

// Prints the message of a cause met here, at once.
void report_now(ReadState& state, const ReaderMessage& message) {
    report(state.context, message, state.messages);
}

// Reads the vertex number of a body line, or counts the line as the next vertex. Sets
// body_is_over at the line that follows the last vertex.
[[nodiscard]] int choose_vertex(ReadState& state, bool& body_is_over) {
    if (state.has_vertex_numbers) {
        const int number = next_int(state.scanner, state.file, state.status);
        if (state.status != scan_number) {
            if (state.current_vertex == state.nvtxs) {
                body_is_over = true;
                return 0;
            }
            if (is_cut_short(state)) return 1;
            report_now(state, {NoteKind::no_vertex_number, 0, 0, state.line_number});
            return 1;
        }
        if (number == state.current_vertex && state.current_vertex >= 1) {
            state.is_new_vertex = false;
        } else if (number == state.current_vertex + 1) {
            state.is_new_vertex = true;
            state.current_vertex = number;
        } else {
            report_now(state, {NoteKind::out_of_order_vertex_number, 0, 0, state.line_number});
            return 1;
        }
    } else {
        ++state.current_vertex;
    }
    // Nothing is stored for vertex nvtxs + 1; its line only ends the body.
    body_is_over = state.current_vertex > state.nvtxs;
    return 0;
}

[[nodiscard]] int read_vertex_weight(ReadState& state) {
    const int weight = next_int(state.scanner, state.file, state.status);
    if (state.status != scan_number) {
        if (is_cut_short(state)) return 1;
        report_now(state, {NoteKind::no_vertex_weight, state.current_vertex});
        return 1;
    }
    // Digits past 2147483647 would saturate into a different weight without a word.
    if (state.scanner.int_is_past_limit) {
        report_now(state, {NoteKind::too_large_vertex_weight, state.current_vertex});
        return 1;
    }
    if (weight < 1) {
        report_now(state, {NoteKind::non_positive_vertex_weight, state.current_vertex});
        return 1;
    }
    state.vertex_weights[state.current_vertex - 1] = weight;
    return 0;
}

// Warns when the two ends of an edge give it different weights, as stored: a partitioner
// would use one of them without a word.
void report_weight_difference(ReadState& state, int vertex, int neighbour, double weight,
                              std::int64_t answer) {
    const float stored = static_cast<float>(weight);
    const float other = state.edge_weights[answer];
    if (stored == other) return;
    report_now(state, {NoteKind::weights_differ, vertex, neighbour, 0, stored, other});
}

// Stores a neighbour that passed every check before the symmetry test and the bound.
[[nodiscard]] int keep_entry(ReadState& state, int vertex, int neighbour, double weight) {
    // A higher neighbour's list is not there yet: it answers from its own lines, or the
    // entry is reported once the last vertex line has been read.
    if (neighbour < vertex) {
        const std::int64_t answer = list_position(state.index, neighbour, vertex);
        if (answer >= 0) {
            ++state.answered_entry_count;
            if (state.has_edge_weights)
                report_weight_difference(state, vertex, neighbour, weight, answer);
        } else {
            report_now(state, {NoteKind::unmatched_edge, vertex, neighbour});
            state.has_unmatched_edge = true;
        }
    }
    // The bound comes before the write, so no write leaves the 2 * nedges + 1 entries. A
    // reading for a repair reports the first entry past it and reads on, up to what the
    // arrays can count.
    ++state.kept_count;
    if (state.kept_count > 2 * std::int64_t{state.nedges}) {
        const bool is_fatal = !state.header.repairs || state.kept_count > state.header.max_kept;
        if (is_fatal || state.kept_count == 2 * std::int64_t{state.nedges} + 1) {
            report_now(state, {NoteKind::too_many_entries, vertex, 0, state.kept_count});
        }
        if (is_fatal) return 1;
        // The index sorts long lists at their own positions.
        const int failed = allocates_or_fails([&] {
            grow_entry_arrays(state.arrays, state.header, state.kept_count);
            if (state.index.sorted_lists.size() < state.adjacency.size()) {
                state.index.sorted_lists.resize(state.adjacency.size());
            }
        });
        if (failed != 0) {
            report_no_memory(state.header, state.file_name, state.messages);
            return 1;
        }
    }
    const std::int64_t position = state.kept_count - 1;
    state.adjacency[position] = neighbour;
    if (state.has_edge_weights) state.edge_weights[position] = static_cast<float>(weight);
    if (neighbour > vertex) ++state.higher_entry_count;
    note_kept(state.index, state.kept_count, vertex, neighbour);
    return 0;
}

// A neighbour and its edge weight as drawn, before any check.
struct DrawnEntry {
    int neighbour;
    double weight;
    ScanStatus weight_status;
};

// Draws up to entry_batch_size entries of the current line and gives their count;
// state.status holds the last draw's status. An entry whose neighbour is out of range gets
// no weight and ends the batch, as does one whose weight is missing: the checks stop the
// reading at that entry, before anything after it would have been drawn.
int draw_entries(ReadState& state, DrawnEntry* entries) {
    int count = 0;
    while (count < entry_batch_size) {
        DrawnEntry& entry = entries[count];
        entry.neighbour = next_int(state.scanner, state.file, state.status);
        if (state.status != scan_number) break;
        ++count;
        entry.weight = 0.0;
        entry.weight_status = scan_number;
        if (entry.neighbour < 1 || entry.neighbour > state.nvtxs) break;
        if (state.has_edge_weights) {
            entry.weight = next_real(state.scanner, state.file, state.status);
            entry.weight_status = state.status;
            if (state.status != scan_number) break;
        }
    }
    return count;
}

// Asks for the memory that the symmetry test of each lower neighbour will read: first its
// offsets, then the start of its short list. Lower neighbours lie anywhere in the file, so
// waiting for each look-up in turn would leave the reader idle most of the time. Inlined on
// purpose: a function whose only effect is a prefetch counts as pure, and its call is dropped.
[[gnu::always_inline]] inline void prefetch_lower_lists(const ReadState& state, int vertex,
                                                        const DrawnEntry* entries, int count) {
    if (state.adjacency.empty()) return;
    const std::int64_t* offsets = state.edge_offsets.data();
    for (int i = 0; i < count; ++i) {
        const int lower = entries[i].neighbour;
        if (lower >= 1 && lower < vertex) __builtin_prefetch(offsets + lower - 1);
    }
    for (int i = 0; i < count; ++i) {
        const int lower = entries[i].neighbour;
        if (lower < 1 || lower >= vertex) continue;
        const std::int64_t start = offsets[lower - 1];
        if (offsets[lower] - start <= short_list_length) {
            __builtin_prefetch(state.adjacency.data() + start);
        }
    }
}

// Runs the neighbour checks on one drawn entry of vertex, in their order, and keeps it when
// it passes. This order of the checks is written in both readers on purpose, not by oversight:
// the parity tests and fuzz target hold them together.
[[nodiscard]] int check_entry(ReadState& state, int vertex, const DrawnEntry& entry) {
    const int neighbour = entry.neighbour;
    if (neighbour > state.nvtxs) {
        report_now(state, {NoteKind::neighbour_above_nvtxs, vertex, neighbour});
        return 1;
    }
    if (neighbour < 1) {
        report_now(state, {NoteKind::neighbour_below_one, vertex, neighbour});
        return 1;
    }
    bool is_dropped = false;
    bool is_repeated = false;
    if (neighbour == vertex) {
        if (state.self_edge_count == 0) {
            report_now(state, {NoteKind::self_edge, vertex, vertex});
        }
        ++state.self_edge_count;
        is_dropped = true;
    } else if (is_kept_already(state.index, state.kept_count, vertex, neighbour)) {
        // Only kept entries count as earlier occurrences: one dropped for a bad weight
        // does not make a later equal entry a repeat.
        report_now(state, {NoteKind::repeated_neighbour, vertex, neighbour});
        ++state.ignored_count;
        ++state.repeated_count;
        is_dropped = true;
        is_repeated = true;
    }
    // A dropped entry still owns its weight, which has been consumed with it.
    if (state.has_edge_weights) {
        if (entry.weight_status != scan_number) {
            if (is_cut_short(state)) return 1;
            report_now(state, {NoteKind::no_edge_weight, vertex, neighbour});
            return 1;
        }
        // Tested as drawn: a positive weight too small for a float still passes.
        if (!(entry.weight > 0.0)) {
            report_now(state, {NoteKind::bad_edge_weight, vertex, neighbour});
            if (!is_repeated) ++state.ignored_count;
            ++state.bad_weight_count;
            is_dropped = true;
        }
    }
    if (is_dropped) return 0;
    return keep_entry(state, vertex, neighbour, entry.weight);
}

// Reads the neighbour entries of one line of the current vertex up to the end of the line.
// The entries are drawn a batch at a time and then checked one by one in their order, so
// every message comes out exactly where reading them one at a time would print it.
[[nodiscard]] int read_neighbours(ReadState& state) {
    const int vertex = state.current_vertex;
    DrawnEntry entries[entry_batch_size];
    for (;;) {
        const int count = draw_entries(state, entries);
        prefetch_lower_lists(state, vertex, entries, count);
        for (int i = 0; i < count; ++i) {
            if (check_entry(state, vertex, entries[i]) != 0) return 1;
        }
        if (state.status != scan_number) return 0;
    }
}

// Reads vertex lines until the last vertex is done or the file ends.
[[nodiscard]] int read_body(ReadState& state) {
    while (state.status != scan_end_of_input) {
        ++state.line_number;
        bool body_is_over = false;
        if (choose_vertex(state, body_is_over) != 0) return 1;
        if (body_is_over) return 0;
        if (state.is_new_vertex) {
            begin_list(state.index, state.current_vertex, state.kept_count);
            if (state.has_vertex_weights && read_vertex_weight(state) != 0) return 1;
        }
        if (read_neighbours(state) != 0) return 1;
        // A continuation line overwrites the entry with the larger total.
        state.edge_offsets[state.current_vertex] = state.kept_count;
    }
    return 0;
}

// Looks for any number after the end of the body, starting where the body stopped; a reading
// for a repair counts every line that holds one, the others stop at the first.
void check_trailing_data(ReadState& state) {
    if (state.status == scan_end_of_input) return;
    bool line_has_number = false;
    for (;;) {
        (void)next_int(state.scanner, state.file, state.status);
        if (state.status == scan_end_of_input) break;
        if (state.status == scan_end_of_line) {
            line_has_number = false;
        } else if (!line_has_number) {
            line_has_number = true;
            ++state.trailing_lines;
            if (!state.header.repairs) break;
        }
    }
    if (state.trailing_lines > 0) report_now(state, {NoteKind::trailing_data});
}

// Reports every entry that only the lower end of its edge lists: when it was read, the higher
// vertex had no list to look into yet. The counts tell at once whether there is any; only
// then are the lists searched again, each higher vertex's list by the lower vertices in
// increasing order, so the whole pass stays linear in the entries.
void report_unanswered_entries(ReadState& state) {
    if (state.higher_entry_count == state.answered_entry_count) return;
    const int last_vertex = std::min(state.current_vertex, state.nvtxs);
    // The last vertex's list was still growing until now; every list before it is sorted.
    sort_long_list(state.index, last_vertex);
    restart_searches(state.index, last_vertex);
    for (int vertex = 1; vertex <= last_vertex; ++vertex) {
        for (std::int64_t position = state.edge_offsets[vertex - 1];
             position < state.edge_offsets[vertex]; ++position) {
            const int higher = state.adjacency[position];
            // A vertex that no line reached lists nothing, whether or not its offsets were
            // written.
            // After a failed read, a higher end from the vertex whose line was being read on
            // was never read whole.
            if (is_cut_short(state) && higher >= state.current_vertex) continue;
            if (higher > vertex &&
                (higher > last_vertex || list_position(state.index, higher, vertex) < 0)) {
                report_now(state, {NoteKind::unmatched_edge, vertex, higher});
                state.has_unmatched_edge = true;
            }
        }
    }
}

void finish(ReadState& state, ReadFindings* findings) {
    BodyCounts counts{state.self_edge_count, state.ignored_count, state.kept_count,
                      state.current_vertex, is_cut_short(state)};
    end_unreached_lists(state.arrays, counts, state.fills_unreached_lists);
    report_unanswered_entries(state);
    check_trailing_data(state);
    finish_graph(state.header, counts, state.file_name, state.messages, state.arrays);
    counts.repeated_count = state.repeated_count;
    counts.bad_weight_count = state.bad_weight_count;
    counts.trailing_lines = state.trailing_lines;
    note_findings(state.header, counts, findings);
}

// Sizes the index once from the header. Gives 1 when the memory is not there.
[[nodiscard]] int allocate_index(ReadState& state) {
    if (!file_has_body(state.header)) return 0;
    return allocates_or_fails([&] { size_index(state.index, state.nvtxs, state.nedges); });
}

}  // namespace

int read_body_serially(TokenScanner& scanner, std::FILE* file, const char* file_name,
                       MessageSink& messages, const GraphHeader& header, GraphArrays& arrays,
                       bool fills_unreached_lists, ReadFindings* findings) {
    if (allocate_graph_arrays(header, file_name, messages, arrays) != 0) return 1;
    // The index is freed on return: the next stage needs its room for its own copy.
    NeighbourIndex index{arrays.edge_offsets, arrays.adjacency};
    ReadState state{scanner, file, file_name, arrays, header, index, messages};
    state.fills_unreached_lists = fills_unreached_lists;
    if (allocate_index(state) != 0) {
        report_no_memory(header, file_name, messages);
        return 1;
    }
    if (file_has_body(header) && read_body(state) != 0) return 1;
    finish(state, findings);
    // An edge listed at one end only is mended by a repair.
    return state.has_unmatched_edge && !header.repairs ? 1 : 0;
}
