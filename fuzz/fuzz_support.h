// What the fuzz targets share: a stream over the fuzzer's bytes, messages kept in memory, and the
// header counts of an input.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "../tests/memory_messages.h"
#include "input/token_scanner.h"

namespace fuzz_support {

// A fuzz target's finding: a property that fails ends the run where the fuzzer sees it.
inline void require(bool condition) {
    if (!condition) std::abort();
}

using memory_messages::MemoryMessages;

// Inputs whose header asks for more than this many vertices or edges are passed over: the
// arrays they ask for are real (the reader allocates them before it reads a vertex line),
// and the fuzzer's memory limit would report them as findings.
constexpr std::int64_t largest_count = 1 << 20;

// A read-only stream over the bytes, which stay in place until it is closed; a stream in
// memory spares the file system calls of a temporary file, which would halve the scanner
// target's speed. fmemopen refuses a size of 0, so an empty input gets an empty temporary
// file.
inline std::FILE* stream_over(const std::uint8_t* data, std::size_t size) {
    // A stream opened for reading never writes to its buffer.
    std::FILE* stream =
        size > 0 ? fmemopen(const_cast<std::uint8_t*>(data), size, "r") : std::tmpfile();
    if (stream == nullptr) std::abort();
    return stream;
}

struct HeaderCounts {
    int nvtxs = 0;
    int nedges = 0;
    int format_code = 0;  // its last three digits as written
};

// The header as the reader sees it: the first line that begins with a number.
inline HeaderCounts header_of(const std::uint8_t* data, std::size_t size) {
    HeaderCounts counts;
    std::FILE* stream = stream_over(data, size);
    TokenScanner scanner;
    ScanStatus status = scan_end_of_line;
    while (status == scan_end_of_line)
        counts.nvtxs = next_int(scanner, stream, status);
    if (status == scan_number) counts.nedges = next_int(scanner, stream, status);
    if (status == scan_number) {
        (void)next_int(scanner, stream, status);
        // The code's digits as written: a long code does not saturate into another one.
        if (status == scan_number) counts.format_code = scanner.int_low_digits;
    }
    std::fclose(stream);
    return counts;
}

inline bool is_small(const HeaderCounts& counts) {
    return counts.nvtxs <= largest_count && counts.nedges <= largest_count;
}

// splitmix64: the same seed always gives the same numbers.
struct Random {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    int below(int bound) {
        return static_cast<int>(next() % static_cast<std::uint64_t>(bound));
    }
};

// One entry of a graph file: vertex lists neighbour, with weight when the file has them.
struct ListedEntry {
    int vertex;
    int neighbour;
    float weight;
};

// Each edge once, lower vertex first, with its weight (1 without edge weights).
using EdgeWeights = std::map<std::pair<int, int>, float>;

// The graph a repair must make of entries listed in file order: every edge listed at either
// end, self edges left out, each edge with the weight of its first entry. Entries as written
// in a file lose a weight not above 0 with their entry; entries the reader kept do not (a
// positive weight too small for a float is kept as 0).
inline EdgeWeights symmetric_closure(const std::vector<ListedEntry>& entries, bool is_weighted,
                                     bool drops_bad_weights = true) {
    EdgeWeights edges;
    for (const ListedEntry& entry : entries) {
        const bool is_bad = is_weighted && drops_bad_weights && !(entry.weight > 0.0f);
        if (entry.vertex == entry.neighbour || is_bad) continue;
        const std::pair<int, int> edge{std::min(entry.vertex, entry.neighbour),
                                       std::max(entry.vertex, entry.neighbour)};
        edges.emplace(edge, is_weighted ? entry.weight : 1.0f);
    }
    return edges;
}

// A graph file with every fault a repair mends: edges listed at one end only, self edges,
// repeated neighbours, ends that weigh differently, bad edge weights, a wrong edge count in
// the header, and now and then lines after the last vertex. entries receives its entries in
// file order.
inline std::string faulty_graph_text(Random& random, int nvtxs, std::vector<ListedEntry>& entries,
                                     bool& is_weighted) {
    is_weighted = random.below(2) == 0;
    const bool has_vertex_weights = random.below(3) == 0;
    std::vector<std::vector<std::pair<int, float>>> lists(static_cast<std::size_t>(nvtxs) + 1);
    const int edge_count = random.below(3 * nvtxs + 1);
    for (int i = 0; i < edge_count; ++i) {
        const int u = 1 + random.below(nvtxs);
        const int v = 1 + random.below(nvtxs);
        const float weight = static_cast<float>(1 + random.below(4)) / 2.0f;
        const int fault = random.below(40);
        if (fault != 0) lists[u].push_back({v, weight});
        if (fault != 1) lists[v].push_back({u, fault == 2 ? weight + 1.0f : weight});
        if (fault == 3) lists[u].push_back({v, weight + 0.5f});
        if (fault == 4) lists[v].push_back({u, 0.0f});
    }
    std::int64_t listed = 0;
    for (int v = 1; v <= nvtxs; ++v) {
        std::shuffle(lists[v].begin(), lists[v].end(), std::mt19937_64(random.next()));
        listed += static_cast<std::int64_t>(lists[v].size());
    }
    const std::int64_t counts[] = {listed / 2, listed / 2 + 1, listed / 3, 0};
    std::string text = "% faulty\n" + std::to_string(nvtxs) + " " +
                       std::to_string(counts[random.below(4)]) + " " +
                       (has_vertex_weights ? "1" : "") + (is_weighted ? "1" : "0") + "\n";
    for (int v = 1; v <= nvtxs; ++v) {
        if (has_vertex_weights) text += std::to_string(1 + random.below(9)) + " ";
        for (const auto& [u, weight] : lists[v]) {
            text += std::to_string(u) + " ";
            if (is_weighted) text += std::to_string(weight) + " ";
            entries.push_back({v, u, weight});
        }
        text += "\n";
    }
    if (random.below(4) == 0) text += "1 2\n\n3\n";
    return text;
}

}  // namespace fuzz_support
