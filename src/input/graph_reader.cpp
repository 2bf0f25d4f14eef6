#include "input/graph_reader.h"

#include "input/serial_reader.h"

int read_graph_file(std::FILE* file, const char* file_name, MessageSink& messages,
                    Block<int>& edge_offsets, Block<int>& adjacency, int& nvtxs,
                    Block<int>& vertex_weights, Block<float>& edge_weights,
                    const ReaderSettings& settings) {
    return read_graph_file_serially(file, file_name, messages, edge_offsets, adjacency, nvtxs,
                                    vertex_weights, edge_weights, settings);
}
