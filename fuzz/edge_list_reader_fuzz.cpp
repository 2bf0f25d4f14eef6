// The edge list and matrix readers on arbitrary bytes (the first byte picks edgelist,
// edgelist1 or mtx): they read them the same in one chunk and in many, and a file one accepts,
// made a graph by the repair and written out as text, is a graph file the text reader accepts
// without a warning, with the same arrays.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "fuzz_support.h"
#include "graph/graph_repair.h"
#include "graph/vertex_graph.h"
#include "input/edge_list_reader.h"
#include "input/graph_reader.h"
#include "input/mtx_reader.h"
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
    ReadFindings findings;
};

using Reader = int (*)(std::FILE*, const char*, MessageSink&, Block<std::int64_t>&, Block<int>&,
                       int&, Block<int>&, Block<float>&, const ReaderSettings&);

void read_lines(Reader reader, const std::uint8_t* data, std::size_t size, int threads,
                Arrays& arrays) {
    fuzz_support::MemoryMessages messages;
    ReaderSettings settings;
    settings.threads = threads;
    settings.chunk_bytes = threads > 1 ? 8 : 0;
    settings.takes_values_as_weights = true;
    settings.findings = &arrays.findings;
    arrays.result = reader(fuzz_support::stream_over(data, size), "fuzz", messages.sink(),
                           arrays.edge_offsets, arrays.adjacency, arrays.nvtxs,
                           arrays.vertex_weights, arrays.edge_weights, settings);
    arrays.printed = messages.text();
}

template <class T>
bool same_block(const Block<T>& a, const Block<T>& b) {
    return a == b;
}

// Repairs the lists in place, as a run does.
void repair(Arrays& arrays) {
    RepairInput input;
    input.nvtxs = arrays.nvtxs;
    input.edge_offsets = arrays.edge_offsets.data();
    input.adjacency = arrays.adjacency.data();
    input.edge_weights = arrays.edge_weights.empty() ? nullptr : arrays.edge_weights.data();
    input.is_symmetric = true;
    RepairedLists lists;
    RepairCounts counts;
    require(repair_graph(input, lists, counts) == RepairResult::repaired);
    require(counts.one_sided_edges == 0 && counts.weight_differences == 0);
    arrays.edge_offsets = std::move(lists.edge_offsets);
    arrays.adjacency = std::move(lists.adjacency);
    if (input.edge_weights != nullptr) arrays.edge_weights = std::move(lists.edge_weights);
}

// The graph as text, written as a run with -weights writes it.
std::string as_text(const Arrays& arrays) {
    VertexGraph graph;
    std::int64_t nedges = 0;
    fuzz_support::MemoryMessages messages;
    require(build_vertex_graph(arrays.edge_offsets.data(), arrays.adjacency.data(), arrays.nvtxs,
                               nedges, nullptr,
                               arrays.edge_weights.empty() ? nullptr : arrays.edge_weights.data(),
                               graph, messages.sink()) == 0);
    ReplicaExtras extras;
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

// Whether the input names no number of more than six digits: a vertex number or a matrix size
// sizes the lists, and gigabytes of them would only test the memory of the fuzzing machine.
bool is_small(const std::uint8_t* data, std::size_t size) {
    int digits = 0;
    for (std::size_t i = 0; i < size; ++i) {
        digits = data[i] >= '0' && data[i] <= '9' ? digits + 1 : 0;
        if (digits > 6) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || !is_small(data, size)) return -1;
    const Reader readers[] = {read_edge_list_file, read_edge_list1_file, read_mtx_file};
    const Reader reader = readers[data[0] % 3];
    Arrays whole;
    read_lines(reader, data + 1, size - 1, 1, whole);
    Arrays in_chunks;
    read_lines(reader, data + 1, size - 1, 3, in_chunks);
    require(in_chunks.result == whole.result && in_chunks.printed == whole.printed);
    if (whole.result != 0) return 0;
    require(whole.findings.is_filled && whole.findings.holds_edge_lines);
    require(in_chunks.nvtxs == whole.nvtxs);
    require(same_block(in_chunks.edge_offsets, whole.edge_offsets));
    require(same_block(in_chunks.adjacency, whole.adjacency));
    require(same_block(in_chunks.edge_weights, whole.edge_weights));

    repair(whole);
    const std::string text = as_text(whole);
    Arrays reread;
    fuzz_support::MemoryMessages messages;
    reread.result = read_graph_file(
        fuzz_support::stream_over(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
        "fuzz", messages.sink(), reread.edge_offsets, reread.adjacency, reread.nvtxs,
        reread.vertex_weights, reread.edge_weights);
    require(reread.result == 0 && messages.sink().error_count() == 0 &&
            messages.sink().warning_count() == 0);
    require(reread.nvtxs == whole.nvtxs);
    const std::int64_t entries = whole.edge_offsets[whole.nvtxs];
    for (std::int64_t e = 0; e < entries; ++e) {
        require(reread.adjacency[e] == whole.adjacency[e]);
        if (!whole.edge_weights.empty()) require(reread.edge_weights[e] == whole.edge_weights[e]);
    }
    return 0;
}
