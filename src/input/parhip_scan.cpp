#include "input/parhip_scan.h"

#include <algorithm>
#include <climits>

#include "input/repeat_search.h"

namespace {

struct ListScan {
    const ScanTargets& targets;
    RangeScan& range;
    int vertex;             // from 1
    std::int64_t start;     // the position of the list's first kept entry in adjacency
    std::int64_t& kept_at;  // the position of the next kept entry
};

void add_note(RangeScan& range, NoteKind kind, int vertex, int neighbour) {
    add_note(range.notes, {range.kept, vertex, neighbour, kind});
}

void add_fatal_note(RangeScan& range, NoteKind kind, int vertex) {
    add_note(range, kind, vertex, 0);
    range.has_fatal_error = true;
    range.stop_vertex = vertex;
}

// Whether neighbour is kept on the list already.
bool is_kept_on_list(const ListScan& list, int neighbour) {
    const std::int64_t count = list.kept_at - list.start;
    if (count <= short_list_length) {
        const int* first = list.targets.adjacency + list.start;
        return std::find(first, first + count, neighbour) != first + count;
    }
    return list.range.stamps[static_cast<std::size_t>(neighbour)] == list.vertex;
}

// Stamps the entry just kept once the list is long, and all of the list's entries when it
// has just grown long.
void note_kept(const ListScan& list, std::int64_t nvtxs) {
    const std::int64_t count = list.kept_at - list.start;
    if (count <= short_list_length) return;
    Block<int>& stamps = list.range.stamps;
    if (stamps.empty()) stamps.resize(static_cast<std::size_t>(nvtxs) + 1);
    const std::int64_t first = count == short_list_length + 1 ? list.start : list.kept_at - 1;
    for (std::int64_t at = first; at < list.kept_at; ++at)
        stamps[static_cast<std::size_t>(list.targets.adjacency[at])] = list.vertex;
}

// Checks the vertex weight; false after an error that ends the reading.
bool check_vertex_weight(const unsigned char* bytes, const ParhipLayout& layout, ListScan& list) {
    const std::int64_t weight = load_signed_field(
        bytes,
        layout.vertex_weights_at + (list.vertex - 1) * std::int64_t{layout.vertex_weight_bytes},
        layout.vertex_weight_bytes);
    if (weight > INT_MAX) {
        add_fatal_note(list.range, NoteKind::too_large_vertex_weight, list.vertex);
        return false;
    }
    if (weight < 1) {
        add_fatal_note(list.range, NoteKind::non_positive_vertex_weight, list.vertex);
        return false;
    }
    list.targets.vertex_weights[list.vertex - 1] = static_cast<int>(weight);
    return true;
}

// Checks the target at arc and its weight, in the order of the text reader's checks, and
// keeps it when it passes; false after an error that ends the reading.
bool check_arc(const unsigned char* bytes, const ParhipLayout& layout, ListScan& list,
               std::int64_t arc) {
    RangeScan& range = list.range;
    const std::uint64_t target =
        load_field(bytes, layout.targets_at + arc * layout.target_bytes, layout.target_bytes);
    if (target >= static_cast<std::uint64_t>(layout.nvtxs)) {
        range.has_fatal_error = true;
        range.stop_vertex = list.vertex;
        range.has_bad_target = true;
        range.bad_target = target;
        return false;
    }
    const int neighbour = static_cast<int>(target) + 1;
    bool is_dropped = false;
    bool is_repeated = false;
    if (neighbour == list.vertex) {
        if (range.self_edge_count == 0) add_note(range, NoteKind::self_edge, neighbour, neighbour);
        ++range.self_edge_count;
        is_dropped = true;
    } else if (is_kept_on_list(list, neighbour)) {
        add_note(range, NoteKind::repeated_neighbour, list.vertex, neighbour);
        ++range.ignored_count;
        is_dropped = true;
        is_repeated = true;
    }
    std::int64_t weight = 0;
    if (layout.has_edge_weights) {
        weight = load_signed_field(bytes, layout.edge_weights_at + arc * layout.edge_weight_bytes,
                                   layout.edge_weight_bytes);
        if (weight < 1) {
            add_note(range, NoteKind::bad_edge_weight, list.vertex, neighbour);
            if (!is_repeated) ++range.ignored_count;
            is_dropped = true;
        }
    }
    if (is_dropped) return true;
    list.targets.adjacency[list.kept_at] = neighbour;
    if (layout.has_edge_weights) {
        list.targets.edge_weights[list.kept_at] = static_cast<float>(weight);
    }
    ++list.kept_at;
    ++range.kept;
    note_kept(list, layout.nvtxs);
    return true;
}

// The common case in one tight loop: the arcs of a short list without edge weights that
// keeps every target it meets. Gives the arc it stopped at; from there on (a fault, a self
// edge, a repeat) check_arc takes over.
std::int64_t keep_plain_arcs(const unsigned char* bytes, const ParhipLayout& layout, ListScan& list,
                             std::int64_t arc, std::int64_t end_arc) {
    if (layout.has_edge_weights || end_arc - arc > short_list_length) return arc;
    int* const adjacency = list.targets.adjacency;
    const int* const first = adjacency + list.start;
    const std::uint64_t nvtxs = static_cast<std::uint64_t>(layout.nvtxs);
    const int width = layout.target_bytes;
    std::int64_t kept_at = list.kept_at;
    for (; arc < end_arc; ++arc) {
        const std::uint64_t target = load_field(bytes, layout.targets_at + arc * width, width);
        // The target is checked before it becomes a vertex number: 2^31 - 1 has none.
        if (target >= nvtxs) break;
        const int neighbour = static_cast<int>(target) + 1;
        if (neighbour == list.vertex ||
            std::find(first, static_cast<const int*>(adjacency + kept_at), neighbour) !=
                adjacency + kept_at) {
            break;
        }
        adjacency[kept_at++] = neighbour;
    }
    list.range.kept += kept_at - list.kept_at;
    list.kept_at = kept_at;
    return arc;
}

}  // namespace

void scan_parhip_range(const unsigned char* bytes, const ParhipLayout& layout,
                       const ScanTargets& targets, RangeScan& range) {
    range.kept = 0;
    std::int64_t kept_at = range.first_arc;
    std::int64_t arc = range.first_arc;
    for (std::int64_t v = range.first_vertex; v < range.end_vertex; ++v) {
        ListScan list{targets, range, static_cast<int>(v + 1), kept_at, kept_at};
        if (layout.has_vertex_weights && !check_vertex_weight(bytes, layout, list)) return;
        const std::int64_t end_arc = first_arc(bytes, layout, v + 1);
        for (arc = keep_plain_arcs(bytes, layout, list, arc, end_arc); arc < end_arc; ++arc) {
            if (!check_arc(bytes, layout, list, arc)) return;
        }
        targets.edge_offsets[v + 1] = range.kept;
    }
}
