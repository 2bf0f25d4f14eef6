#include "input/graph_reader.h"

#include "input/parallel_reader.h"
#include "input/reader_common.h"
#include "input/serial_reader.h"
#include "input/token_scanner.h"

namespace {

// Reads the file in file order on the calling thread when is_serial, else in parallel where
// the file allows it.
int read_file(std::FILE* file, const char* file_name, MessageSink& messages,
              Block<std::int64_t>& edge_offsets, Block<int>& adjacency, int& nvtxs,
              Block<int>& vertex_weights, Block<float>& edge_weights,
              const ReaderSettings& settings, bool is_serial) {
    // A fresh scanner per file: a second file never starts on the state the first one left.
    // It reads the header, a line or a few, and leaves the stream at the start of the body.
    TokenScanner scanner;
    GraphArrays arrays{edge_offsets, adjacency, nvtxs, vertex_weights, edge_weights};
    release_graph_arrays(arrays);
    GraphHeader header;
    header.repairs = settings.repairs;
    const EdgeCountLimit limit{largest_edge_count(settings), settings.is_wide};
    int result = read_graph_header(scanner, file, file_name, messages, limit, header, arrays);
    if (result == 0) {
        // With vertex numbers a line's vertex depends on the lines before it, not on their
        // count: such a file, and one whose header ends the input, is read in file order.
        // So is a file without a body, where only the trailing data is looked for.
        const bool is_parallel = !is_serial && !header.has_vertex_numbers &&
                                 file_has_body(header) && header.status == scan_end_of_line;
        if (is_parallel) {
            result = read_body_in_parallel(file, file_name, messages, header, arrays, settings);
        } else {
            result = read_body_serially(scanner, file, file_name, messages, header, arrays,
                                        settings.fills_unreached_lists, settings.findings);
        }
    }
    return close_graph_file(file, file_name, messages, result);
}

}  // namespace

int read_graph_file(std::FILE* file, const char* file_name, MessageSink& messages,
                    Block<std::int64_t>& edge_offsets, Block<int>& adjacency, int& nvtxs,
                    Block<int>& vertex_weights, Block<float>& edge_weights,
                    const ReaderSettings& settings) {
    return read_file(file, file_name, messages, edge_offsets, adjacency, nvtxs, vertex_weights,
                     edge_weights, settings, false);
}

int read_graph_file_serially(std::FILE* file, const char* file_name, MessageSink& messages,
                             Block<std::int64_t>& edge_offsets, Block<int>& adjacency, int& nvtxs,
                             Block<int>& vertex_weights, Block<float>& edge_weights,
                             const ReaderSettings& settings) {
    return read_file(file, file_name, messages, edge_offsets, adjacency, nvtxs, vertex_weights,
                     edge_weights, settings, true);
}
