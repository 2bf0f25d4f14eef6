// Serial reader: reads a graph file in file order on the calling thread, through the token
// scanner's line buffer.
//
// It is the reader the file format is described by, and the one every faster reading is
// held to: the tests and a fuzz target compare the parallel reader with it on every input.
// It also reads the files with vertex numbers, whose lines cannot be told apart by their
// count alone. Every check is made where a reading in file order meets its cause, and every
// message goes to the sink at once.
#pragma once

#include <cstdio>

#include "common/block.h"
#include "common/message_sink.h"
#include "input/graph_reader.h"
#include "input/reader_common.h"
#include "input/token_scanner.h"

// Reads the body and what follows it through scanner, which has just read header from file:
// sizes the arrays, checks every vertex line, reports the edges listed at one end only and
// data after the body, and prints the summary warnings. Returns 0, or 1 after any error (the
// arrays then hold what the reading got to), but for the errors a repair mends when
// header.repairs. Fills findings, when given, once the body is read. Leaves the file open.
[[nodiscard]] int read_body_serially(TokenScanner& scanner, std::FILE* file, const char* file_name,
                                     MessageSink& messages, const GraphHeader& header,
                                     GraphArrays& arrays, bool fills_unreached_lists,
                                     ReadFindings* findings = nullptr);

// read_graph_file on one thread, through the line buffer alone; settings.threads and
// settings.chunk_bytes do not matter to it.
[[nodiscard]] int read_graph_file_serially(std::FILE* file, const char* file_name,
                                           MessageSink& messages, Block<std::int64_t>& edge_offsets,
                                           Block<int>& adjacency, int& nvtxs,
                                           Block<int>& vertex_weights, Block<float>& edge_weights,
                                           const ReaderSettings& settings = ReaderSettings{});
