#include "input/graph_reader.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <stdexcept>

#include "common/weight_text.h"
#include "input/token_scanner.h"

namespace {

// edge_offsets holds nvtxs + 1 entries, and that count has to stay a signed 32-bit value.
constexpr int max_nvtxs = 2147483646;
// adjacency holds 2 * nedges + 1 entries, and kept_count may run one past 2 * nedges before
// the entry is refused: both have to stay signed 32-bit values.
constexpr int max_nedges = 1073741823;
// A list up to this long is searched entry by entry: it spans a few cache lines, which beats
// a look-up in a block that lands anywhere in memory. A longer list is searched through
// stamps while it grows, and once it is complete through a sorted copy that each later
// search walks forward from where the last one ended, so no entry costs more than
// log(degree) and a whole list costs time linear in its length.
constexpr int short_list_length = 32;
// Entries of a line are drawn this many at a time before they are checked, so that the
// look-ups into the lists of lower neighbours are all under way before the first is needed.
constexpr int entry_batch_size = 64;

// The neighbour-search index over the lists being read: it answers whether the current
// vertex already keeps a neighbour, and whether a complete list holds a vertex, in time
// linear in the lists however long they grow.
struct NeighbourIndex {
    const Block<int>& edge_offsets;
    const Block<int>& adjacency;
    // Where the list of the current vertex starts in adjacency.
    int list_start = 0;
    // The current vertex's list has grown long, and kept_for holds every entry of it.
    bool list_is_stamped = false;
    // kept_for[u] == v: u is already kept for vertex v, whose list is long.
    Block<int> kept_for{};
    // The positions of the complete long lists, each sorted by the neighbour there and kept
    // at the same positions as the list in adjacency. A graph without long lists never
    // touches the block, so it costs address space but no memory.
    Block<int> sorted_lists{};
    // search_cursors[u]: where in u's sorted long list the last search for a vertex ended.
    Block<int> search_cursors{};
};

// One call's working state: the scanner, the counts and the flags of the format, and the
// index that the neighbour checks search.
struct ReadState {
    TokenScanner& scanner;
    std::FILE* file;
    const char* file_name;
    Block<int>& edge_offsets;
    Block<int>& adjacency;
    int& nvtxs;
    Block<int>& vertex_weights;
    Block<float>& edge_weights;
    NeighbourIndex& index;
    MessageSink& messages;

    ScanStatus status = scan_number;
    // Counted in 64 bits: leading lines and continuation lines have no bound.
    std::int64_t line_number = 0;
    int nedges = 0;
    bool has_edge_weights = false;
    bool has_vertex_weights = false;
    bool has_vertex_numbers = false;
    bool is_new_vertex = true;
    int current_vertex = 0;
    std::int64_t self_edge_count = 0;
    std::int64_t ignored_count = 0;
    // Every entry that passes the checks is written at once, so kept_count is also the
    // running total of the finished lines plus the entries kept on the current line.
    int kept_count = 0;
    // Kept entries towards a higher vertex, and kept entries towards a lower vertex whose
    // list holds the vertex: each of the latter answers one of the former, so when the two
    // counts agree, every edge listed at its lower end is listed at its higher end too.
    std::int64_t higher_entry_count = 0;
    std::int64_t answered_entry_count = 0;
    bool has_unmatched_edge = false;
};

// Counts one error of the graph file and prints its prefix; the detail line follows.
void print_error_prefix(ReadState& state) {
    state.messages.error("ERROR in graph file `%s':", state.file_name);
}

// Finds the header line, checks its counts and takes the flags from the format code.
[[nodiscard]] int read_header(ReadState& state) {
    // Lines that hold no number are skipped, but they count in the line numbers.
    state.line_number = 0;
    do {
        state.nvtxs = next_int(state.scanner, state.file, state.status);
        ++state.line_number;
    } while (state.status == scan_end_of_line);
    if (state.nvtxs < 1 || state.nvtxs > max_nvtxs) {
        print_error_prefix(state);
        state.messages.print(" Invalid number of vertices (%d).\n", state.nvtxs);
        return 1;
    }

    // A header line without a second number gives 0 with the end-of-line status.
    state.nedges = next_int(state.scanner, state.file, state.status);
    if (state.nedges < 0 || state.nedges > max_nedges) {
        print_error_prefix(state);
        state.messages.print(" Invalid number of expected edges (%d).\n", state.nedges);
        return 1;
    }

    int format_code = 0;
    if (state.status == scan_number) {
        (void)next_int(state.scanner, state.file, state.status);
        // The digits that switch the format on are those of the code as written, however
        // many there are: a code past 2147483647 must not saturate into one with all three.
        if (state.status == scan_number) format_code = state.scanner.int_low_digits;
        // Numbers after the format code are read and ignored.
        while (state.status == scan_number) {
            (void)next_int(state.scanner, state.file, state.status);
        }
    }
    // The sign and the digits from the thousands up are ignored.
    state.has_edge_weights = format_code % 10 != 0;
    state.has_vertex_weights = (format_code / 10) % 10 != 0;
    state.has_vertex_numbers = (format_code / 100) % 10 != 0;
    return 0;
}

// Without edges, vertex weights or vertex numbers there is nothing a vertex line could add,
// and no vertex line is read.
bool file_has_body(const ReadState& state) {
    return state.nedges > 0 || state.has_vertex_weights || state.has_vertex_numbers;
}

// Sizes every block once from the header. Gives 1 when the memory is not there.
[[nodiscard]] int allocate_blocks(ReadState& state) {
    const std::int64_t offset_count = std::int64_t{state.nvtxs} + 1;
    const std::int64_t entry_count = 2 * std::int64_t{state.nedges} + 1;
    try {
        state.edge_offsets.resize(static_cast<std::size_t>(offset_count));
        if (state.nedges > 0) state.adjacency.resize(static_cast<std::size_t>(entry_count));
        if (state.has_vertex_weights) {
            state.vertex_weights.resize(static_cast<std::size_t>(state.nvtxs));
        }
        if (state.has_edge_weights && state.nedges > 0) {
            state.edge_weights.resize(static_cast<std::size_t>(entry_count));
        }
        if (file_has_body(state)) {
            // Vertex numbers start at 1, so the stamp 0 matches no vertex.
            state.index.kept_for.resize(static_cast<std::size_t>(offset_count));
            // Only the 2 * nedges entries that can be kept are ever copied.
            state.index.sorted_lists.resize(static_cast<std::size_t>(entry_count - 1));
            state.index.search_cursors.resize(static_cast<std::size_t>(offset_count));
        }
    } catch (const std::bad_alloc&) {
        return 1;
    } catch (const std::length_error&) {
        return 1;
    }
    state.edge_offsets[0] = 0;
    return 0;
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
            print_error_prefix(state);
            state.messages.print(" no vertex number in line %lld.\n",
                                 static_cast<long long>(state.line_number));
            return 1;
        }
        if (number == state.current_vertex && state.current_vertex >= 1) {
            state.is_new_vertex = false;
        } else if (number == state.current_vertex + 1) {
            state.is_new_vertex = true;
            state.current_vertex = number;
        } else {
            print_error_prefix(state);
            state.messages.print(" out-of-order vertex number in line %lld.\n",
                                 static_cast<long long>(state.line_number));
            return 1;
        }
    } else {
        ++state.current_vertex;
    }
    // Nothing is stored for vertex nvtxs + 1; its line only ends the body.
    body_is_over = state.current_vertex > state.nvtxs;
    return 0;
}

// Copies and sorts a completed long list, so that later vertices find themselves in it by
// halving.
void sort_long_list(NeighbourIndex& index, int vertex) {
    const int start = index.edge_offsets[vertex - 1];
    const int end = index.edge_offsets[vertex];
    if (end - start <= short_list_length) return;
    int* sorted = index.sorted_lists.data();
    for (int position = start; position < end; ++position)
        sorted[position] = position;
    const int* adjacency = index.adjacency.data();
    auto by_neighbour = [adjacency](int a, int b) { return adjacency[a] < adjacency[b]; };
    // Many files list neighbours in increasing order already.
    if (!std::is_sorted(sorted + start, sorted + end, by_neighbour)) {
        std::sort(sorted + start, sorted + end, by_neighbour);
    }
}

// A new vertex's list starts at list_start; the list before it is complete now, and every
// list before that one already is.
void begin_list(NeighbourIndex& index, int vertex, int list_start) {
    if (vertex > 1) sort_long_list(index, vertex - 1);
    index.list_start = list_start;
    index.list_is_stamped = false;
}

// Whether neighbour is already kept for the current vertex, on this line or an earlier one;
// the list ends before kept_count.
bool is_kept_already(const NeighbourIndex& index, int kept_count, int vertex, int neighbour) {
    if (index.list_is_stamped) return index.kept_for[neighbour] == vertex;
    for (int position = index.list_start; position < kept_count; ++position) {
        if (index.adjacency[position] == neighbour) return true;
    }
    return false;
}

// The position of vertex in the sorted long list of owner, at positions start to end - 1,
// or -1. The vertices that look into one list come in increasing order, so each search
// starts where the one before it ended and gallops forward: all the searches in a list of
// length d cost O(d) together, however many vertices look into it, instead of log(d) each.
int long_list_position(NeighbourIndex& index, int owner, int vertex, int start, int end) {
    const int* sorted = index.sorted_lists.data() + start;
    const int* adjacency = index.adjacency.data();
    const std::int64_t length = end - start;
    std::int64_t first = index.search_cursors[owner];
    if (first < length && adjacency[sorted[first]] < vertex) {
        // adjacency[sorted[below]] < vertex throughout; the step doubles until it passes it.
        std::int64_t below = first;
        std::int64_t step = 1;
        while (below + step < length && adjacency[sorted[below + step]] < vertex) {
            below += step;
            step *= 2;
        }
        const std::int64_t upper = std::min(below + step, length);
        first = std::lower_bound(
                    sorted + below + 1, sorted + upper, vertex,
                    [adjacency](int position, int value) { return adjacency[position] < value; }) -
                sorted;
    }
    index.search_cursors[owner] = static_cast<int>(first);
    return first < length && adjacency[sorted[first]] == vertex ? sorted[first] : -1;
}

// The position of vertex in the complete list of owner, or -1. Between two restarts, the
// vertices that look into one long list must come in increasing order.
int list_position(NeighbourIndex& index, int owner, int vertex) {
    const int start = index.edge_offsets[owner - 1];
    const int end = index.edge_offsets[owner];
    if (end - start > short_list_length) {
        return long_list_position(index, owner, vertex, start, end);
    }
    for (int position = start; position < end; ++position) {
        if (index.adjacency[position] == vertex) return position;
    }
    return -1;
}

// Lets the long lists of vertices 1 to last_vertex be searched again from their start; no
// other list has been searched, and the entries of the others are left untouched.
void restart_searches(NeighbourIndex& index, int last_vertex) {
    std::fill(index.search_cursors.begin(), index.search_cursors.begin() + last_vertex + 1, 0);
}

// Once the current list grows long, every later entry is stamped as it is kept; kept_count
// counts the entry just kept.
void note_kept(NeighbourIndex& index, int kept_count, int vertex, int neighbour) {
    if (index.list_is_stamped) {
        index.kept_for[neighbour] = vertex;
    } else if (kept_count - index.list_start > short_list_length) {
        for (int position = index.list_start; position < kept_count; ++position) {
            index.kept_for[index.adjacency[position]] = vertex;
        }
        index.list_is_stamped = true;
    }
}

[[nodiscard]] int read_vertex_weight(ReadState& state) {
    const int weight = next_int(state.scanner, state.file, state.status);
    if (state.status != scan_number) {
        print_error_prefix(state);
        state.messages.print(" no weight for vertex %d.\n", state.current_vertex);
        return 1;
    }
    // Digits past 2147483647 would saturate into a different weight without a word.
    if (state.scanner.int_is_past_limit) {
        print_error_prefix(state);
        state.messages.print(" too large weight entered for vertex %d.\n", state.current_vertex);
        return 1;
    }
    if (weight < 1) {
        print_error_prefix(state);
        state.messages.print(" zero or negative weight entered for vertex %d.\n",
                             state.current_vertex);
        return 1;
    }
    state.vertex_weights[state.current_vertex - 1] = weight;
    return 0;
}

// Warns when the two ends of an edge give it different weights, as stored: a partitioner
// would use one of them without a word.
void report_weight_difference(ReadState& state, int vertex, int neighbour, double weight,
                              int answer) {
    const float stored = static_cast<float>(weight);
    const float other = state.edge_weights[answer];
    if (stored == other) return;
    char stored_text[weight_text_room + 1] = {};
    char other_text[weight_text_room + 1] = {};
    form_weight_digits(stored, stored_text);
    form_weight_digits(other, other_text);
    state.messages.warning("WARNING: Edge (%d,%d) weighs %s, but (%d,%d) weighs %s.\n", vertex,
                           neighbour, stored_text, neighbour, vertex, other_text);
}

// Stores a neighbour that passed every check before the symmetry test and the bound.
[[nodiscard]] int keep_entry(ReadState& state, int vertex, int neighbour, double weight) {
    // A higher neighbour's list is not there yet: it answers from its own lines, or the
    // entry is reported once the last vertex line has been read.
    if (neighbour < vertex) {
        const int answer = list_position(state.index, neighbour, vertex);
        if (answer >= 0) {
            ++state.answered_entry_count;
            if (state.has_edge_weights)
                report_weight_difference(state, vertex, neighbour, weight, answer);
        } else {
            print_error_prefix(state);
            state.messages.print(" Edge (%d, %d) entered but not (%d, %d)\n", vertex, neighbour,
                                 neighbour, vertex);
            state.has_unmatched_edge = true;
        }
    }
    // The bound comes before the write, so no write leaves the 2 * nedges + 1 entries.
    ++state.kept_count;
    if (state.kept_count > 2 * std::int64_t{state.nedges}) {
        print_error_prefix(state);
        state.messages.print(" at least %d adjacencies entered, but nedges = %d\n",
                             state.kept_count, state.nedges);
        return 1;
    }
    const int position = state.kept_count - 1;
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
    const int* offsets = state.edge_offsets.data();
    for (int i = 0; i < count; ++i) {
        const int lower = entries[i].neighbour;
        if (lower >= 1 && lower < vertex) __builtin_prefetch(offsets + lower - 1);
    }
    for (int i = 0; i < count; ++i) {
        const int lower = entries[i].neighbour;
        if (lower < 1 || lower >= vertex) continue;
        const int start = offsets[lower - 1];
        if (offsets[lower] - start <= short_list_length) {
            __builtin_prefetch(state.adjacency.data() + start);
        }
    }
}

// Runs the neighbour checks on one drawn entry of vertex, in their order, and keeps it when
// it passes.
[[nodiscard]] int check_entry(ReadState& state, int vertex, const DrawnEntry& entry) {
    const int neighbour = entry.neighbour;
    if (neighbour > state.nvtxs) {
        print_error_prefix(state);
        state.messages.print(" nvtxs=%d, but edge (%d,%d) was input.\n", state.nvtxs, vertex,
                             neighbour);
        return 1;
    }
    if (neighbour < 1) {
        print_error_prefix(state);
        state.messages.print(" zero or negative vertex in edge (%d,%d).\n", vertex, neighbour);
        return 1;
    }
    bool is_dropped = false;
    bool is_repeated = false;
    if (neighbour == vertex) {
        if (state.self_edge_count == 0) {
            state.messages.warning("WARNING: Self edge (%d, %d) being ignored.\n", vertex, vertex);
        }
        ++state.self_edge_count;
        is_dropped = true;
    } else if (is_kept_already(state.index, state.kept_count, vertex, neighbour)) {
        // Only kept entries count as earlier occurrences: one dropped for a bad weight
        // does not make a later equal entry a repeat.
        state.messages.warning("WARNING: Multiple occurences of edge (%d,%d) ignored\n", vertex,
                               neighbour);
        ++state.ignored_count;
        is_dropped = true;
        is_repeated = true;
    }
    // A dropped entry still owns its weight, which has been consumed with it.
    if (state.has_edge_weights) {
        if (entry.weight_status != scan_number) {
            print_error_prefix(state);
            state.messages.print(" no weight for edge (%d,%d).\n", vertex, neighbour);
            return 1;
        }
        // Tested as drawn: a positive weight too small for a float still passes.
        if (!(entry.weight > 0.0)) {
            state.messages.warning("WARNING: Bad weight entered for edge (%d,%d).  Edge ignored.\n",
                                   vertex, neighbour);
            if (!is_repeated) ++state.ignored_count;
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

// Looks for any number after the end of the body, starting where the body stopped.
void check_trailing_data(ReadState& state) {
    if (state.status == scan_end_of_input) return;
    do {
        (void)next_int(state.scanner, state.file, state.status);
    } while (state.status == scan_end_of_line);
    if (state.status == scan_number) {
        state.messages.warning("WARNING: Possible error in graph file `%s'\n", state.file_name);
        state.messages.print("         Data found after expected end of file\n");
    }
}

// 2 * nedges may match the kept entries with or without the self edges (once or twice) and
// with or without the ignored entries.
bool counts_agree(const ReadState& state) {
    const std::int64_t listed_entries = 2 * std::int64_t{state.nedges};
    for (std::int64_t self_edge_share = 0; self_edge_share <= 2; ++self_edge_share) {
        for (std::int64_t ignored_share = 0; ignored_share <= 1; ++ignored_share) {
            if (state.kept_count + self_edge_share * state.self_edge_count +
                    ignored_share * state.ignored_count ==
                listed_entries) {
                return true;
            }
        }
    }
    return false;
}

// Vertices the file never reached have no neighbours.
void end_unreached_lists(ReadState& state) {
    for (std::int64_t vertex = std::int64_t{state.current_vertex} + 1; vertex < state.nvtxs;
         ++vertex) {
        state.edge_offsets[static_cast<std::size_t>(vertex)] = state.kept_count;
    }
    state.edge_offsets[state.nvtxs] = state.kept_count;
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
        for (int position = state.edge_offsets[vertex - 1]; position < state.edge_offsets[vertex];
             ++position) {
            const int higher = state.adjacency[position];
            if (higher > vertex && list_position(state.index, higher, vertex) < 0) {
                print_error_prefix(state);
                state.messages.print(" Edge (%d, %d) entered but not (%d, %d)\n", vertex, higher,
                                     higher, vertex);
                state.has_unmatched_edge = true;
            }
        }
    }
}

void finish(ReadState& state) {
    // A single self edge already had its warning.
    if (state.self_edge_count > 1) {
        state.messages.warning("WARNING: %lld self edges were read and ignored.\n",
                               static_cast<long long>(state.self_edge_count));
    }
    if (state.current_vertex != 0) {
        if (!counts_agree(state)) {
            state.messages.warning(
                "WARNING: I expected %d edges entered twice, but I only count %d.\n", state.nedges,
                state.kept_count);
        }
    } else {
        // No vertex line was begun: the graph has no edges, and the arrays say so by being
        // absent. The vertex weights stay as they are.
        Block<int>().swap(state.edge_offsets);
        Block<int>().swap(state.adjacency);
        Block<float>().swap(state.edge_weights);
    }
}

[[nodiscard]] int read_graph(ReadState& state) {
    if (read_header(state) != 0) return 1;
    if (allocate_blocks(state) != 0) {
        print_error_prefix(state);
        state.messages.print(" not enough memory for %d vertices and %d edges.\n", state.nvtxs,
                             state.nedges);
        return 1;
    }
    if (file_has_body(state) && read_body(state) != 0) return 1;
    end_unreached_lists(state);
    report_unanswered_entries(state);
    check_trailing_data(state);
    finish(state);
    return state.has_unmatched_edge ? 1 : 0;
}

}  // namespace

int read_graph_file(std::FILE* file, const char* file_name, MessageSink& messages,
                    Block<int>& edge_offsets, Block<int>& adjacency, int& nvtxs,
                    Block<int>& vertex_weights, Block<float>& edge_weights) {
    // A fresh scanner per file: a second file never starts on the state the first one left.
    TokenScanner scanner;
    Block<int>().swap(edge_offsets);
    Block<int>().swap(adjacency);
    Block<int>().swap(vertex_weights);
    Block<float>().swap(edge_weights);
    int result = 0;
    {
        NeighbourIndex index{edge_offsets, adjacency};
        ReadState state{scanner, file,           file_name,    edge_offsets, adjacency,
                        nvtxs,   vertex_weights, edge_weights, index,        messages};
        result = read_graph(state);
    }  // The index is freed here: the next stage needs its room for its own copy.
    // The scanner reads a failing stream as one that has ended; only the stream can tell
    // the two apart, and only until it is closed.
    const bool has_read_error = std::ferror(file) != 0;
    std::fclose(file);
    if (has_read_error) {
        messages.error("Error. Cannot read graph file: %s\n", file_name);
        result = 1;
    }
    return result;
}
