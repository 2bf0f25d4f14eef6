// The reader on arbitrary bytes: whatever it prints, an accepted file must leave arrays
// that the builder can trust.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_support.h"
#include "input/graph_reader.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// Offsets start at 0 and never decrease; every kept neighbour lies in 1..nvtxs, is not the
// vertex itself and is not kept twice for the same vertex.
void check_lists(const Block<int>& edge_offsets, const Block<int>& adjacency, int nvtxs) {
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static bool is_ready = false;
    if (!is_ready) {
        fuzz_support::quiet_standard_output();
        is_ready = true;
    }
    fuzz_support::HeaderCounts header = fuzz_support::header_of(data, size);
    if (!fuzz_support::is_small(header)) return -1;
    fuzz_support::forget_printed();

    Block<int> edge_offsets, adjacency, vertex_weights;
    Block<float> edge_weights;
    int nvtxs = 0;
    std::FILE* file = fuzz_support::stream_over(data, size);
    int result =
        read_graph_file(file, "fuzz", edge_offsets, adjacency, nvtxs, vertex_weights, edge_weights);
    if (result != 0) return 0;

    require(nvtxs == header.nvtxs);
    int format_code = header.format_code < 0 ? -header.format_code : header.format_code;
    bool has_edge_weights = format_code % 10 != 0;
    bool has_vertex_weights = format_code / 10 % 10 != 0;
    require(vertex_weights.empty() != has_vertex_weights);
    if (edge_offsets.empty()) {
        require(adjacency.empty() && edge_weights.empty());
        return 0;
    }
    check_lists(edge_offsets, adjacency, nvtxs);
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
