// The reader on arbitrary bytes: whatever it prints, an accepted file must leave arrays
// that the builder and the summary can trust, and the outcome of every neighbour search the reader
// makes with its sorted copies and stamps must match a plain search of the lists it returns.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "graph/graph_stats.h"
#include "input/graph_reader.h"

namespace {

using fuzz_support::require;

// Offsets start at 0 and never decrease; every kept neighbour lies in 1..nvtxs, is not the
// vertex itself and is not kept twice for the same vertex.
void check_lists(const Block<std::int64_t>& edge_offsets, const Block<int>& adjacency, int nvtxs) {
    require(static_cast<std::int64_t>(edge_offsets.size()) == std::int64_t{nvtxs} + 1);
    require(edge_offsets[0] == 0);
    std::vector<int> seen_for(static_cast<std::size_t>(nvtxs) + 1, 0);
    for (int v = 1; v <= nvtxs; ++v) {
        require(edge_offsets[v] >= edge_offsets[v - 1]);
        require(edge_offsets[v] <= static_cast<std::int64_t>(adjacency.size()));
        for (int e = edge_offsets[v - 1]; e < edge_offsets[v]; ++e) {
            int u = adjacency[e];
            require(u >= 1 && u <= nvtxs && u != v);
            require(seen_for[u] != v);
            seen_for[u] = v;
        }
    }
}

// Whether the list of vertex holds neighbour, searched entry by entry.
bool list_holds(const Block<std::int64_t>& edge_offsets, const Block<int>& adjacency, int vertex,
                int neighbour) {
    for (int e = edge_offsets[vertex - 1]; e < edge_offsets[vertex]; ++e) {
        if (adjacency[e] == neighbour) return true;
    }
    return false;
}

// Each (vertex, neighbour) pair of the messages that start with message_start, in printed.
std::vector<std::pair<int, int>> pairs_in(const std::string& printed, const char* message_start) {
    std::vector<std::pair<int, int>> pairs;
    const std::string start = message_start;
    for (std::string::size_type at = printed.find(start); at != std::string::npos;
         at = printed.find(start, at + 1)) {
        int vertex = 0;
        int neighbour = 0;
        const char* text = printed.c_str() + at + start.size();
        // Both forms, "(V,U)" and "(V, U)": %d passes over the blank.
        require(std::sscanf(text, "%d,%d", &vertex, &neighbour) == 2);
        pairs.emplace_back(vertex, neighbour);
    }
    return pairs;
}

// An edge reported as entered at one end only really is missing from the other end's list,
// which was complete when the report came, whatever stopped the reading later: a lower
// vertex's list at a higher vertex's line, every list once the last line has been read.
void check_unmatched_reports(const std::string& printed, const Block<std::int64_t>& edge_offsets,
                             const Block<int>& adjacency) {
    for (const auto& [vertex, neighbour] : pairs_in(printed, "': Edge (")) {
        require(neighbour >= 1 && neighbour != vertex);
        require(static_cast<std::int64_t>(edge_offsets.size()) > std::max(vertex, neighbour));
        require(!list_holds(edge_offsets, adjacency, neighbour, vertex));
        if (neighbour > vertex) require(list_holds(edge_offsets, adjacency, vertex, neighbour));
    }
}

// In an accepted file every entry is matched in its neighbour's list, and every repeat
// warned about was kept before.
void check_searches(const std::string& printed, const Block<std::int64_t>& edge_offsets,
                    const Block<int>& adjacency, int nvtxs) {
    for (int v = 1; v <= nvtxs; ++v) {
        for (int e = edge_offsets[v - 1]; e < edge_offsets[v]; ++e) {
            const int u = adjacency[e];
            require(list_holds(edge_offsets, adjacency, u, v));
        }
    }
    for (const auto& [vertex, neighbour] : pairs_in(printed, "Multiple occurences of edge (")) {
        require(list_holds(edge_offsets, adjacency, vertex, neighbour));
    }
}

// The summary's figures agree with each other and with the lists: every vertex in one degree
// range, each edge met at both ends, and components that a spanning forest can join.
void check_summary(const Block<std::int64_t>& edge_offsets, const Block<int>& adjacency, int nvtxs,
                   const Block<int>& vertex_weights, const Block<float>& edge_weights) {
    GraphStats stats;
    require(compute_graph_stats(edge_offsets.empty() ? nullptr : edge_offsets.data(),
                                adjacency.empty() ? nullptr : adjacency.data(), nvtxs,
                                vertex_weights.empty() ? nullptr : vertex_weights.data(),
                                edge_weights.empty() ? nullptr : edge_weights.data(), stats) == 0);
    std::int64_t counted = 0;
    for (std::int64_t count : stats.degree_counts)
        counted += count;
    require(counted == nvtxs && stats.degree_counts[0] == stats.isolated_count);
    const std::int64_t entries = edge_offsets.empty() ? 0 : edge_offsets[nvtxs];
    require(2 * stats.edge_count == entries);
    require(stats.component_count >= 1 && stats.component_count <= nvtxs);
    require(stats.component_count + stats.edge_count >= nvtxs);
    require(stats.largest_component >= 1 && stats.largest_component <= nvtxs);
    require(stats.isolated_count <= stats.component_count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_support::HeaderCounts header = fuzz_support::header_of(data, size);
    if (!fuzz_support::is_small(header)) return -1;

    Block<std::int64_t> edge_offsets;

    Block<int> adjacency, vertex_weights;
    Block<float> edge_weights;
    int nvtxs = 0;
    std::FILE* file = fuzz_support::stream_over(data, size);
    fuzz_support::MemoryMessages messages;
    int result = read_graph_file(file, "fuzz", messages.sink(), edge_offsets, adjacency, nvtxs,
                                 vertex_weights, edge_weights);
    const std::string printed = messages.text();
    if (result != 0) {
        check_unmatched_reports(printed, edge_offsets, adjacency);
        return 0;
    }

    require(nvtxs == header.nvtxs);
    // The code saturates at the 32-bit limits, and -2147483648 has no int negation.
    const std::int64_t format_code =
        header.format_code < 0 ? -std::int64_t{header.format_code} : header.format_code;
    bool has_edge_weights = format_code % 10 != 0;
    bool has_vertex_weights = format_code / 10 % 10 != 0;
    require(vertex_weights.empty() != has_vertex_weights);
    check_summary(edge_offsets, adjacency, nvtxs, vertex_weights, edge_weights);
    if (edge_offsets.empty()) {
        require(adjacency.empty() && edge_weights.empty());
        return 0;
    }
    check_lists(edge_offsets, adjacency, nvtxs);
    check_searches(printed, edge_offsets, adjacency, nvtxs);
    require(adjacency.empty() == (header.nedges == 0));
    require(edge_weights.empty() != (has_edge_weights && header.nedges > 0));
    if (has_vertex_weights) {
        for (int weight : vertex_weights)
            require(weight >= 1);
    }
    for (int e = 0; e < edge_offsets[nvtxs] && has_edge_weights; ++e) {
        require(!(edge_weights[e] < 0.0f));
    }
    return 0;
}
