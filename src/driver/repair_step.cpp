#include "driver/repair_step.h"

#include <utility>

#include "graph/graph_repair.h"

namespace {

// One kind of repair in the summary: its count and what it did, for one and for several.
struct RepairLine {
    std::int64_t count;
    const char* one;
    const char* several;
};

void print_line(const RepairLine& line, MessageSink& messages) {
    if (line.count == 0) return;
    messages.print("Repaired: %lld %s\n", static_cast<long long>(line.count),
                   line.count == 1 ? line.one : line.several);
}

// The lines of an edge list: each line's edge lies at both of its ends, so a line that
// repeats an earlier edge, in either direction, is a repeated entry in both lists, and a self
// edge one entry in its one list. There is no header whose count could be wrong.
void print_edge_line_summary(const ReadFindings& findings, const RepairCounts& counts,
                             MessageSink& messages) {
    const RepairLine lines[] = {
        findings.holds_matrix_entries
            ? RepairLine{counts.self_entries, "diagonal entry, not an edge.",
                         "diagonal entries, not edges."}
            : RepairLine{counts.self_entries, "self edge dropped.", "self edges dropped."},
        findings.holds_matrix_entries
            ? RepairLine{counts.repeated_entries / 2,
                         "entry merged with an earlier one of its edge.",
                         "entries merged with an earlier one of their edge."}
            : RepairLine{counts.repeated_entries / 2, "repeated edge merged.",
                         "repeated edges merged."},
    };
    for (const RepairLine& line : lines)
        print_line(line, messages);
}

void print_summary(const ReadFindings& findings, const RepairCounts& counts,
                   MessageSink& messages) {
    if (findings.holds_edge_lines) {
        print_edge_line_summary(findings, counts, messages);
        return;
    }
    const RepairLine lines[] = {
        {counts.one_sided_edges, "edge listed at one end only, now listed at both.",
         "edges listed at one end only, now listed at both."},
        {findings.self_entries + counts.self_entries, "self edge dropped.", "self edges dropped."},
        {findings.repeated_entries + counts.repeated_entries, "repeated neighbour listed once.",
         "repeated neighbours listed once."},
        {counts.weight_differences,
         "edge with different weights at its two ends, given the weight listed first.",
         "edges with different weights at their two ends, given the weight listed first."},
    };
    for (const RepairLine& line : lines)
        print_line(line, messages);
    if (counts.edge_count != findings.header_nedges) {
        messages.print("Repaired: the header's edge count %lld is now %lld.\n",
                       static_cast<long long>(findings.header_nedges),
                       static_cast<long long>(counts.edge_count));
    }
    if (findings.trailing_lines > 0) {
        messages.print("Repaired: %lld %s\n", static_cast<long long>(findings.trailing_lines),
                       findings.trailing_lines == 1 ? "line after the last vertex not read."
                                                    : "lines after the last vertex not read.");
    }
}

}  // namespace

int repair_read_graph(int nvtxs, const ReadFindings& findings, const ReaderSettings& settings,
                      Block<std::int64_t>& edge_offsets, Block<int>& adjacency,
                      Block<float>& edge_weights, MessageSink& messages) {
    RepairInput input;
    input.nvtxs = nvtxs;
    input.edge_offsets = edge_offsets.empty() ? nullptr : edge_offsets.data();
    input.adjacency = adjacency.empty() ? nullptr : adjacency.data();
    input.edge_weights = edge_weights.empty() ? nullptr : edge_weights.data();
    input.threads = settings.threads;
    input.narrow_entries = 2 * narrow_limit_of(settings);
    input.is_wide = settings.is_wide;
    // An edge list's lines lie at both of their ends already.
    input.is_symmetric = findings.holds_edge_lines;
    RepairedLists lists;
    RepairCounts counts;
    switch (repair_graph(input, lists, counts)) {
        case RepairResult::repaired:
            break;
        case RepairResult::out_of_memory:
            messages.error("Error. Not enough memory to repair the graph.\n");
            return 1;
        case RepairResult::too_large:
            messages.error("Error. Repaired graph too large: more than %lld edges.\n",
                           static_cast<long long>(input.is_wide ? wide_repair_entries / 2
                                                                : input.narrow_entries / 2));
            return 1;
    }
    // A graph that no vertex line reached stays without lists, as the reader left it.
    if (input.edge_offsets != nullptr) {
        edge_offsets = std::move(lists.edge_offsets);
        adjacency = std::move(lists.adjacency);
        if (input.edge_weights != nullptr) edge_weights = std::move(lists.edge_weights);
    }
    print_summary(findings, counts, messages);
    return 0;
}

bool has_unrepaired_fault(const ReadFindings& findings) {
    return findings.bad_weight_entries > 0 || findings.trailing_lines > 0;
}
