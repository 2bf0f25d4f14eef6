// Replicated graph writer: writes `times` copies of a vertex graph as a graph file.
//
// Vertex v of copy j becomes j * nvtxs + v. Without extras the copies are disjoint and
// unweighted. Join pairs link the copies in a ring (copy j to copy j + 1, the last back to
// copy 0; two copies have one link, one copy none), and each pair U:V gives every link (a, b)
// the edge between vertex U of copy a and vertex V of copy b; a vertex line lists these
// partners after its own neighbours, in increasing order. Weights, when asked for, are the
// graph's own; a join edge weighs 1. The writer formats the lines in pieces of bounded size,
// on several threads when asked to, and the calling thread hands them to the stream in order:
// the bytes are the same for any thread count. It neither opens, flushes nor closes the
// stream and prints nothing: the caller owns the file and reports its failures.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "graph/vertex_graph.h"

struct ProgressCounters;

// One join item U:V, both input vertex numbers from 1 to nvtxs.
struct JoinPair {
    int from;  // U, in the first copy of a link
    int to;    // V, in the second copy of a link
};

// What the copies carry beyond disjoint, unweighted lists; the defaults add nothing.
struct ReplicaExtras {
    std::vector<JoinPair> join_pairs;  // no pair twice
    bool writes_vertex_weights = false;
    bool writes_edge_weights = false;  // every record of the graph then has its edge_weights
    int threads = 1;                   // formatting threads; 1 formats on the calling thread
    // The most bytes one piece may take; 0 gives the default of 1 MiB. Tests make pieces small
    // to cut small graphs, and their lines, into many pieces.
    std::int64_t piece_bytes = 0;
    // Advanced as each piece goes to the stream: its bytes, and the units done of all; null
    // counts nothing.
    ProgressCounters* progress = nullptr;
};

// The number of processors this process may run on, at least 1.
int available_processors();

// The number of links in the ring of copies: 0 for one copy, 1 for two, times from three on.
int join_link_count(int times);

// The header's edge count: times * nedges + links * join pairs + 2 * nconnect, in 64 bits.
std::int64_t replicated_edge_count(int times, int nedges, std::int64_t join_pair_count,
                                   int nconnect);

// Writes at text the shortest text that the reader turns back into the same float weight, and
// its blank, and returns its length, at most 16 bytes.
std::uint32_t form_weight_text(float weight, char* text);

// Writes the whole replicated graph to out. The caller has checked that times * nvtxs and the
// header's edge count fit a 32-bit int and that every join pair names vertices of the graph.
// Returns 1 as soon as a write falls short or the writer's own memory is not there.
[[nodiscard]] int write_replicated_graph(std::FILE* out, int times, const std::string& input_name,
                                         int nvtxs, int nedges, int nconnect,
                                         const VertexGraph& graph,
                                         const ReplicaExtras& extras = ReplicaExtras{});
