// Replicated graph writer: writes `times` disjoint copies of a vertex graph as a graph file.
//
// Vertex v of copy j becomes j * nvtxs + v. The writer formats every number into one large
// buffer and hands it to the stream in big pieces; it writes the comment line, the header
// and one line per vertex of every copy. It neither opens, flushes nor closes the stream
// and prints nothing: the caller owns the file and reports its failures.
#pragma once

#include <cstdio>
#include <string>

#include "graph/vertex_graph.h"

// Writes the whole replicated graph to out. The caller has checked that times * nvtxs and
// times * nedges + 2 * nconnect fit a 32-bit int. Returns 1 as soon as a write falls short.
[[nodiscard]] int write_replicated_graph(std::FILE* out, int times, const std::string& input_name,
                                         int nvtxs, int nedges, int nconnect,
                                         const VertexGraph& graph);
