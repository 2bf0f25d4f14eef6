// Replicated graph writer: writes `times` copies of a vertex graph as a graph file.
//
// Vertex v of copy j becomes j * nvtxs + v (join_ring.h numbers the copies and lays out the
// ring of join edges). Without extras the copies are disjoint and unweighted. Weights, when
// asked for, are the graph's own; a join edge weighs 1. The comment line names the input, each
// byte below 0x20 and 0x7F written as "?" so that it stays one line. The lines are formatted
// in pieces of bounded size, on several threads when asked to, and the calling thread hands
// them to the stream in order: the bytes are the same for any thread count. The writer
// neither opens, flushes nor closes the stream and prints nothing: it returns what became of
// the write by kind, and the caller turns a failure into its one message (the output file
// reports a write that fell short; a memory shortage is never reported as one).
#pragma once

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "common/join_pair.h"
#include "graph/vertex_graph.h"
#include "output/join_ring.h"
#include "output/write_result.h"

struct ProgressCounters;

// What the copies carry beyond disjoint, unweighted lists; the defaults add nothing.
struct ReplicaExtras {
    std::vector<JoinPair> join_pairs;  // no pair twice
    bool writes_vertex_weights = false;
    bool writes_edge_weights = false;  // every record of the graph then has its edge_weights
    int threads = 1;                   // formatting threads; 1 formats on the calling thread
    // The most bytes one piece may take; 0 gives the default of 1 MiB. Tests make pieces small
    // to cut small graphs, and their lines, into many pieces.
    std::int64_t piece_bytes = 0;
    // The copies written, first_copy up to end_copy (excluded, and held at times), and
    // whether the comment and header lines come first: one part of an output written in
    // parts. The copies keep their numbers, and so their vertex numbers and partners.
    int first_copy = 0;
    int end_copy = std::numeric_limits<int>::max();
    bool writes_front = true;
    // Advanced as each piece goes to the stream: its bytes, and the units done of all; null
    // counts nothing.
    ProgressCounters* progress = nullptr;
};

// Writes the whole replicated graph to out. The caller has checked that times * nvtxs and the
// header's edge count fit a 32-bit int (or that the output is -wide) and that every join pair
// names vertices of the graph. Returns write_failed as soon as a write falls short, and
// out_of_memory when even one formatting thread cannot have its buffer; out then holds part of
// the graph.
[[nodiscard]] WriteResult write_replicated_graph(std::FILE* out, int times,
                                                 const std::string& input_name, int nvtxs,
                                                 std::int64_t nedges, int nconnect,
                                                 const VertexGraph& graph,
                                                 const ReplicaExtras& extras = ReplicaExtras{});
