// Line pieces: the copies' vertex lines cut into units of work of bounded size, each
// formatted alone into a buffer.
//
// A copy's lines are cut into pieces whose bytes cannot pass the piece budget, each counted
// at its largest; a line longer than that is split between two of its items. A copy that
// fits one piece shares a unit with the copies after it, so that many copies of a small graph
// do not go out one small write each. Unit u formats the same bytes whoever formats it and
// whenever: the units, written in order, are the vertex lines of the whole output.
#pragma once

#include <cstdint>
#include <vector>

#include "common/join_pair.h"
#include "graph/vertex_graph.h"
#include "output/entry_text.h"
#include "output/join_ring.h"

struct ProgressCounters;

// The most bytes one piece may take, and the budget of a piece when nothing smaller is asked.
constexpr std::int64_t largest_piece_budget = std::int64_t{1} << 20;

// Where a piece of a copy's lines begins: an item of a vertex line, item 0 beginning it.
struct Cut {
    int vertex;
    std::int64_t item;
};

// The copies a run writes: first up to end (excluded), all of them unless the run writes one
// part of the output. The copies keep their numbers, and so their vertex numbers and partners.
struct CopyRange {
    int first = 0;
    int end = 0;
};

// What formatting any unit reads, prepared once per run.
struct PieceLayout {
    const VertexGraph* graph = nullptr;
    int times = 0;
    CopyRange copies;
    int nvtxs = 0;
    bool writes_vertex_weights = false;
    bool writes_edge_weights = false;
    JoinRing ring;
    // The pieces of every copy: piece k runs from cuts[k] up to cuts[k + 1].
    std::vector<Cut> cuts;
    std::int64_t item_bytes = 0;  // the most bytes one item of a line takes
    std::int64_t piece_budget = largest_piece_budget;
    std::int64_t copies_per_unit = 1;
    std::int64_t unit_count = 0;
    std::int64_t unit_bytes = 0;  // the most bytes one unit takes
    // Told of every unit handed to the stream, for a progress line; null tells nobody.
    ProgressCounters* progress = nullptr;
};

// What the copies carry besides their neighbour lists.
struct LineContent {
    bool writes_vertex_weights = false;
    bool writes_edge_weights = false;  // every record of the graph then has its edge_weights
    const std::vector<JoinPair>* join_pairs = nullptr;  // none when null
};

// Lays out the copies of range (held within 0 to times) of graph (nvtxs at least 1) in pieces
// of at most piece_budget bytes, held between one item and a newline and largest_piece_budget.
// Returns 1 when the memory is not there.
[[nodiscard]] int prepare_pieces(const VertexGraph& graph, int times, CopyRange range, int nvtxs,
                                 const LineContent& content, std::int64_t piece_budget,
                                 PieceLayout& layout);

// Formats unit number unit (below unit_count) at text, which has room for unit_bytes and
// number_text_slack more, and returns the end.
char* format_unit(const PieceLayout& layout, std::int64_t unit, char* text, WeightTexts& texts);
