#include "input/parhip_reader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "common/allocation.h"
#include "common/helper_threads.h"
#include "common/processors.h"
#include "input/note_output.h"
#include "input/parhip_layout.h"
#include "input/parhip_scan.h"
#include "input/reader_common.h"
#include "input/symmetry_check.h"

namespace {

// More scanning threads than this gain nothing: the ranges are memory-bound.
constexpr int max_threads = 64;
// Fewer arcs than this per range are scanned on the calling thread alone.
constexpr std::int64_t arcs_per_thread = std::int64_t{1} << 16;
// A stream that cannot be mapped is read in pieces that start at this size and double up to
// the largest: a small file costs a small piece, a large one few reads.
constexpr std::size_t first_piece_bytes = std::size_t{64} << 10;
constexpr std::size_t largest_piece_bytes = std::size_t{16} << 20;

// The file's bytes, read into memory of the reader's own. A mapping would spare the copy,
// but a file cut short by another program while the threads scan it would end the run with
// a bus error instead of a message; a copy holds what was read, and a short file is named.
struct FileBytes {
    const unsigned char* data = nullptr;
    std::int64_t size = 0;
    // A block, not a vector: its fresh pages are not zeroed before the file's bytes fill them.
    Block<unsigned char> copy;
};

// The bytes a regular file still holds from its position, as the first piece to read, so
// that a file is read in one piece; a stream starts small and grows.
std::size_t first_piece(std::FILE* file) {
    const int descriptor = fileno(file);
    struct stat status;
    if (descriptor < 0 || fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        return first_piece_bytes;
    }
    const off_t position = lseek(descriptor, 0, SEEK_CUR);
    if (position < 0 || position >= status.st_size) return first_piece_bytes;
    // One byte more than the file holds, so that its end is seen within the same piece.
    return static_cast<std::size_t>(status.st_size - position) + 1;
}

// Reads the stream whole; false when its memory is not there. A failing stream counts as
// ended, and the close reports it.
bool read_whole(std::FILE* file, FileBytes& bytes) {
    const int failed = allocates_or_fails([&] {
        std::size_t size = 0;
        for (std::size_t piece = first_piece(file);;
             piece = std::max(first_piece_bytes, std::min(2 * piece, largest_piece_bytes))) {
            bytes.copy.resize(size + piece);
            const std::size_t got = std::fread(bytes.copy.data() + size, 1, piece, file);
            size += got;
            if (got < piece) break;
        }
        bytes.copy.resize(size);
    });
    if (failed != 0) return false;
    bytes.data = bytes.copy.data();
    bytes.size = static_cast<std::int64_t>(bytes.copy.size());
    return true;
}

// The header as the text reader's summary checks see it.
GraphHeader text_header(const ParhipLayout& layout) {
    GraphHeader header;
    header.nvtxs = static_cast<int>(layout.nvtxs);
    header.nedges = layout.arcs / 2;
    header.has_edge_weights = layout.has_edge_weights;
    header.has_vertex_weights = layout.has_vertex_weights;
    return header;
}

// Sizes the arrays: adjacency and the edge weights at one entry an arc, and one to spare.
[[nodiscard]] int allocate_arrays(const ParhipLayout& layout, const char* file_name,
                                  MessageSink& messages, GraphArrays& arrays) {
    const int failed = allocates_or_fails([&] {
        arrays.edge_offsets.resize(static_cast<std::size_t>(layout.nvtxs) + 1);
        if (layout.arcs > 0) arrays.adjacency.resize(static_cast<std::size_t>(layout.arcs) + 1);
        if (layout.has_vertex_weights) {
            arrays.vertex_weights.resize(static_cast<std::size_t>(layout.nvtxs));
        }
        if (layout.has_edge_weights && layout.arcs > 0) {
            arrays.edge_weights.resize(static_cast<std::size_t>(layout.arcs) + 1);
        }
    });
    if (failed != 0) {
        report_no_memory(text_header(layout), file_name, messages);
        return 1;
    }
    arrays.edge_offsets[0] = 0;
    return 0;
}

// The ranges of vertices the threads scan; a range holds its notes, so it stays in place.
struct Ranges {
    std::unique_ptr<RangeScan[]> scans;
    int count = 0;
};

// Cuts the vertices into ranges of about equal arcs, one a thread, each of at least
// smallest_range arcs.
void cut_ranges(const unsigned char* bytes, const ParhipLayout& layout, int threads,
                std::int64_t smallest_range, Ranges& ranges) {
    ranges.count = static_cast<int>(
        std::clamp<std::int64_t>(layout.arcs / smallest_range, 1, std::max(threads, 1)));
    ranges.scans = std::make_unique<RangeScan[]>(static_cast<std::size_t>(ranges.count));
    std::int64_t vertex = 0;
    for (int r = 0; r < ranges.count; ++r) {
        RangeScan& range = ranges.scans[r];
        range.first_vertex = vertex;
        range.first_arc = first_arc(bytes, layout, vertex);
        const std::int64_t arc_goal = layout.arcs * (r + 1) / ranges.count;
        // The first vertex whose targets start at or past the goal ends the range.
        std::int64_t low = vertex;
        std::int64_t high = layout.nvtxs;
        while (low < high) {
            const std::int64_t middle = low + (high - low) / 2;
            if (first_arc(bytes, layout, middle) < arc_goal) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        vertex = r + 1 == ranges.count ? layout.nvtxs : low;
        range.end_vertex = vertex;
    }
}

// Scans every range, on a thread each but the first; false when memory ran out.
bool scan_ranges(const unsigned char* bytes, const ParhipLayout& layout, const ScanTargets& targets,
                 Ranges& ranges) {
    std::vector<char> has_failed(static_cast<std::size_t>(ranges.count), 0);
    auto scan = [&](int r) {
        has_failed[static_cast<std::size_t>(r)] = static_cast<char>(allocates_or_fails(
            [&] { scan_parhip_range(bytes, layout, targets, ranges.scans[r]); }));
    };
    HelperThreads helpers;
    helpers.make_room(ranges.count - 1);
    for (int r = 1; r < ranges.count; ++r) {
        // No thread to be had: the range is scanned here, slower, not wrong.
        if (!helpers.start([&scan, r] { scan(r); })) scan(r);
    }
    scan(0);
    helpers.join();
    return std::none_of(has_failed.begin(), has_failed.end(), [](char c) { return c != 0; });
}

// What the ranges give once placed in order.
struct PlacedBody {
    BodyCounts counts;
    NoteList notes;
    const RangeScan* stop_range = nullptr;  // the range whose error ended the reading
};

// Moves the range's kept entries down to base, behind those of the ranges before it.
void move_entries(const RangeScan& range, std::int64_t base, GraphArrays& arrays) {
    if (base == range.first_arc || range.kept == 0) return;
    std::memmove(arrays.adjacency.data() + base, arrays.adjacency.data() + range.first_arc,
                 static_cast<std::size_t>(range.kept) * sizeof(int));
    if (!arrays.edge_weights.empty()) {
        std::memmove(arrays.edge_weights.data() + base,
                     arrays.edge_weights.data() + range.first_arc,
                     static_cast<std::size_t>(range.kept) * sizeof(float));
    }
}

// Places each range in range order: its entries behind the ones before it, its offsets and
// notes after theirs; stops after a range whose error ends the reading.
void place_ranges(Ranges& ranges, GraphArrays& arrays, PlacedBody& body) {
    std::int64_t base = 0;
    for (int r = 0; r < ranges.count; ++r) {
        RangeScan& range = ranges.scans[r];
        move_entries(range, base, arrays);
        const std::int64_t end_vertex =
            range.has_fatal_error ? range.stop_vertex - 1 : range.end_vertex;
        for (std::int64_t v = range.first_vertex; v < end_vertex; ++v)
            arrays.edge_offsets[v + 1] += base;
        const bool has_self_edge = body.counts.self_edge_count > 0;
        move_notes(range.notes, body.notes, [&](Note& note) {
            // Only the file's first self edge is named.
            if (note.kind == NoteKind::self_edge && has_self_edge) return false;
            note.kept_before += static_cast<std::uint64_t>(base);
            return true;
        });
        body.counts.self_edge_count += range.self_edge_count;
        body.counts.ignored_count += range.ignored_count;
        base += range.kept;
        if (range.has_fatal_error) {
            body.stop_range = &range;
            body.counts.current_vertex = range.stop_vertex;
            break;
        }
    }
    body.counts.kept_count = base;
    // Past the kept entries the arrays hold zeros, as the text reader leaves them: the entries
    // moved down leave their old places behind.
    if (!arrays.adjacency.empty()) {
        std::fill(arrays.adjacency.begin() + base, arrays.adjacency.end(), 0);
    }
    if (!arrays.edge_weights.empty()) {
        std::fill(arrays.edge_weights.begin() + base, arrays.edge_weights.end(), 0.0f);
    }
}

// What finish_body gives besides 0 and 1, before printing anything: the memory ran out, for
// the notes or for something else.
constexpr int out_of_memory = 2;
constexpr int out_of_memory_for_notes = 3;

// The target outside 0..n-1 that ended the reading.
void report_bad_target(const RangeScan& range, const ParhipLayout& layout,
                       const MessageContext& context, MessageSink& messages) {
    report_error_prefix(context, messages);
    messages.print(" a target of vertex %d is %llu, outside 0..%lld.\n", range.stop_vertex,
                   static_cast<unsigned long long>(range.bad_target),
                   static_cast<long long>(layout.nvtxs - 1));
}

// The symmetry check, every message in file order and the summary warnings, as the text
// reader ends its body.
int finish_body(const ParhipLayout& layout, PlacedBody& body, const char* file_name,
                MessageSink& messages, GraphArrays& arrays, int threads) {
    const GraphHeader header = text_header(layout);
    BodyCounts& counts = body.counts;
    if (body.notes.has_failed) return out_of_memory_for_notes;
    if (body.stop_range == nullptr) counts.current_vertex = header.nvtxs + 1;
    ReadLists lists{arrays.edge_offsets.data(),
                    arrays.adjacency.empty() ? nullptr : arrays.adjacency.data(),
                    arrays.edge_weights.empty() ? nullptr : arrays.edge_weights.data(),
                    std::min(counts.current_vertex, header.nvtxs), counts.kept_count};
    std::vector<Note> line_notes;
    std::vector<Note> lower_end_notes;
    const int checked = check_symmetry(lists, threads, line_notes,
                                       body.stop_range != nullptr ? nullptr : &lower_end_notes);
    if (checked != 0) return checked == 2 ? out_of_memory_for_notes : out_of_memory;
    // No entry of the layout is refused past the arrays: no weight is read from beyond them.
    NoteContext context{message_context(header, file_name), lists.edge_offsets, lists.adjacency,
                        lists.edge_weights, std::numeric_limits<std::int64_t>::max()};
    print_in_file_order(context, body.notes, line_notes, messages);
    if (body.stop_range != nullptr) {
        if (body.stop_range->has_bad_target) {
            report_bad_target(*body.stop_range, layout, context.text, messages);
        }
        return 1;
    }
    arrays.edge_offsets[header.nvtxs] = counts.kept_count;
    for (const Note& note : lower_end_notes)
        print_note(context, note, messages);
    // Without arcs or vertex weights there is no list to read, as for a text file without a
    // body: the arrays are then absent.
    if (layout.arcs == 0 && !layout.has_vertex_weights) counts.current_vertex = 0;
    finish_graph(header, counts, file_name, messages, arrays);
    return has_unmatched_edge(line_notes) || !lower_end_notes.empty() ? 1 : 0;
}

// Reads the checked layout's graph into arrays.
int read_body(const unsigned char* bytes, const ParhipLayout& layout, const char* file_name,
              MessageSink& messages, GraphArrays& arrays, const ReaderSettings& settings,
              int threads) {
    if (allocate_arrays(layout, file_name, messages, arrays) != 0) return 1;
    arrays.nvtxs = static_cast<int>(layout.nvtxs);
    const ScanTargets targets{
        arrays.edge_offsets.data(), arrays.adjacency.empty() ? nullptr : arrays.adjacency.data(),
        arrays.vertex_weights.empty() ? nullptr : arrays.vertex_weights.data(),
        arrays.edge_weights.empty() ? nullptr : arrays.edge_weights.data()};
    int result = out_of_memory;
    const int failed = allocates_or_fails([&] {
        Ranges ranges;
        // Tests ask for tiny chunks: ranges of a target or two.
        const std::int64_t smallest_range =
            settings.chunk_bytes > 0 ? std::max<std::int64_t>(1, settings.chunk_bytes / 8)
                                     : arcs_per_thread;
        cut_ranges(bytes, layout, threads, smallest_range, ranges);
        if (!scan_ranges(bytes, layout, targets, ranges)) return;
        PlacedBody body;
        place_ranges(ranges, arrays, body);
        result = finish_body(layout, body, file_name, messages, arrays, threads);
    });
    const GraphHeader header = text_header(layout);
    // No message of the body is printed before all are known: a shortage prints only its own.
    if (result == out_of_memory_for_notes) {
        report(message_context(header, file_name), {NoteKind::no_memory_for_messages}, messages);
        return 1;
    }
    if (failed != 0 || result == out_of_memory) {
        report_no_memory(header, file_name, messages);
        return 1;
    }
    return result;
}

}  // namespace

int read_parhip_file(std::FILE* file, const char* file_name, MessageSink& messages,
                     Block<std::int64_t>& edge_offsets, Block<int>& adjacency, int& nvtxs,
                     Block<int>& vertex_weights, Block<float>& edge_weights,
                     const ReaderSettings& settings) {
    GraphArrays arrays{edge_offsets, adjacency, nvtxs, vertex_weights, edge_weights};
    release_graph_arrays(arrays);
    nvtxs = 0;
    int threads = settings.threads > 0 ? settings.threads : available_processors();
    threads = std::clamp(threads, 1, max_threads);
    int result = 1;
    FileBytes bytes;
    if (!read_whole(file, bytes)) {
        report_error_prefix({file_name, 0, 0}, messages);
        messages.print(" not enough memory to hold the file.\n");
    } else {
        ParhipLayout layout;
        // Without -wide the arcs are those of the narrow arrays: two for each edge a narrow
        // header may count.
        const std::int64_t max_arcs =
            settings.is_wide ? wide_parhip_arcs : 2 * narrow_limit_of(settings);
        int laid_out =
            read_parhip_header(bytes.data, bytes.size, file_name, messages, max_arcs, layout);
        if (laid_out == 0) {
            laid_out = check_parhip_offsets(bytes.data, layout, file_name, messages, threads);
        }
        if (laid_out == 0) {
            result = read_body(bytes.data, layout, file_name, messages, arrays, settings, threads);
        }
    }
    return close_graph_file(file, file_name, messages, result);
}
