// The repair on arbitrary bytes: whatever a reading for a repair accepts, the repaired graph,
// written as one copy with its weights, must read back without a word, holding every edge the
// reading kept, at both ends, with the weight of its first entry, and the vertex weights as
// read. A hash of the bytes chooses 1 to 4 threads for the reading and the repair.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "graph/graph_repair.h"
#include "graph/vertex_graph.h"
#include "input/graph_reader.h"
#include "output/graph_writer.h"

namespace {

using fuzz_support::require;

struct ReadGraph {
    Block<std::int64_t> edge_offsets;
    Block<int> adjacency, vertex_weights;
    Block<float> edge_weights;
    int nvtxs = 0;
    int result = 1;
    std::string messages;
};

ReadGraph read_bytes(const std::uint8_t* data, std::size_t size, const ReaderSettings& settings) {
    ReadGraph graph;
    std::FILE* file = fuzz_support::stream_over(data, size);
    fuzz_support::MemoryMessages messages;
    graph.result =
        read_graph_file(file, "fuzz", messages.sink(), graph.edge_offsets, graph.adjacency,
                        graph.nvtxs, graph.vertex_weights, graph.edge_weights, settings);
    graph.messages = messages.text();
    return graph;
}

// The entries of lists, in position order, which is their file order.
std::vector<fuzz_support::ListedEntry> entries_of(int nvtxs,
                                                  const Block<std::int64_t>& edge_offsets,
                                                  const Block<int>& adjacency,
                                                  const Block<float>& edge_weights) {
    std::vector<fuzz_support::ListedEntry> entries;
    for (int v = 1; v <= nvtxs && !edge_offsets.empty(); ++v) {
        for (std::int64_t i = edge_offsets[v - 1]; i < edge_offsets[v]; ++i) {
            entries.push_back({v, adjacency[i], edge_weights.empty() ? 1.0f : edge_weights[i]});
        }
    }
    return entries;
}

std::string written(int nvtxs, int nedges, const VertexGraph& graph, const ReplicaExtras& extras) {
    char* bytes = nullptr;
    std::size_t byte_count = 0;
    std::FILE* out = open_memstream(&bytes, &byte_count);
    require(out != nullptr);
    require(write_replicated_graph(out, 1, "fuzz", nvtxs, nedges, 0, graph, extras) ==
            WriteResult::written);
    require(std::fclose(out) == 0);
    std::string text(bytes, byte_count);
    std::free(bytes);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!fuzz_support::is_small(fuzz_support::header_of(data, size))) return -1;
    const int threads = 1 + static_cast<int>(size % 4);
    ReaderSettings settings;
    settings.threads = threads;
    settings.repairs = true;
    ReadFindings findings;
    settings.findings = &findings;
    ReadGraph read = read_bytes(data, size, settings);
    if (read.result != 0) return 0;
    const bool is_weighted = !read.edge_weights.empty();
    RepairInput input;
    input.nvtxs = read.nvtxs;
    input.edge_offsets = read.edge_offsets.empty() ? nullptr : read.edge_offsets.data();
    input.adjacency = read.adjacency.empty() ? nullptr : read.adjacency.data();
    input.edge_weights = is_weighted ? read.edge_weights.data() : nullptr;
    input.threads = threads;
    // Every other input is repaired on wide positions, the narrow ones ending at one entry:
    // both give the same closure.
    input.is_wide = size % 2 == 0;
    input.narrow_entries = input.is_wide ? 1 : 0;
    RepairedLists lists;
    RepairCounts counts;
    require(repair_graph(input, lists, counts) == RepairResult::repaired);
    // The reader drops self entries and repeats itself.
    require(counts.self_entries == 0 && counts.repeated_entries == 0);
    const fuzz_support::EdgeWeights expected = fuzz_support::symmetric_closure(
        entries_of(read.nvtxs, read.edge_offsets, read.adjacency, read.edge_weights), is_weighted,
        false);
    require(counts.edge_count == static_cast<std::int64_t>(expected.size()));

    ReplicaExtras extras;
    extras.writes_vertex_weights = !read.vertex_weights.empty();
    extras.writes_edge_weights = is_weighted && !lists.edge_weights.empty();
    VertexGraph graph;
    std::int64_t nedges = 0;
    fuzz_support::MemoryMessages messages;
    require(build_vertex_graph(lists.edge_offsets.empty() ? nullptr : lists.edge_offsets.data(),
                               lists.adjacency.empty() ? nullptr : lists.adjacency.data(),
                               read.nvtxs, nedges,
                               extras.writes_vertex_weights ? read.vertex_weights.data() : nullptr,
                               extras.writes_edge_weights ? lists.edge_weights.data() : nullptr,
                               graph, messages.sink()) == 0);
    require(messages.text().empty());
    require(nedges == counts.edge_count);

    const std::string bytes = written(read.nvtxs, nedges, graph, extras);
    const auto* text = reinterpret_cast<const std::uint8_t*>(bytes.data());
    ReadGraph back = read_bytes(text, bytes.size(), ReaderSettings{});
    require(back.result == 0 && back.messages.empty());
    require(back.nvtxs == read.nvtxs);
    require(back.vertex_weights == read.vertex_weights);
    const fuzz_support::EdgeWeights found = fuzz_support::symmetric_closure(
        entries_of(back.nvtxs, back.edge_offsets, back.adjacency, back.edge_weights),
        extras.writes_edge_weights, false);
    require(found == expected);
    return 0;
}
