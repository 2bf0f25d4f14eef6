// The whole run on arbitrary bytes: when the reader accepts a file without a word, the
// replicated graph must be written byte for byte as the file format has it and read back
// without a word too, with every copy's lists equal to the original's shifted by the copy's
// offset.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "graph/vertex_graph.h"
#include "input/graph_reader.h"
#include "output/graph_writer.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

struct ReadGraph {
    Block<int> edge_offsets, adjacency, vertex_weights;
    Block<float> edge_weights;
    int nvtxs = 0;
    int result = 1;
};

ReadGraph read_bytes(const std::uint8_t* data, std::size_t size) {
    ReadGraph graph;
    std::FILE* file = fuzz_support::stream_over(data, size);
    graph.result = read_graph_file(file, "fuzz", graph.edge_offsets, graph.adjacency, graph.nvtxs,
                                   graph.vertex_weights, graph.edge_weights);
    return graph;
}

int list_length(const ReadGraph& graph, int v) {
    if (graph.edge_offsets.empty()) return 0;
    return graph.edge_offsets[v] - graph.edge_offsets[v - 1];
}

// Vertex v of copy j in the replicated graph holds the original list of v plus j * nvtxs.
void check_copies(const ReadGraph& original, const ReadGraph& copies, int times) {
    int nvtxs = original.nvtxs;
    require(copies.nvtxs == times * nvtxs);
    for (int j = 0; j < times; ++j) {
        for (int v = 1; v <= nvtxs; ++v) {
            int w = j * nvtxs + v;
            int length = list_length(original, v);
            require(list_length(copies, w) == length);
            for (int e = 0; e < length; ++e) {
                int expected = original.adjacency[original.edge_offsets[v - 1] + e] + j * nvtxs;
                require(copies.adjacency[copies.edge_offsets[w - 1] + e] == expected);
            }
        }
    }
}

// The replicated file formed the plain way: the comment line, the header, then every
// vertex line of every copy, each number followed by one blank.
std::string expected_file(const ReadGraph& original, int times, int nedges) {
    const int nvtxs = original.nvtxs;
    std::string text = "% " + std::to_string(times) + " fuzz\n" + std::to_string(times * nvtxs) +
                       " " + std::to_string(times * nedges) + "\n";
    for (int j = 0; j < times; ++j) {
        for (int v = 1; v <= nvtxs; ++v) {
            for (int e = 0; e < list_length(original, v); ++e) {
                const int u = original.adjacency[original.edge_offsets[v - 1] + e];
                text += std::to_string(u + j * nvtxs) + " ";
            }
            text += "\n";
        }
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_support::quiet_standard_output();
    // The copy count comes from the length, so that every byte belongs to the graph file
    // and a seed reads as the file it is; one blank more or less changes the count.
    int times = 1 + static_cast<int>(size % 4);
    if (!fuzz_support::is_small(fuzz_support::header_of(data, size))) return -1;

    fuzz_support::forget_printed();
    ReadGraph original = read_bytes(data, size);
    if (original.result != 0 || fuzz_support::printed_anything()) return 0;
    VertexGraph graph;
    int nedges = 0;
    const int* edge_offsets =
        original.edge_offsets.empty() ? nullptr : original.edge_offsets.data();
    const int* adjacency = original.adjacency.empty() ? nullptr : original.adjacency.data();
    require(build_vertex_graph(edge_offsets, adjacency, original.nvtxs, nedges, nullptr, nullptr,
                               graph) == 0);
    require(!fuzz_support::printed_anything());

    char* bytes = nullptr;
    std::size_t byte_count = 0;
    std::FILE* out = open_memstream(&bytes, &byte_count);
    require(out != nullptr);
    require(write_replicated_graph(out, times, "fuzz", original.nvtxs, nedges, 0, graph) == 0);
    require(std::fclose(out) == 0);

    require(std::string_view(bytes, byte_count) == expected_file(original, times, nedges));
    const auto* written = reinterpret_cast<const std::uint8_t*>(bytes);
    fuzz_support::HeaderCounts header = fuzz_support::header_of(written, byte_count);
    require(header.nedges == times * nedges && header.format_code == 0);
    ReadGraph copies = read_bytes(written, byte_count);
    require(copies.result == 0 && !fuzz_support::printed_anything());
    check_copies(original, copies, times);
    std::free(bytes);
    return 0;
}
