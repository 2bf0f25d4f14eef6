// The binary reader on arbitrary bytes: it reads them the same in one range and in many, and a
// file it accepts, written out as text, is a graph file the text reader accepts, with the same
// arrays.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "graph/vertex_graph.h"
#include "input/graph_reader.h"
#include "input/parhip_reader.h"
#include "output/graph_writer.h"

namespace {

using fuzz_support::require;

struct Arrays {
    Block<std::int64_t> edge_offsets;
    Block<int> adjacency, vertex_weights;
    Block<float> edge_weights;
    int nvtxs = 0;
    int result = 0;
    std::string printed;
};

void read_binary(const std::uint8_t* data, std::size_t size, int threads, Arrays& arrays) {
    fuzz_support::MemoryMessages messages;
    ReaderSettings settings;
    settings.threads = threads;
    settings.chunk_bytes = threads > 1 ? 8 : 0;
    arrays.result = read_parhip_file(fuzz_support::stream_over(data, size), "fuzz", messages.sink(),
                                     arrays.edge_offsets, arrays.adjacency, arrays.nvtxs,
                                     arrays.vertex_weights, arrays.edge_weights, settings);
    arrays.printed = messages.text();
}

template <typename T>
const T* or_null(const Block<T>& block) {
    return block.empty() ? nullptr : block.data();
}

// The graph as text, written as a run with -weights writes it.
std::string as_text(const Arrays& arrays) {
    VertexGraph graph;
    std::int64_t nedges = 0;
    fuzz_support::MemoryMessages messages;
    require(build_vertex_graph(or_null(arrays.edge_offsets), or_null(arrays.adjacency),
                               arrays.nvtxs, nedges, or_null(arrays.vertex_weights),
                               arrays.edge_weights.empty() ? nullptr : arrays.edge_weights.data(),
                               graph, messages.sink()) == 0);
    ReplicaExtras extras;
    extras.writes_vertex_weights = !arrays.vertex_weights.empty();
    extras.writes_edge_weights = !arrays.edge_weights.empty();
    char* bytes = nullptr;
    std::size_t byte_count = 0;
    std::FILE* out = open_memstream(&bytes, &byte_count);
    require(out != nullptr);
    require(write_replicated_graph(out, 1, "fuzz", arrays.nvtxs, nedges, 0, graph, extras) ==
            WriteResult::written);
    require(std::fclose(out) == 0);
    std::string text(bytes, byte_count);
    std::free(bytes);
    return text;
}

// The kept entries of both readings agree; past them the arrays may differ in length.
void require_same_graph(const Arrays& binary, const Arrays& text) {
    require(text.nvtxs == binary.nvtxs);
    require(text.vertex_weights.empty() == binary.vertex_weights.empty());
    for (std::size_t v = 0; v < binary.vertex_weights.size(); ++v)
        require(text.vertex_weights[v] == binary.vertex_weights[v]);
    const int entries = binary.edge_offsets.empty() ? 0 : binary.edge_offsets[binary.nvtxs];
    require(entries == (text.edge_offsets.empty() ? 0 : text.edge_offsets[text.nvtxs]));
    for (int v = 0; v <= binary.nvtxs && entries > 0; ++v)
        require(text.edge_offsets[v] == binary.edge_offsets[v]);
    for (int e = 0; e < entries; ++e) {
        require(text.adjacency[e] == binary.adjacency[e]);
        if (!binary.edge_weights.empty()) require(text.edge_weights[e] == binary.edge_weights[e]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Arrays binary;
    read_binary(data, size, 1, binary);
    Arrays in_ranges;
    read_binary(data, size, 3, in_ranges);
    require(in_ranges.result == binary.result && in_ranges.printed == binary.printed);
    if (binary.result != 0) return 0;

    const std::string text = as_text(binary);
    Arrays reread;
    fuzz_support::MemoryMessages messages;
    reread.result = read_graph_file(
        fuzz_support::stream_over(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
        "fuzz", messages.sink(), reread.edge_offsets, reread.adjacency, reread.nvtxs,
        reread.vertex_weights, reread.edge_weights);
    // Unequal weights at the two ends of an edge stay as they were, and so does their warning.
    require(reread.result == 0 && messages.sink().error_count() == 0);
    require_same_graph(binary, reread);
    return 0;
}
