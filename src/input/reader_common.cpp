#include "input/reader_common.h"

#include "common/allocation.h"
#include "common/run_messages.h"

namespace {

// edge_offsets holds nvtxs + 1 entries, and that count has to stay a signed 32-bit value.
constexpr int max_nvtxs = 2147483646;
// 2 * nedges may match the kept entries with or without the self edges (once or twice) and
// with or without the ignored entries.
bool counts_agree(const GraphHeader& header, const BodyCounts& counts) {
    // Unsigned: a wide header's 2^62 edges are 2^63 entries, one past the signed values.
    const std::uint64_t listed_entries = 2 * static_cast<std::uint64_t>(header.nedges);
    for (std::int64_t self_edge_share = 0; self_edge_share <= 2; ++self_edge_share) {
        for (std::int64_t ignored_share = 0; ignored_share <= 1; ++ignored_share) {
            if (static_cast<std::uint64_t>(
                    counts.kept_count + self_edge_share * counts.self_edge_count +
                    ignored_share * counts.ignored_count) == listed_entries) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

void release_graph_arrays(GraphArrays& arrays) {
    Block<std::int64_t>().swap(arrays.edge_offsets);
    Block<int>().swap(arrays.adjacency);
    Block<int>().swap(arrays.vertex_weights);
    Block<float>().swap(arrays.edge_weights);
}

MessageContext message_context(const GraphHeader& header, const char* file_name) {
    return {file_name, header.nvtxs, header.nedges};
}

int read_graph_header(TokenScanner& scanner, std::FILE* file, const char* file_name,
                      MessageSink& messages, const EdgeCountLimit& limit, GraphHeader& header,
                      GraphArrays& arrays) {
    header.max_kept = limit.is_wide ? limit.max_nedges : 2 * limit.max_nedges;
    // Lines that hold no number are skipped, but they count in the line numbers.
    header.line_number = 0;
    do {
        header.nvtxs = next_int(scanner, file, header.status);
        ++header.line_number;
    } while (header.status == scan_end_of_line);
    arrays.nvtxs = header.nvtxs;
    if (header.nvtxs < 1 || header.nvtxs > max_nvtxs) {
        report(message_context(header, file_name),
               {NoteKind::invalid_vertex_count, 0, 0, header.nvtxs}, messages);
        return 1;
    }

    // A header line without a second number gives 0 with the end-of-line status.
    // adjacency holds 2 * nedges + 1 entries, and kept_count may run one past 2 * nedges
    // before the entry is refused: the limit keeps both within the positions of the arrays.
    header.nedges = limit.is_wide ? next_wide_int(scanner, file, header.status)
                                  : next_int(scanner, file, header.status);
    if (header.nedges < 0 || header.nedges > limit.max_nedges) {
        report(message_context(header, file_name),
               {NoteKind::invalid_edge_count, 0, 0, header.nedges}, messages);
        return 1;
    }

    int format_code = 0;
    if (header.status == scan_number) {
        (void)next_int(scanner, file, header.status);
        // The digits that switch the format on are those of the code as written, however
        // many there are: a code past 2147483647 must not saturate into one with all three.
        if (header.status == scan_number) format_code = scanner.int_low_digits;
        // Numbers after the format code are read and ignored.
        while (header.status == scan_number) {
            (void)next_int(scanner, file, header.status);
        }
    }
    // The sign and the digits from the thousands up are ignored.
    header.has_edge_weights = format_code % 10 != 0;
    header.has_vertex_weights = (format_code / 10) % 10 != 0;
    header.has_vertex_numbers = (format_code / 100) % 10 != 0;
    return 0;
}

bool file_has_body(const GraphHeader& header) {
    return header.nedges > 0 || header.has_vertex_weights || header.has_vertex_numbers ||
           header.repairs;
}

void grow_entry_arrays(GraphArrays& arrays, const GraphHeader& header, std::int64_t entry_count) {
    const auto count = static_cast<std::size_t>(entry_count);
    if (arrays.adjacency.size() >= count) return;
    arrays.adjacency.resize(count);
    if (header.has_edge_weights) arrays.edge_weights.resize(count);
}

void note_findings(const GraphHeader& header, const BodyCounts& counts, ReadFindings* findings) {
    if (findings == nullptr) return;
    findings->is_filled = true;
    findings->header_nedges = header.nedges;
    findings->self_entries = counts.self_edge_count;
    findings->repeated_entries = counts.repeated_count;
    findings->bad_weight_entries = counts.bad_weight_count;
    findings->trailing_lines = counts.trailing_lines;
}

void report_no_memory(const GraphHeader& header, const char* file_name, MessageSink& messages) {
    report(message_context(header, file_name), {NoteKind::no_memory_for_arrays}, messages);
}

int allocate_graph_arrays(const GraphHeader& header, const char* file_name, MessageSink& messages,
                          GraphArrays& arrays) {
    const std::int64_t offset_count = std::int64_t{header.nvtxs} + 1;
    // Unsigned, as in counts_agree: no memory holds so many entries, and asking for them
    // must give the memory message, not an overflow.
    const std::uint64_t entry_count = 2 * static_cast<std::uint64_t>(header.nedges) + 1;
    const int failed = allocates_or_fails([&] {
        arrays.edge_offsets.resize(static_cast<std::size_t>(offset_count));
        if (header.nedges > 0) arrays.adjacency.resize(static_cast<std::size_t>(entry_count));
        if (header.has_vertex_weights) {
            arrays.vertex_weights.resize(static_cast<std::size_t>(header.nvtxs));
        }
        if (header.has_edge_weights && header.nedges > 0) {
            arrays.edge_weights.resize(static_cast<std::size_t>(entry_count));
        }
    });
    if (failed != 0) {
        report_no_memory(header, file_name, messages);
        return 1;
    }
    arrays.edge_offsets[0] = 0;
    return 0;
}

void end_unreached_lists(GraphArrays& arrays, const BodyCounts& counts,
                         bool fills_unreached_lists) {
    if (counts.current_vertex == 0) return;
    if (fills_unreached_lists) {
        for (std::int64_t vertex = std::int64_t{counts.current_vertex} + 1; vertex < arrays.nvtxs;
             ++vertex) {
            arrays.edge_offsets[static_cast<std::size_t>(vertex)] = counts.kept_count;
        }
    }
    arrays.edge_offsets[arrays.nvtxs] = counts.kept_count;
}

void finish_graph(const GraphHeader& header, const BodyCounts& counts, const char* file_name,
                  MessageSink& messages, GraphArrays& arrays) {
    const MessageContext context = message_context(header, file_name);
    // A single self edge already had its warning.
    if (counts.self_edge_count > 1) {
        report(context, {NoteKind::self_edge_summary, 0, 0, counts.self_edge_count}, messages);
    }
    if (counts.current_vertex != 0) {
        if (!counts.is_cut_short && !counts_agree(header, counts)) {
            report(context, {NoteKind::count_mismatch, 0, 0, counts.kept_count}, messages);
        }
    } else {
        // No vertex line was begun: the graph has no edges, and the arrays say so by being
        // absent. The vertex weights stay as they are.
        Block<std::int64_t>().swap(arrays.edge_offsets);
        Block<int>().swap(arrays.adjacency);
        Block<float>().swap(arrays.edge_weights);
    }
}

int close_graph_file(std::FILE* file, const char* file_name, MessageSink& messages, int result) {
    // The scanner reads a failing stream as one that has ended; only the stream can tell
    // the two apart, and only until it is closed.
    const bool has_read_error = std::ferror(file) != 0;
    std::fclose(file);
    if (has_read_error) {
        report_cannot_read(messages, file_name);
        return 1;
    }
    return result;
}
