// Repair step: the graph a reading in repair mode left, made whole before anything uses it.
//
// Hands the reader's lists to the graph repair and puts the repaired lists in their place (the
// vertex weights stay as read), then prints one summary line per kind of repair that
// happened, with its count, after the reader's messages: the repairs the reader made itself
// (self edges and repeats dropped, lines after the last vertex not read) and those of the
// graph repair (edges listed at one end only, weights that differ, the header's edge count).
#pragma once

#include "common/block.h"
#include "common/message_sink.h"
#include "input/graph_reader.h"

// Repairs the lists of nvtxs vertices in place, on up to settings.threads threads, and prints
// the summary. The lists may hold two entries for each edge the reading took: up to
// narrow_limit_of(settings) edges, or with settings.is_wide up to what a wide header may count.
// Prints the memory or size refusal and returns 1 when the lists cannot be repaired; they are
// then as read.
[[nodiscard]] int repair_read_graph(int nvtxs, const ReadFindings& findings,
                                    const ReaderSettings& settings,
                                    Block<std::int64_t>& edge_offsets, Block<int>& adjacency,
                                    Block<float>& edge_weights, MessageSink& messages);

// Whether the reading met a fault that a repair leaves as it is, which -strict refuses: an
// entry dropped for its bad weight, or lines after the last vertex, which may mean that the
// header's vertex count is wrong.
bool has_unrepaired_fault(const ReadFindings& findings);
