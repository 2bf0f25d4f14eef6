#include "input/input_formats.h"

#include <iterator>

#include "input/edge_list_reader.h"
#include "input/mtx_reader.h"
#include "input/parhip_reader.h"

namespace {

constexpr InputFormat formats[] = {
    {"text", "text (the default, the graph file format)", read_graph_file},
    {"parhip", "parhip: the binary layout that -format parhip writes, with 64- or 32-bit fields",
     read_parhip_file},
    {"edgelist", "edgelist: an edge \"u v\" or \"u v w\" a line with vertices from 0",
     read_edge_list_file},
    {"edgelist1", "edgelist1: the same with vertices from 1", read_edge_list1_file},
    {"mtx", "mtx: a Matrix Market coordinate matrix", read_mtx_file},
};

}  // namespace

std::span<const InputFormat> input_formats() {
    return formats;
}

const InputFormat* find_input_format(std::string_view name) {
    for (const InputFormat& format : formats) {
        if (name == format.name) return &format;
    }
    return nullptr;
}

std::string input_format_list(const char* InputFormat::*field) {
    std::string list;
    for (const InputFormat& format : formats) {
        if (!list.empty()) list += &format == &formats[std::size(formats) - 1] ? " or " : ", ";
        list += format.*field;
    }
    return list;
}
