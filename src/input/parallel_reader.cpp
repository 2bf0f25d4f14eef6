#include "input/parallel_reader.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <mutex>
#include <new>
#include <vector>

#include "common/allocation.h"
#include "common/helper_threads.h"
#include "common/processors.h"
#include "input/block_input.h"
#include "input/chunk_scan.h"
#include "input/note_output.h"
#include "input/symmetry_check.h"

namespace {

// Chunks of this size make the hand-over between threads rare, and a chunk stays in the
// processor's cache while it is read, its lines counted and then scanned: with 4 MiB blocks
// every pass went out to memory, and a file of a few chunks left one thread idle at its end.
// Each thread holds room for two (the chunk and what it reads on to find a line's end), and
// all of them together stay within the budget: with many threads the chunks get smaller,
// down to the smallest size.
constexpr std::int64_t default_chunk_bytes = std::int64_t{512} << 10;
constexpr std::int64_t chunk_budget = std::int64_t{16} << 20;
constexpr std::int64_t smallest_chunk_bytes = std::int64_t{32} << 10;
// More reading threads than this gain nothing: the chunks come from one stream.
constexpr int max_threads = 64;

// What the threads share. The input, the line counts and the placing of chunks each go in
// chunk order, under one lock.
struct Pipeline {
    Pipeline(const GraphHeader& file_header, GraphArrays& read_arrays)
        : header(file_header), arrays(read_arrays) {}
    const GraphHeader& header;
    GraphArrays& arrays;
    ScanFormat format;
    std::mutex lock;
    std::condition_variable turn;
    // The input is read under a lock of its own, which its reader may hold while it takes the
    // other (never the other way round): chunks are counted and placed while a long line is
    // read, and the reader of the line can learn the line's place from them.
    std::mutex input_lock;
    BlockInput input;
    bool input_is_done = false;
    bool has_failed = false;  // some chunk's memory was not there
    // Chunks whose line counts are in, and the lines in them.
    std::int64_t counted_chunks = 0;
    std::int64_t counted_lines = 0;
    // The chunk to be placed next.
    std::int64_t placing_turn = 0;
    // No chunk is scanned once a chunk placed before it has stopped the reading.
    bool has_stopped = false;

    // Written by the placing thread alone, in chunk order.
    std::int64_t kept_count = 0;
    std::int64_t self_edge_count = 0;
    std::int64_t ignored_count = 0;
    std::int64_t repeated_count = 0;
    std::int64_t bad_weight_count = 0;
    std::int64_t trailing_lines = 0;
    std::int64_t placed_lines = 0;
    NoteList notes;
    // The reading stops: an error that ends it, or a number after the body. The placing
    // thread notes it, and hands it on to has_stopped under the lock.
    bool placing_has_stopped = false;
    bool has_fatal_error = false;
    bool is_body_over = false;
    bool has_trailing_data = false;
    // The vertex whose line the reading stopped in, and the entry that passed 2 * nedges.
    int stop_vertex = 0;
    bool has_excess_entry = false;
    Note excess_entry{};
    float excess_weight = 0.0f;
    // The chunk placed last: where the reading stopped, when it stopped.
    std::int64_t stop_chunk = 0;
    // Started by the calling thread, which joins them.
    HelperThreads helpers;
};

// Moves the notes of scan's first written entries after the others, counted in the file. A
// reading for a repair that passes 2 * nedges in this chunk notes it where the entry that
// passes it is kept, among the chunk's notes.
void place_notes(Pipeline& pipeline, ChunkScan& scan, std::int64_t base, std::int64_t written) {
    const bool has_self_edge = pipeline.self_edge_count > 0;
    const std::int64_t entry_limit = 2 * std::int64_t{pipeline.header.nedges};
    bool is_crossing_noted =
        !(pipeline.header.repairs && base <= entry_limit && base + written > entry_limit &&
          entry_limit < pipeline.header.max_kept);
    auto note_crossing = [&] {
        add_note(pipeline.notes, {entry_limit + 1, static_cast<int>(scan.first_vertex), 0,
                                  NoteKind::too_many_entries});
        is_crossing_noted = true;
    };
    move_notes(scan.notes, pipeline.notes, [&](Note& note) {
        if (note.position() > written) return false;
        if (!is_crossing_noted && base + note.position() > entry_limit) note_crossing();
        // Only the file's first self edge is named.
        if (note.kind == NoteKind::self_edge && has_self_edge) return false;
        note.kept_before += static_cast<std::uint64_t>(base);
        return true;
    });
    if (!is_crossing_noted) note_crossing();
}

// Adds the counts of a chunk placed whole, and notes where it stopped the reading.
void end_placing(Pipeline& pipeline, const ChunkScan& scan) {
    pipeline.kept_count += static_cast<std::int64_t>(scan.entries.size());
    pipeline.self_edge_count += scan.self_edge_count;
    pipeline.ignored_count += scan.ignored_count;
    pipeline.repeated_count += scan.repeated_count;
    pipeline.bad_weight_count += scan.bad_weight_count;
    if (scan.has_fatal_error) {
        pipeline.stop_vertex = scan.fatal_vertex;
        pipeline.has_fatal_error = true;
        pipeline.placing_has_stopped = true;
    } else if (scan.reaches_body_end) {
        // A reading for a repair counts the lines after the body to the end of the file.
        pipeline.is_body_over = true;
        pipeline.has_trailing_data = pipeline.has_trailing_data || scan.has_trailing_data;
        pipeline.trailing_lines +=
            scan.has_trailing_data ? std::max<std::int64_t>(scan.trailing_lines, 1) : 0;
        pipeline.placing_has_stopped = scan.has_trailing_data && !pipeline.header.repairs;
    }
}

// Copies the placed part of scan into the arrays and moves its notes after the others.
void place_scan(Pipeline& pipeline, ChunkScan& scan, std::int64_t chunk_index) {
    if (pipeline.placing_has_stopped) return;
    pipeline.stop_chunk = chunk_index;
    const std::int64_t base = pipeline.kept_count;
    const std::int64_t entry_limit = pipeline.format.entry_limit;
    const std::int64_t entry_count = static_cast<std::int64_t>(scan.entries.size());
    // Past the limit (2 * nedges, or what the arrays can count in a reading for a repair) the
    // entry is refused before it is written, and the reading stops.
    const bool has_excess = base + entry_count > entry_limit;
    const std::int64_t written = has_excess ? entry_limit - base : entry_count;
    GraphArrays& arrays = pipeline.arrays;
    if (pipeline.header.repairs) grow_entry_arrays(arrays, pipeline.header, base + written);
    // An array the file does not call for is empty, and then nothing goes there.
    if (written > 0) {
        std::copy_n(scan.entries.data(), written, arrays.adjacency.data() + base);
        if (pipeline.format.has_edge_weights) {
            std::copy_n(scan.entry_weights.data(), written, arrays.edge_weights.data() + base);
        }
    }
    std::int64_t lines = 0;
    const std::int64_t first = scan.first_vertex;
    for (; lines < static_cast<std::int64_t>(scan.line_ends.size()) &&
           scan.line_ends[lines] <= written;
         ++lines) {
        arrays.edge_offsets[first + lines] = base + scan.line_ends[lines];
    }
    // The line that an excess entry stops was begun: its vertex weight is in.
    const std::int64_t weighted =
        has_excess ? std::min(lines + 1, static_cast<std::int64_t>(scan.vertex_weights.size()))
                   : static_cast<std::int64_t>(scan.vertex_weights.size());
    if (weighted > 0) {
        std::copy_n(scan.vertex_weights.data(), weighted, arrays.vertex_weights.data() + first - 1);
    }
    place_notes(pipeline, scan, base, written);
    pipeline.placed_lines += lines;
    if (has_excess) {
        const int vertex = static_cast<int>(first + lines);
        pipeline.excess_entry = {entry_limit, vertex, scan.entries[written],
                                 NoteKind::unmatched_edge};
        if (pipeline.format.has_edge_weights) pipeline.excess_weight = scan.entry_weights[written];
        pipeline.has_excess_entry = true;
        add_note(pipeline.notes, {entry_limit + 1, vertex, 0, NoteKind::too_many_entries});
        pipeline.kept_count = entry_limit;
        pipeline.stop_vertex = vertex;
        pipeline.has_fatal_error = true;
        pipeline.placing_has_stopped = true;
        return;
    }
    end_placing(pipeline, scan);
}

// Takes the next chunk and numbers its first vertex; false when there is none to take.
[[nodiscard]] bool take_chunk(Pipeline& pipeline, Chunk& chunk, std::int64_t& first_vertex,
                              bool& is_wanted) {
    std::unique_lock<std::mutex> input_guard(pipeline.input_lock);
    if (pipeline.input_is_done) return false;
    {
        std::lock_guard<std::mutex> guard(pipeline.lock);
        if (pipeline.has_stopped || pipeline.has_failed) return false;
    }
    bool has_read = false;
    try {
        has_read = read_chunk(pipeline.input, chunk);
    } catch (const std::bad_alloc&) {
        std::lock_guard<std::mutex> guard(pipeline.lock);
        pipeline.has_failed = true;
        pipeline.turn.notify_all();
        return false;
    }
    pipeline.input_is_done = !has_read;
    if (!has_read) return false;
    input_guard.unlock();
    // Counted outside the lock, by every thread at once; only the sums go in chunk order.
    const std::int64_t lines = count_lines(chunk);
    std::unique_lock<std::mutex> guard(pipeline.lock);
    pipeline.turn.wait(guard, [&] { return pipeline.counted_chunks == chunk.index; });
    first_vertex = pipeline.counted_lines + 1;
    pipeline.counted_lines += lines;
    ++pipeline.counted_chunks;
    pipeline.turn.notify_all();
    is_wanted = !pipeline.has_stopped;
    return true;
}

// What the reading can use of a line longer than a block, the first of chunk chunk_index: asked
// by the thread that reads it, which waits for the line counts of the chunks before it.
LineWorth line_worth(void* reader, std::int64_t chunk_index) {
    Pipeline& pipeline = *static_cast<Pipeline*>(reader);
    std::unique_lock<std::mutex> guard(pipeline.lock);
    pipeline.turn.wait(guard, [&] {
        return pipeline.counted_chunks == chunk_index || pipeline.has_stopped ||
               pipeline.has_failed;
    });
    // No chunk after the one that stopped the reading is scanned.
    if (pipeline.has_stopped || pipeline.has_failed) return LineWorth::none;
    // The line describes vertex counted_lines + 1; past nvtxs it is trailing data or not.
    return pipeline.counted_lines >= pipeline.header.nvtxs ? LineWorth::begins_only
                                                           : LineWorth::counts;
}

void read_chunks(Pipeline& pipeline, int helper_count);

// Starts helper_count more threads on the chunks; fewer when the system has no more to give.
void start_helpers(Pipeline& pipeline, int helper_count) {
    for (int i = 0; i < helper_count; ++i) {
        if (!pipeline.helpers.start([&pipeline] { read_chunks(pipeline, 0); })) break;
    }
}

// One thread's loop: take the next chunk, count its lines, scan it, place it in its turn. The
// calling thread starts the helpers once it has taken the first chunk and more input follows:
// a file of one chunk is read without starting a thread.
void read_chunks(Pipeline& pipeline, int helper_count) {
    Chunk chunk;
    ChunkScan scan;
    std::int64_t first_vertex = 0;
    bool is_wanted = false;
    while (take_chunk(pipeline, chunk, first_vertex, is_wanted)) {
        if (helper_count > 0) {
            std::unique_lock<std::mutex> guard(pipeline.input_lock);
            const bool has_more = !pipeline.input.is_at_end || !pipeline.input.carried.empty();
            guard.unlock();
            if (has_more) start_helpers(pipeline, helper_count);
            helper_count = 0;
        }
        bool has_scanned = false;
        if (is_wanted) {
            try {
                scan_chunk(pipeline.format, chunk, first_vertex, scan);
                has_scanned = true;
            } catch (const std::bad_alloc&) {
            }
        }
        std::unique_lock<std::mutex> guard(pipeline.lock);
        pipeline.turn.wait(guard, [&] { return pipeline.placing_turn == chunk.index; });
        if (is_wanted && !has_scanned) pipeline.has_failed = true;
        const bool is_placed = has_scanned && !pipeline.has_failed;
        guard.unlock();
        // The turn makes this thread the only one placing; what it writes reaches the next
        // placing thread through the lock.
        bool has_placed = true;
        if (is_placed) {
            try {
                place_scan(pipeline, scan, chunk.index);
            } catch (const std::bad_alloc&) {
                has_placed = false;
            }
        }
        guard.lock();
        // A note that found no memory ends the reading: its message would be missing.
        if (!has_placed || pipeline.notes.has_failed) pipeline.has_failed = true;
        pipeline.has_stopped = pipeline.has_stopped || pipeline.placing_has_stopped;
        ++pipeline.placing_turn;
        pipeline.turn.notify_all();
    }
}

// Runs read_chunks on threads threads, the calling thread among them.
void run_pipeline(Pipeline& pipeline, int threads) {
    pipeline.helpers.make_room(threads - 1);
    read_chunks(pipeline, threads - 1);
    pipeline.helpers.join();
}

// The end of the body in file order: the line after the last one read begins a vertex when
// the file ran out before vertex nvtxs; a missing weight stops the reading there. A stream
// that failed did not show where the file ends: its weight is not called missing.
BodyCounts end_body(Pipeline& pipeline, bool is_cut_short) {
    BodyCounts counts{pipeline.self_edge_count, pipeline.ignored_count, pipeline.kept_count, 0};
    if (pipeline.has_fatal_error) {
        counts.current_vertex = pipeline.stop_vertex;
        return counts;
    }
    // The input may end right after the last vertex's line: the line after it ends the body.
    if (pipeline.is_body_over || pipeline.placed_lines >= pipeline.header.nvtxs) {
        counts.current_vertex = pipeline.header.nvtxs + 1;
        return counts;
    }
    const int vertex = static_cast<int>(pipeline.placed_lines + 1);
    counts.current_vertex = vertex;
    counts.is_cut_short = is_cut_short;
    if (pipeline.format.has_vertex_weights) {
        if (!is_cut_short) {
            add_note(pipeline.notes, {pipeline.kept_count, vertex, 0, NoteKind::no_vertex_weight});
        }
        pipeline.has_fatal_error = true;
        pipeline.stop_vertex = vertex;
        return counts;
    }
    pipeline.arrays.edge_offsets[vertex] = pipeline.kept_count;
    return counts;
}

// The symmetry notes of an entry that passed 2 * nedges: never written, but checked first.
void check_excess_entry(const Pipeline& pipeline, std::vector<Note>& line_notes) {
    if (!pipeline.has_excess_entry) return;
    const Note& entry = pipeline.excess_entry;
    if (entry.neighbour >= entry.vertex) return;
    const std::int64_t* offsets = pipeline.arrays.edge_offsets.data();
    const std::int64_t begin = offsets[entry.neighbour - 1];
    for (std::int64_t position = begin; position < offsets[entry.neighbour]; ++position) {
        if (pipeline.arrays.adjacency[position] != entry.vertex) continue;
        if (pipeline.format.has_edge_weights &&
            pipeline.arrays.edge_weights[position] != pipeline.excess_weight) {
            line_notes.push_back({entry.position(), entry.vertex,
                                  static_cast<int>(position - begin), NoteKind::weights_differ});
        }
        return;
    }
    line_notes.push_back(entry);
}

// What the notes of the reading need to be printed.
NoteContext note_context(const Pipeline& pipeline, const char* file_name) {
    const GraphArrays& arrays = pipeline.arrays;
    NoteContext context{message_context(pipeline.header, file_name)};
    context.edge_offsets = arrays.edge_offsets.data();
    context.adjacency = arrays.adjacency.empty() ? nullptr : arrays.adjacency.data();
    context.edge_weights = arrays.edge_weights.empty() ? nullptr : arrays.edge_weights.data();
    context.entry_limit = pipeline.format.entry_limit;
    context.excess_neighbour = pipeline.excess_entry.neighbour;
    context.excess_weight = pipeline.excess_weight;
    return context;
}

// Prints the edges that only their lower end lists, after the vertex lines' messages. When
// the stream failed, an edge whose higher end was never read whole proves nothing.
void print_lower_end_notes(const NoteContext& context, const std::vector<Note>& notes,
                           const BodyCounts& counts, MessageSink& messages) {
    for (const Note& note : notes) {
        if (counts.is_cut_short && note.neighbour >= counts.current_vertex) continue;
        print_note(context, note, messages);
    }
}

// What finish_body gives besides 0 and 1, before printing anything: the memory ran out, for
// the notes or for something else.
constexpr int out_of_memory = 2;
constexpr int out_of_memory_for_notes = 3;

// After the chunks: the end of the body, the symmetry check, and every message in file order,
// then the summary.
int finish_body(Pipeline& pipeline, std::FILE* file, const char* file_name, MessageSink& messages,
                const ReaderSettings& settings, int threads) {
    const GraphHeader& header = pipeline.header;
    GraphArrays& arrays = pipeline.arrays;
    // A stream that failed past the point where the reading stopped was never read there.
    if (pipeline.placing_has_stopped && pipeline.input.failed_chunk > pipeline.stop_chunk) {
        std::clearerr(file);
    }
    BodyCounts counts = end_body(pipeline, std::ferror(file) != 0);
    if (pipeline.notes.has_failed) return out_of_memory_for_notes;
    ReadLists lists{arrays.edge_offsets.data(),
                    arrays.adjacency.empty() ? nullptr : arrays.adjacency.data(),
                    arrays.edge_weights.empty() ? nullptr : arrays.edge_weights.data(),
                    std::min(counts.current_vertex, header.nvtxs), pipeline.kept_count};
    std::vector<Note> line_notes;
    std::vector<Note> lower_end_notes;
    const int checked = check_symmetry(lists, threads, line_notes,
                                       pipeline.has_fatal_error ? nullptr : &lower_end_notes,
                                       settings.round_entries);
    if (checked != 0) return checked == 2 ? out_of_memory_for_notes : out_of_memory;
    if (allocates_or_fails([&] { check_excess_entry(pipeline, line_notes); }) != 0) {
        return out_of_memory;
    }
    const NoteContext context = note_context(pipeline, file_name);
    print_in_file_order(context, pipeline.notes, line_notes, messages);
    if (pipeline.has_fatal_error) return 1;
    end_unreached_lists(arrays, counts, settings.fills_unreached_lists);
    print_lower_end_notes(context, lower_end_notes, counts, messages);
    if (pipeline.has_trailing_data) report(context.text, {NoteKind::trailing_data}, messages);
    finish_graph(header, counts, file_name, messages, arrays);
    counts.repeated_count = pipeline.repeated_count;
    counts.bad_weight_count = pipeline.bad_weight_count;
    counts.trailing_lines = pipeline.trailing_lines;
    note_findings(header, counts, settings.findings);
    // An edge listed at one end only is mended by a repair.
    if (header.repairs) return 0;
    return has_unmatched_edge(line_notes) || !lower_end_notes.empty() ? 1 : 0;
}

}  // namespace

int read_body_in_parallel(std::FILE* file, const char* file_name, MessageSink& messages,
                          const GraphHeader& header, GraphArrays& arrays,
                          const ReaderSettings& settings) {
    if (allocate_graph_arrays(header, file_name, messages, arrays) != 0) return 1;
    Pipeline pipeline(header, arrays);
    pipeline.format = {header.nvtxs, header.has_edge_weights, header.has_vertex_weights,
                       header.repairs ? header.max_kept : 2 * std::int64_t{header.nedges},
                       header.repairs};
    pipeline.input.file = file;
    pipeline.input.line_worth = line_worth;
    pipeline.input.reader = &pipeline;
    int threads = settings.threads > 0 ? settings.threads : available_processors();
    threads = std::clamp(threads, 1, max_threads);
    if (settings.chunk_bytes > 0) {
        pipeline.input.block_bytes = settings.chunk_bytes;
    } else {
        size_blocks(
            pipeline.input,
            std::clamp(chunk_budget / (2 * threads), smallest_chunk_bytes, default_chunk_bytes),
            smallest_chunk_bytes);
    }
    run_pipeline(pipeline, threads);
    const int result = pipeline.has_failed
                           ? out_of_memory
                           : finish_body(pipeline, file, file_name, messages, settings, threads);
    // No message of the body has been printed when the memory ran out: every one is printed
    // once all are known. A shortage while holding them is told as such.
    if (result == out_of_memory_for_notes ||
        (result == out_of_memory && pipeline.notes.has_failed)) {
        report(message_context(header, file_name), {NoteKind::no_memory_for_messages}, messages);
    } else if (result == out_of_memory) {
        report_no_memory(header, file_name, messages);
    }
    return result == 0 ? 0 : 1;
}
