#include "output/graph_writer.h"

#include <cassert>
#include <cinttypes>

#include "common/printable_name.h"
#include "output/line_pieces.h"
#include "output/piece_pipeline.h"

namespace {

// "% TIMES NAME": a newline in the name would start a line that the reader takes for the
// header, so every control byte of it is written as "?".
[[nodiscard]] int write_comment_line(std::FILE* out, int times, const std::string& input_name) {
    if (std::fprintf(out, "%% %d ", times) < 0) return 1;
    for (char c : input_name) {
        if (std::fputc(is_control_byte(c) ? '?' : c, out) == EOF) return 1;
    }
    return std::fputc('\n', out) == EOF ? 1 : 0;
}

// The comment line and the header, with the format code of the weights written. The counts
// are formed in 64 bits so that no product overflows; the caller keeps them within 32 bits
// for every run without -wide.
[[nodiscard]] int write_header(std::FILE* out, int times, const std::string& input_name, int nvtxs,
                               std::int64_t nedges, int nconnect, const ReplicaExtras& extras) {
    const std::int64_t vertex_total = std::int64_t{times} * nvtxs;
    const std::int64_t edge_total = replicated_edge_count(
        times, nedges, static_cast<std::int64_t>(extras.join_pairs.size()), nconnect);
    const int format_code =
        (extras.writes_vertex_weights ? 10 : 0) + (extras.writes_edge_weights ? 1 : 0);
    if (write_comment_line(out, times, input_name) != 0) return 1;
    if (std::fprintf(out, "%" PRId64 " %" PRId64, vertex_total, edge_total) < 0) return 1;
    if (format_code != 0 && std::fprintf(out, " %d", format_code) < 0) return 1;
    return std::fputc('\n', out) == EOF ? 1 : 0;
}

}  // namespace

WriteResult write_replicated_graph(std::FILE* out, int times, const std::string& input_name,
                                   int nvtxs, std::int64_t nedges, int nconnect,
                                   const VertexGraph& graph, const ReplicaExtras& extras) {
    if (extras.writes_front &&
        write_header(out, times, input_name, nvtxs, nedges, nconnect, extras) != 0) {
        return WriteResult::write_failed;
    }
    if (times < 1 || nvtxs < 1) return WriteResult::written;
    assert(graph.slots.size() > static_cast<std::size_t>(nvtxs));

    const LineContent content{extras.writes_vertex_weights, extras.writes_edge_weights,
                              &extras.join_pairs};
    const std::int64_t piece_budget =
        extras.piece_bytes > 0 ? extras.piece_bytes : pipeline_piece_budget(extras.threads);
    PieceLayout layout;
    const CopyRange range{extras.first_copy, extras.end_copy};
    if (prepare_pieces(graph, times, range, nvtxs, content, piece_budget, layout) != 0) {
        return WriteResult::out_of_memory;
    }
    layout.progress = extras.progress;
    return write_units(out, layout, extras.threads);
}
