#include "input/input_formats.h"

#include "input/parhip_reader.h"

namespace {

constexpr InputFormat formats[] = {
    {"text", "the graph file format (the default)", read_graph_file},
    {"parhip",
     "the binary layout that -format parhip writes, and its variants\n"
     "with 32-bit fields",
     read_parhip_file},
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
