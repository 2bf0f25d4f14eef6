// The whole run on arbitrary bytes: when the reader accepts a file without a word, the
// replicated graph, joined, weighted, cut into pieces and formatted on threads as a hash of
// the bytes chooses, must read back without a word too, with every copy's lists and weights
// equal to the original's shifted by the copy's offset, followed by the vertex's join
// partners. Half of the weighted runs draw edge weights that share the slots of the writer's
// table of weight texts. Its bytes must be those of one thread and whole pieces, and unweighted,
// those the file format gives. Each copy must begin where its length, counted without
// formatting, puts it, and the binary layout read back must hold the same lists and weights.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "graph/vertex_graph.h"
#include "input/graph_reader.h"
#include "output/copy_layout.h"
#include "output/graph_writer.h"
#include "output/parhip_writer.h"

namespace {

using fuzz_support::require;

struct ReadGraph {
    Block<std::int64_t> edge_offsets;
    Block<int> adjacency, vertex_weights;
    Block<float> edge_weights;
    int nvtxs = 0;
    int result = 1;
    bool printed_anything = false;
};

ReadGraph read_bytes(const std::uint8_t* data, std::size_t size) {
    ReadGraph graph;
    std::FILE* file = fuzz_support::stream_over(data, size);
    fuzz_support::MemoryMessages messages;
    graph.result =
        read_graph_file(file, "fuzz", messages.sink(), graph.edge_offsets, graph.adjacency,
                        graph.nvtxs, graph.vertex_weights, graph.edge_weights);
    graph.printed_anything = !messages.text().empty();
    return graph;
}

int list_length(const ReadGraph& graph, int v) {
    if (graph.edge_offsets.empty()) return 0;
    return graph.edge_offsets[v] - graph.edge_offsets[v - 1];
}

using fuzz_support::Random;

std::uint64_t hash_of(const std::uint8_t* data, std::size_t size) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 1099511628211ULL;
    return hash;
}

// Up to seven distinct join pairs, the input's weights half of the time, one to four threads,
// and half of the time pieces so small that lines are cut and every copy is many pieces.
ReplicaExtras extras_for(const std::uint8_t* data, std::size_t size, const ReadGraph& original) {
    Random random{hash_of(data, size)};
    ReplicaExtras extras;
    const std::uint64_t choice = random.next();
    if (choice & 1) {
        extras.writes_vertex_weights = !original.vertex_weights.empty();
        extras.writes_edge_weights = !original.edge_weights.empty();
    }
    extras.threads = 1 + static_cast<int>((choice >> 4) % 4);
    if ((choice >> 6) & 1) extras.piece_bytes = 16 + static_cast<std::int64_t>((choice >> 7) % 200);
    const int wanted = static_cast<int>(choice >> 1) % 8;
    for (int i = 0; i < wanted; ++i) {
        const int from = 1 + static_cast<int>(random.next() % original.nvtxs);
        const int to = 1 + static_cast<int>(random.next() % original.nvtxs);
        auto same = [&](const JoinPair& pair) { return pair.from == from && pair.to == to; };
        if (std::none_of(extras.join_pairs.begin(), extras.join_pairs.end(), same)) {
            extras.join_pairs.push_back({from, to});
        }
    }
    return extras;
}

// Weights whose bits choose the same slot of the writer's table of weight texts (5 and 149
// first among them), and two that do not: a text written for one of them must never be
// taken for another's.
constexpr float colliding_weights[] = {5.0f, 149.0f, 769.0f, 133.75f, 799.5f, 0.1f, 2.5f};

// Half of the weighted runs have their edge weights redrawn among colliding_weights, edge by
// edge, both ends alike (ends that differ draw a warning when the copies are read back): the
// reader takes any positive weight, and the copies must carry those drawn.
void draw_colliding_weights(const std::uint8_t* data, std::size_t size, ReadGraph& original) {
    const std::uint64_t seed = hash_of(data, size) ^ 0x5bd1e995u;
    if (Random{seed}.next() & 1) return;
    const std::size_t count = sizeof colliding_weights / sizeof colliding_weights[0];
    for (int v = 1; v <= original.nvtxs && !original.edge_offsets.empty(); ++v) {
        for (int i = original.edge_offsets[v - 1]; i < original.edge_offsets[v]; ++i) {
            const std::uint64_t u = static_cast<std::uint64_t>(original.adjacency[i]);
            const std::uint64_t edge =
                std::min<std::uint64_t>(u, v) << 32 | std::max<std::uint64_t>(u, v);
            original.edge_weights[i] = colliding_weights[Random{seed ^ edge}.next() % count];
        }
    }
}

// The partners of every vertex of every copy, formed link by link: copy a to copy a + 1 for
// every a (the last to copy 0) from three copies on, copy 0 to copy 1 for two copies.
using Partners = std::map<std::pair<int, int>, std::vector<int>>;  // by copy and vertex

Partners partners_of(const std::vector<JoinPair>& pairs, int times, int nvtxs) {
    Partners partners;
    for (int a = 0; a < times && times > 1; ++a) {
        if (times == 2 && a == 1) break;
        const int b = (a + 1) % times;
        for (const JoinPair& pair : pairs) {
            partners[{a, pair.from}].push_back(b * nvtxs + pair.to);
            partners[{b, pair.to}].push_back(a * nvtxs + pair.from);
        }
    }
    for (auto& [key, list] : partners)
        std::sort(list.begin(), list.end());
    return partners;
}

std::vector<int> partners_at(const Partners& partners, int copy, int v) {
    auto found = partners.find({copy, v});
    return found == partners.end() ? std::vector<int>{} : found->second;
}

// Vertex v of copy j in the replicated graph holds the original list of v plus j * nvtxs,
// then its partners; with weights, the original's and 1 for each partner.
void check_copies(const ReadGraph& original, const ReadGraph& copies, int times,
                  const ReplicaExtras& extras, const Partners& partners) {
    const int nvtxs = original.nvtxs;
    require(copies.nvtxs == times * nvtxs);
    require(copies.vertex_weights.empty() == !extras.writes_vertex_weights);
    for (int j = 0; j < times; ++j) {
        for (int v = 1; v <= nvtxs; ++v) {
            const int w = j * nvtxs + v;
            const int length = list_length(original, v);
            const std::vector<int> joined = partners_at(partners, j, v);
            require(list_length(copies, w) == length + static_cast<int>(joined.size()));
            if (extras.writes_vertex_weights) {
                require(copies.vertex_weights[w - 1] == original.vertex_weights[v - 1]);
            }
            const int first = length > 0 || !joined.empty() ? copies.edge_offsets[w - 1] : 0;
            for (int e = 0; e < length + static_cast<int>(joined.size()); ++e) {
                const bool is_own = e < length;
                const int at = is_own ? original.edge_offsets[v - 1] + e : 0;
                const int expected =
                    is_own ? original.adjacency[at] + j * nvtxs : joined[e - length];
                require(copies.adjacency[first + e] == expected);
                if (extras.writes_edge_weights) {
                    const float weight = is_own ? original.edge_weights[at] : 1.0f;
                    require(copies.edge_weights[first + e] == weight);
                }
            }
        }
    }
}

// The replicated file formed the plain way, without weights: the comment line, the header,
// then every vertex line of every copy, each number followed by one blank.
std::string expected_file(const ReadGraph& original, int times, std::int64_t nedges,
                          const ReplicaExtras& extras, const Partners& partners) {
    const int nvtxs = original.nvtxs;
    const int links = times == 1 ? 0 : times == 2 ? 1 : times;
    const std::int64_t edges = times * nedges + links * static_cast<int>(extras.join_pairs.size());
    std::string text = "% " + std::to_string(times) + " fuzz\n" + std::to_string(times * nvtxs) +
                       " " + std::to_string(edges) + "\n";
    for (int j = 0; j < times; ++j) {
        for (int v = 1; v <= nvtxs; ++v) {
            for (int e = 0; e < list_length(original, v); ++e) {
                const int u = original.adjacency[original.edge_offsets[v - 1] + e];
                text += std::to_string(u + j * nvtxs) + " ";
            }
            for (int partner : partners_at(partners, j, v))
                text += std::to_string(partner) + " ";
            text += "\n";
        }
    }
    return text;
}

// The replicated file as the writer forms it.
std::string written(int times, int nvtxs, std::int64_t nedges, const VertexGraph& graph,
                    const ReplicaExtras& extras) {
    char* bytes = nullptr;
    std::size_t byte_count = 0;
    std::FILE* out = open_memstream(&bytes, &byte_count);
    require(out != nullptr);
    require(write_replicated_graph(out, times, "fuzz", nvtxs, nedges, 0, graph, extras) ==
            WriteResult::written);
    require(std::fclose(out) == 0);
    std::string text(bytes, byte_count);
    std::free(bytes);
    return text;
}

// Where each copy begins, counted from degrees and digits without formatting, must be where
// the written text has it: after the two front lines and nvtxs lines per copy.
void check_copy_starts(const std::string& bytes, int times, int nvtxs, const VertexGraph& graph,
                       const ReplicaExtras& extras) {
    std::vector<std::int64_t> starts;
    std::int64_t lines = 0;
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        if (at > 0 && bytes[at - 1] == '\n' && lines >= 2 && (lines - 2) % nvtxs == 0) {
            starts.push_back(static_cast<std::int64_t>(at));
        }
        if (bytes[at] == '\n') ++lines;
    }
    starts.push_back(static_cast<std::int64_t>(bytes.size()));
    require(starts.size() == static_cast<std::size_t>(times) + 1);
    TextExtent extent;
    require(measure_text_copies(graph, times, nvtxs, starts[0], extras, extent) == 0);
    for (int j = 0; j <= times; ++j)
        require(text_copy_start(extent, j) == starts[static_cast<std::size_t>(j)]);
}

std::uint64_t field_at(const std::string& bytes, std::size_t index) {
    require(bytes.size() >= (index + 1) * 8);
    std::uint64_t value = 0;
    for (int b = 7; b >= 0; --b)
        value = value << 8 | static_cast<unsigned char>(bytes[index * 8 + b]);
    return value;
}

// The binary layout, read back field by field, must hold the lists and weights that the text
// output read back holds. Edge weights that are not whole numbers are refused, and the copies
// are then written without them.
void check_binary(const ReadGraph& copies, int times, int nvtxs, const VertexGraph& graph,
                  ReplicaExtras extras) {
    fuzz_support::MemoryMessages messages;
    if (extras.writes_edge_weights && check_parhip_weights(graph, nvtxs, messages.sink()) != 0) {
        extras.writes_edge_weights = false;
    }
    char* written_bytes = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&written_bytes, &size);
    require(out != nullptr);
    ByteTarget target;
    target.stream = out;
    require(write_parhip_graph(target, times, nvtxs, graph, extras) == WriteResult::written);
    require(std::fclose(out) == 0);
    const std::string bytes(written_bytes, size);
    std::free(written_bytes);
    require(static_cast<std::int64_t>(size) == parhip_size(times, nvtxs, graph, extras));
    const std::uint64_t n = field_at(bytes, 1);
    const std::uint64_t arcs = field_at(bytes, 2);
    require(field_at(bytes, 0) ==
            (extras.writes_edge_weights ? 0u : 1u) + (extras.writes_vertex_weights ? 0u : 2u));
    require(n == static_cast<std::uint64_t>(copies.nvtxs));
    const std::size_t targets = 4 + n;
    const std::size_t edge_weights = targets + arcs + (extras.writes_vertex_weights ? n : 0);
    for (std::uint64_t v = 0; v < n; ++v) {
        const std::uint64_t first = field_at(bytes, 3 + v) / 8 - targets;
        const std::uint64_t last = field_at(bytes, 4 + v) / 8 - targets;
        require(last - first ==
                static_cast<std::uint64_t>(list_length(copies, static_cast<int>(v) + 1)));
        if (extras.writes_vertex_weights) {
            require(field_at(bytes, targets + arcs + v) ==
                    static_cast<std::uint64_t>(copies.vertex_weights[v]));
        }
        for (std::uint64_t e = first; e < last; ++e) {
            const std::size_t at = static_cast<std::size_t>(copies.edge_offsets[v] + (e - first));
            require(field_at(bytes, targets + e) + 1 ==
                    static_cast<std::uint64_t>(copies.adjacency[at]));
            if (extras.writes_edge_weights) {
                require(static_cast<float>(field_at(bytes, edge_weights + e)) ==
                        copies.edge_weights[at]);
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The copy count comes from the length, so that every byte belongs to the graph file
    // and a seed reads as the file it is; one blank more or less changes the count.
    int times = 1 + static_cast<int>(size % 4);
    if (!fuzz_support::is_small(fuzz_support::header_of(data, size))) return -1;

    ReadGraph original = read_bytes(data, size);
    if (original.result != 0 || original.printed_anything) return 0;
    const ReplicaExtras extras = extras_for(data, size, original);
    if (extras.writes_edge_weights) draw_colliding_weights(data, size, original);
    VertexGraph graph;
    std::int64_t nedges = 0;
    const std::int64_t* edge_offsets =
        original.edge_offsets.empty() ? nullptr : original.edge_offsets.data();
    const int* adjacency = original.adjacency.empty() ? nullptr : original.adjacency.data();
    const int* vertex_weights =
        extras.writes_vertex_weights ? original.vertex_weights.data() : nullptr;
    const float* edge_weights = extras.writes_edge_weights ? original.edge_weights.data() : nullptr;
    fuzz_support::MemoryMessages messages;
    require(build_vertex_graph(edge_offsets, adjacency, original.nvtxs, nedges, vertex_weights,
                               edge_weights, graph, messages.sink()) == 0);
    require(messages.text().empty());

    const std::string bytes = written(times, original.nvtxs, nedges, graph, extras);
    ReplicaExtras plainly = extras;
    plainly.threads = 1;
    plainly.piece_bytes = 0;
    require(bytes == written(times, original.nvtxs, nedges, graph, plainly));

    const Partners partners = partners_of(extras.join_pairs, times, original.nvtxs);
    const bool is_weighted = extras.writes_vertex_weights || extras.writes_edge_weights;
    if (!is_weighted) {
        require(bytes == expected_file(original, times, nedges, extras, partners));
    }
    const auto* text = reinterpret_cast<const std::uint8_t*>(bytes.data());
    fuzz_support::HeaderCounts header = fuzz_support::header_of(text, bytes.size());
    require(header.nedges ==
            replicated_edge_count(times, nedges, std::int64_t(extras.join_pairs.size()), 0));
    require(header.format_code ==
            (extras.writes_vertex_weights ? 10 : 0) + (extras.writes_edge_weights ? 1 : 0));
    ReadGraph copies = read_bytes(text, bytes.size());
    require(copies.result == 0 && !copies.printed_anything);
    check_copies(original, copies, times, extras, partners);
    check_copy_starts(bytes, times, original.nvtxs, graph, extras);
    check_binary(copies, times, original.nvtxs, graph, extras);
    return 0;
}
