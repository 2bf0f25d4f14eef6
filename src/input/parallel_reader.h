// Parallel reader: the body of a graph file without vertex numbers, read in large
// line-aligned chunks that several threads scan and check at once.
//
// Without vertex numbers the vertex of a line is the count of lines before it: each thread
// counts the lines of the chunk it took, and the counts of the chunks before it give the
// vertex of its first line. The chunks are placed into the arrays in file order as they are
// done, each with the notes of its messages; then the symmetry of the edges is checked in
// ranges of vertices, and the notes of both are printed in file order. The messages, arrays
// and status are those of the serial reader, byte for byte, whatever the thread count and
// chunk size: a fatal error cuts off everything after it in file order, whatever the other
// chunks found.
#pragma once

#include <cstdio>

#include "common/message_sink.h"
#include "input/graph_reader.h"
#include "input/reader_common.h"

// Reads the body of file after header (which has no vertex numbers and calls for a body),
// as read_body_serially does, on settings.threads threads in chunks of settings.chunk_bytes.
// Leaves the file open; a chunk whose read failed after the point where a reading in file
// order stops does not count.
[[nodiscard]] int read_body_in_parallel(std::FILE* file, const char* file_name,
                                        MessageSink& messages, const GraphHeader& header,
                                        GraphArrays& arrays, const ReaderSettings& settings);
