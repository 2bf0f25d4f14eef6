// Output choice: the format of the output file and the share of it this run writes.
//
// A run writes the text graph file or the binary layout (-format), the whole file or one part
// of it (-part I/P). The whole file goes through the output file as always; a part is written
// here, into the file it shares with the other parts, at its own byte positions. Refusals
// print their one line through the run's message sink.
#pragma once

#include "common/message_sink.h"
#include "driver/command_line.h"
#include "driver/run_settings.h"
#include "graph/vertex_graph.h"
#include "output/graph_writer.h"

// Reads -format and -part into settings.output. Prints "Error. Invalid format NAME.", "Error.
// Invalid part VALUE.", the message of report_part_needs_regular_file (when writes_standard_output)
// or "Error. Declared connections cannot be written in the parhip format." and returns 1.
// A check takes no choice.
[[nodiscard]] int choose_output(const RunOptions& options, RunSettings& settings,
                                MessageSink& messages);

// The refusals that depend on the built graph: the edge weights a binary output carries must
// be whole numbers from 1 to 2^53. Prints the message and returns 1.
[[nodiscard]] int check_output_graph(const OutputChoice& choice, int nvtxs,
                                     const VertexGraph& graph, const ReplicaExtras& extras,
                                     MessageSink& messages);

// Writes the whole binary output to stream, through its descriptor at the fields' positions
// when is_new_file (the empty file that is to replace the target).
[[nodiscard]] WriteResult write_whole_binary(std::FILE* stream, bool is_new_file, int times,
                                             int nvtxs, const VertexGraph& graph,
                                             const ReplicaExtras& extras);

// Writes this run's part of the output file settings.output_name, in the chosen format:
// opens it, sets its size, writes the part's ranges and closes it. Prints the open and
// write-failure messages and returns 1.
[[nodiscard]] int write_output_part(const RunSettings& settings, int nvtxs, int nedges,
                                    const VertexGraph& graph, const ReplicaExtras& extras,
                                    MessageSink& messages);
