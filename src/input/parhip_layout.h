// Binary layout, read: where the arrays of a binary graph file lie, and whether its header and
// offsets hold together.
//
// The file is a version, n and m (the arcs, twice the edges), offsets[0..n] (the byte position
// of each vertex's first target; offsets[n] is where the targets end), the m targets counted
// from 0, then the n vertex weights and the m edge weights when the version does not leave
// them out. The header's three fields are 64-bit; the version's bits say the rest: bit 0 no
// edge weights, bit 1 no vertex weights, bits 2 to 5 32-bit offsets, targets, vertex weights
// and edge weights. Every field is little-endian. A fault is an error of the graph file, its
// detail naming the vertex (counted from 1, as in every message) and the field.
#pragma once

#include <cstdint>
#include <cstring>

#include "common/message_sink.h"

struct ParhipLayout {
    std::int64_t nvtxs = 0;
    std::int64_t arcs = 0;
    bool has_edge_weights = false;
    bool has_vertex_weights = false;
    // The bytes of a field of each array: 4 or 8.
    int offset_bytes = 8;
    int target_bytes = 8;
    int vertex_weight_bytes = 8;
    int edge_weight_bytes = 8;
    // Where each array starts, and where the file ends.
    std::int64_t offsets_at = 0;
    std::int64_t targets_at = 0;
    std::int64_t vertex_weights_at = 0;
    std::int64_t edge_weights_at = 0;
    std::int64_t end = 0;
};

// An unsigned field of width bytes (4 or 8) at position.
inline std::uint64_t load_field(const unsigned char* bytes, std::int64_t position, int width) {
    if (width == 4) {
        std::uint32_t value;
        std::memcpy(&value, bytes + position, sizeof value);
        return value;
    }
    std::uint64_t value;
    std::memcpy(&value, bytes + position, sizeof value);
    return value;
}

// A signed field (a weight) of width bytes at position.
inline std::int64_t load_signed_field(const unsigned char* bytes, std::int64_t position,
                                      int width) {
    if (width == 4) {
        std::int32_t value;
        std::memcpy(&value, bytes + position, sizeof value);
        return value;
    }
    std::int64_t value;
    std::memcpy(&value, bytes + position, sizeof value);
    return value;
}

// The most arcs a header may give: what the narrow arrays hold, and with -wide as many as
// keep every byte position of the layout a signed 64-bit value (far past any file in memory).
constexpr std::int64_t narrow_parhip_arcs = 2147483646;
constexpr std::int64_t wide_parhip_arcs = std::int64_t{1} << 58;

// Reads the header of the size bytes at bytes and places the arrays; prints the fault and
// returns 1 when the version, the counts (m past max_arcs) or the file's size do not fit.
[[nodiscard]] int read_parhip_header(const unsigned char* bytes, std::int64_t size,
                                     const char* file_name, MessageSink& messages,
                                     std::int64_t max_arcs, ParhipLayout& layout);

// Checks offsets[0..n] on up to threads threads: the first starts the targets, none
// decreases, each lies on a target, the last ends the targets. Prints the fault of the lowest
// vertex and returns 1.
[[nodiscard]] int check_parhip_offsets(const unsigned char* bytes, const ParhipLayout& layout,
                                       const char* file_name, MessageSink& messages, int threads);

// The index of vertex v's first target (v from 0 to n): valid after the offsets passed.
inline std::int64_t first_arc(const unsigned char* bytes, const ParhipLayout& layout,
                              std::int64_t v) {
    const std::int64_t offset = static_cast<std::int64_t>(
        load_field(bytes, layout.offsets_at + v * layout.offset_bytes, layout.offset_bytes));
    // A shift, not a division: this runs once a vertex, and a division costs more than the
    // rest of a short list.
    return (offset - layout.targets_at) >> (layout.target_bytes == 8 ? 3 : 2);
}
