#include "output/line_pieces.h"

#include <algorithm>
#include <limits>

#include "common/allocation.h"

namespace {

// The items of one output line: the vertex weight (when written), the neighbours, then the
// partners of each group.
struct Line {
    const VertexRecord* record;
    std::int64_t offset;  // the line's copy's offset
    int group_count;
    const JoinPair* partners[2];
    std::int64_t partner_counts[2];
    std::int64_t partner_offsets[2];
};

std::int64_t item_count(const PieceLayout& layout, const Line& line) {
    std::int64_t count = (layout.writes_vertex_weights ? 1 : 0) + line.record->list_length - 1;
    for (int g = 0; g < line.group_count; ++g)
        count += line.partner_counts[g];
    return count;
}

// Writes items first to last (excluded) of line at text and returns the end. The caller has
// made room for item_bytes per item.
char* append_items(const PieceLayout& layout, const Line& line, std::int64_t first,
                   std::int64_t last, char* text, WeightTexts& texts) {
    // Each part of the line covers items base to base + count - 1; [begin, end) is the share
    // of them asked for, relative to the part.
    std::int64_t base = 0;
    auto share = [&](std::int64_t count, std::int64_t& begin, std::int64_t& end) {
        begin = std::clamp(first - base, std::int64_t{0}, count);
        end = std::clamp(last - base, std::int64_t{0}, count);
        base += count;
        return begin < end;
    };
    std::int64_t begin = 0;
    std::int64_t end = 0;
    const VertexRecord& record = *line.record;
    if (layout.writes_vertex_weights && share(1, begin, end)) {
        text = append_entry(text, record.weight);
    }
    // Entry 0 is the vertex itself and is not written.
    if (share(record.list_length - 1, begin, end)) {
        const int* neighbours = record.neighbours + 1;
        if (layout.writes_edge_weights) {
            text = append_weighted_entries(text, neighbours + begin, neighbours + end,
                                           record.edge_weights + 1 + begin, line.offset, texts);
        } else {
            text = append_entries(text, neighbours + begin, neighbours + end, line.offset);
        }
    }
    for (int g = 0; g < line.group_count; ++g) {
        if (!share(line.partner_counts[g], begin, end)) continue;
        for (const JoinPair* pair = line.partners[g] + begin; pair != line.partners[g] + end;
             ++pair) {
            text = append_entry(text, pair->to + line.partner_offsets[g]);
            if (layout.writes_edge_weights) text = append_entry(text, join_edge_weight);
        }
    }
    return text;
}

// Formats the piece of copy that runs from first up to last at text and returns the end.
// The caller has made room for the piece's bytes at their largest and number_text_slack more.
char* format_piece(const PieceLayout& layout, std::int64_t copy, Cut first, Cut last, char* text,
                   WeightTexts& texts) {
    CopyPartners partners = partners_of_copy(layout.ring, copy);
    for (int g = 0; g < partners.group_count; ++g) {
        PartnerGroup& group = partners.groups[g];
        group.next =
            std::lower_bound(group.next, group.end, first.vertex,
                             [](const JoinPair& pair, int vertex) { return pair.from < vertex; });
    }
    // The lowest vertex with partners still to list; the lines before it have none.
    auto next_joined = [&partners]() {
        int vertex = std::numeric_limits<int>::max();
        for (int g = 0; g < partners.group_count; ++g) {
            const PartnerGroup& group = partners.groups[g];
            if (group.next != group.end) vertex = std::min(vertex, group.next->from);
        }
        return vertex;
    };
    int joined = next_joined();
    Line line{};
    line.offset = copy_offset(copy, layout.nvtxs);
    line.group_count = partners.group_count;
    const int last_vertex = last.item == 0 ? last.vertex - 1 : last.vertex;
    for (int v = first.vertex; v <= last_vertex; ++v) {
        const VertexRecord& record = *layout.graph->slots[v];
        const std::int64_t start = v == first.vertex ? first.item : 0;
        const std::int64_t stop =
            v == last.vertex ? last.item : std::numeric_limits<std::int64_t>::max();
        // Most lines are whole, without partners and without a vertex weight: their
        // entries go out directly.
        if (v < joined && start == 0 && stop == std::numeric_limits<std::int64_t>::max() &&
            !layout.writes_vertex_weights) {
            const int* neighbours = record.neighbours + 1;
            const int* const end = record.neighbours + record.list_length;
            text = layout.writes_edge_weights
                       ? append_weighted_entries(text, neighbours, end, record.edge_weights + 1,
                                                 line.offset, texts)
                       : append_entries(text, neighbours, end, line.offset);
            *text++ = '\n';
            continue;
        }
        line.record = &record;
        for (int g = 0; g < partners.group_count; ++g) {
            PartnerGroup& group = partners.groups[g];
            line.partners[g] = take_partners(group, v);
            line.partner_counts[g] = group.next - line.partners[g];
            line.partner_offsets[g] = group.offset;
        }
        if (v == joined) joined = next_joined();
        text = append_items(layout, line, start, stop, text, texts);
        // The newline counts as the item after the last: the piece that holds that position
        // ends the line. With two copies a line may hold fewer items than counted for it.
        const std::int64_t count = item_count(layout, line);
        if (start <= count && count < stop) *text++ = '\n';
    }
    return text;
}

// Cuts a copy's lines into pieces of at most the piece budget, each line counted with the
// partners of both neighbouring copies (with two copies each copy has only one share of
// them). Returns 1 when the memory is not there.
[[nodiscard]] int cut_pieces(PieceLayout& layout) {
    const std::int64_t piece_budget = layout.piece_budget;
    const std::int64_t items_per_piece = (piece_budget - 1) / layout.item_bytes;
    const JoinPair* next = layout.ring.next_partners.data();
    const JoinPair* const next_end = next + layout.ring.next_partners.size();
    const JoinPair* previous = layout.ring.previous_partners.data();
    const JoinPair* const previous_end = previous + layout.ring.previous_partners.size();
    return allocates_or_fails([&] {
        layout.cuts.push_back({1, 0});
        std::int64_t used = 0;
        for (int v = 1; v <= layout.nvtxs; ++v) {
            std::int64_t items =
                (layout.writes_vertex_weights ? 1 : 0) + layout.graph->slots[v]->list_length - 1;
            for (; next != next_end && next->from == v; ++next)
                ++items;
            for (; previous != previous_end && previous->from == v; ++previous)
                ++items;
            const std::int64_t line_bytes = items * layout.item_bytes + 1;
            if (used + line_bytes <= piece_budget) {
                used += line_bytes;
                continue;
            }
            if (used > 0) layout.cuts.push_back({v, 0});
            used = line_bytes;
            for (std::int64_t item = items_per_piece; used > piece_budget;
                 item += items_per_piece) {
                layout.cuts.push_back({v, item});
                used = (items - item) * layout.item_bytes + 1;
            }
        }
        layout.cuts.push_back({layout.nvtxs + 1, 0});
        const std::int64_t piece_count = static_cast<std::int64_t>(layout.cuts.size()) - 1;
        const std::int64_t copy_count = layout.copies.end - layout.copies.first;
        if (piece_count == 1) {
            layout.copies_per_unit = std::max(std::int64_t{1}, piece_budget / used);
            layout.unit_bytes = layout.copies_per_unit * used;
            layout.unit_count = (copy_count + layout.copies_per_unit - 1) / layout.copies_per_unit;
        } else {
            layout.unit_bytes = piece_budget;
            layout.unit_count = copy_count * piece_count;
        }
    });
}

}  // namespace

int prepare_pieces(const VertexGraph& graph, int times, CopyRange range, int nvtxs,
                   const LineContent& content, std::int64_t piece_budget, PieceLayout& layout) {
    layout.graph = &graph;
    layout.times = times;
    layout.copies.first = std::clamp(range.first, 0, times);
    layout.copies.end = std::clamp(range.end, layout.copies.first, times);
    layout.nvtxs = nvtxs;
    layout.writes_vertex_weights = content.writes_vertex_weights;
    layout.writes_edge_weights = content.writes_edge_weights;
    layout.item_bytes = max_entry_bytes + (layout.writes_edge_weights ? max_weight_bytes : 0);
    // A piece holds at least one item and a newline.
    layout.piece_budget = std::clamp(piece_budget, layout.item_bytes + 1, largest_piece_budget);
    const std::vector<JoinPair> no_pairs;
    const std::vector<JoinPair>& pairs =
        content.join_pairs == nullptr ? no_pairs : *content.join_pairs;
    if (prepare_join_ring(times, nvtxs, pairs, layout.ring) != 0) return 1;
    return cut_pieces(layout);
}

// One piece of a copy, or whole copies when a copy is one piece.
char* format_unit(const PieceLayout& layout, std::int64_t unit, char* text, WeightTexts& texts) {
    const std::int64_t piece_count = static_cast<std::int64_t>(layout.cuts.size()) - 1;
    if (piece_count > 1) {
        const std::int64_t copy = layout.copies.first + unit / piece_count;
        const std::size_t k = static_cast<std::size_t>(unit % piece_count);
        return format_piece(layout, copy, layout.cuts[k], layout.cuts[k + 1], text, texts);
    }
    const std::int64_t first = layout.copies.first + unit * layout.copies_per_unit;
    const std::int64_t last =
        std::min<std::int64_t>(layout.copies.end, first + layout.copies_per_unit);
    for (std::int64_t copy = first; copy < last; ++copy) {
        text = format_piece(layout, copy, layout.cuts[0], layout.cuts[1], text, texts);
    }
    return text;
}
