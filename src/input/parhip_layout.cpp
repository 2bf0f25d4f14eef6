#include "input/parhip_layout.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/helper_threads.h"
#include "input/reader_messages.h"

namespace {

constexpr std::int64_t field_bytes = 8;
constexpr std::int64_t header_bytes = 3 * field_bytes;

// The version bits.
constexpr std::uint64_t without_edge_weights = 1;
constexpr std::uint64_t without_vertex_weights = 2;
constexpr std::uint64_t narrow_offsets = 4;
constexpr std::uint64_t narrow_targets = 8;
constexpr std::uint64_t narrow_vertex_weights = 16;
constexpr std::uint64_t narrow_edge_weights = 32;
constexpr std::uint64_t known_version_bits = 63;

// The vertex count the reader's arrays hold: nvtxs + 1 offsets, and vertex numbers that stay
// signed 32-bit values.
constexpr std::int64_t max_nvtxs = 2147483646;

// Fewer offsets than this per thread are checked on the calling thread alone.
constexpr std::int64_t offsets_per_thread = std::int64_t{1} << 16;

int width(std::uint64_t version, std::uint64_t narrow_bit) {
    return (version & narrow_bit) != 0 ? 4 : 8;
}

long long as_long(std::int64_t value) {
    return static_cast<long long>(value);
}

unsigned long long as_unsigned(std::uint64_t value) {
    return static_cast<unsigned long long>(value);
}

// The first offset index in [begin, end) that is out of place, or end.
std::int64_t first_offset_fault(const unsigned char* bytes, const ParhipLayout& layout,
                                std::int64_t begin, std::int64_t end) {
    const std::uint64_t targets_end =
        static_cast<std::uint64_t>(layout.targets_at + layout.arcs * layout.target_bytes);
    const std::uint64_t start = static_cast<std::uint64_t>(layout.targets_at);
    std::uint64_t previous = load_field(
        bytes, layout.offsets_at + (begin - 1) * layout.offset_bytes, layout.offset_bytes);
    for (std::int64_t v = begin; v < end; ++v) {
        const std::uint64_t offset =
            load_field(bytes, layout.offsets_at + v * layout.offset_bytes, layout.offset_bytes);
        if (offset < previous || offset > targets_end ||
            (offset - start) % static_cast<std::uint64_t>(layout.target_bytes) != 0) {
            return v;
        }
        previous = offset;
    }
    return end;
}

// Prints the fault of offset index v (1 to n), which first_offset_fault found. Offset v - 1
// belongs to vertex v; offset n is the end of the last vertex's targets.
void report_offset_fault(const unsigned char* bytes, const ParhipLayout& layout, std::int64_t v,
                         const char* file_name, MessageSink& messages) {
    const std::int64_t targets_end = layout.targets_at + layout.arcs * layout.target_bytes;
    const std::uint64_t previous =
        load_field(bytes, layout.offsets_at + (v - 1) * layout.offset_bytes, layout.offset_bytes);
    const std::uint64_t offset =
        load_field(bytes, layout.offsets_at + v * layout.offset_bytes, layout.offset_bytes);
    char field[48];
    if (v < layout.nvtxs) {
        std::snprintf(field, sizeof field, "the offset of vertex %lld", as_long(v + 1));
    } else {
        std::snprintf(field, sizeof field, "the end offset");
    }
    report_error_prefix({file_name, 0, 0}, messages);
    if (offset < previous) {
        messages.print(" %s (%llu) is below the offset of vertex %lld (%llu).\n", field,
                       as_unsigned(offset), as_long(v), as_unsigned(previous));
    } else if (offset > static_cast<std::uint64_t>(targets_end)) {
        messages.print(" %s (%llu) passes the end of the targets (%lld).\n", field,
                       as_unsigned(offset), as_long(targets_end));
    } else {
        messages.print(
            " %s (%llu) is not on a target: the targets start at byte %lld, %d bytes each.\n",
            field, as_unsigned(offset), as_long(layout.targets_at), layout.target_bytes);
    }
}

}  // namespace

int read_parhip_header(const unsigned char* bytes, std::int64_t size, const char* file_name,
                       MessageSink& messages, std::int64_t max_arcs, ParhipLayout& layout) {
    if (size < header_bytes) {
        report_error_prefix({file_name, 0, 0}, messages);
        messages.print(" the file holds %lld bytes, fewer than the %lld of a header.\n",
                       as_long(size), as_long(header_bytes));
        return 1;
    }
    const std::uint64_t version = load_field(bytes, 0, field_bytes);
    const std::uint64_t nvtxs = load_field(bytes, field_bytes, field_bytes);
    const std::uint64_t arcs = load_field(bytes, 2 * field_bytes, field_bytes);
    if ((version & ~known_version_bits) != 0) {
        report_error_prefix({file_name, 0, 0}, messages);
        messages.print(" version %llu sets bits that name no field (only bits 0 to 5 may).\n",
                       as_unsigned(version));
        return 1;
    }
    if (nvtxs < 1 || nvtxs > static_cast<std::uint64_t>(max_nvtxs)) {
        report_error_prefix({file_name, 0, 0}, messages);
        messages.print(" n is %llu vertices; it must be 1 to %lld.\n", as_unsigned(nvtxs),
                       as_long(max_nvtxs));
        return 1;
    }
    if (arcs > static_cast<std::uint64_t>(max_arcs)) {
        report_error_prefix({file_name, 0, 0}, messages);
        messages.print(" m is %llu arcs; it may be at most %lld.\n", as_unsigned(arcs),
                       as_long(max_arcs));
        return 1;
    }
    layout.nvtxs = static_cast<std::int64_t>(nvtxs);
    layout.arcs = static_cast<std::int64_t>(arcs);
    layout.has_edge_weights = (version & without_edge_weights) == 0;
    layout.has_vertex_weights = (version & without_vertex_weights) == 0;
    layout.offset_bytes = width(version, narrow_offsets);
    layout.target_bytes = width(version, narrow_targets);
    layout.vertex_weight_bytes = width(version, narrow_vertex_weights);
    layout.edge_weight_bytes = width(version, narrow_edge_weights);
    layout.offsets_at = header_bytes;
    layout.targets_at = layout.offsets_at + (layout.nvtxs + 1) * layout.offset_bytes;
    layout.vertex_weights_at = layout.targets_at + layout.arcs * layout.target_bytes;
    layout.edge_weights_at =
        layout.vertex_weights_at +
        (layout.has_vertex_weights ? layout.nvtxs * layout.vertex_weight_bytes : 0);
    layout.end = layout.edge_weights_at +
                 (layout.has_edge_weights ? layout.arcs * layout.edge_weight_bytes : 0);
    if (size != layout.end) {
        report_error_prefix({file_name, 0, 0}, messages);
        messages.print(" the file holds %lld bytes, but its header calls for %lld.\n",
                       as_long(size), as_long(layout.end));
        return 1;
    }
    return 0;
}

int check_parhip_offsets(const unsigned char* bytes, const ParhipLayout& layout,
                         const char* file_name, MessageSink& messages, int threads) {
    const std::uint64_t first = load_field(bytes, layout.offsets_at, layout.offset_bytes);
    if (first != static_cast<std::uint64_t>(layout.targets_at)) {
        report_error_prefix({file_name, 0, 0}, messages);
        messages.print(" the offset of vertex 1 is %llu, but the targets start at byte %lld.\n",
                       as_unsigned(first), as_long(layout.targets_at));
        return 1;
    }
    const std::int64_t count = layout.nvtxs;  // offset indices 1 to n
    const int range_count = static_cast<int>(
        std::clamp<std::int64_t>(count / offsets_per_thread, 1, std::max(threads, 1)));
    std::vector<std::int64_t> faults(static_cast<std::size_t>(range_count), 0);
    auto check_range = [&](int range) {
        const std::int64_t begin = 1 + count * range / range_count;
        const std::int64_t end = 1 + count * (range + 1) / range_count;
        faults[static_cast<std::size_t>(range)] = first_offset_fault(bytes, layout, begin, end);
    };
    HelperThreads helpers;
    helpers.make_room(range_count - 1);
    for (int range = 1; range < range_count; ++range) {
        // No thread to be had: the range is checked here, slower, not wrong.
        if (!helpers.start([&check_range, range] { check_range(range); })) check_range(range);
    }
    check_range(0);
    helpers.join();
    for (int range = 0; range < range_count; ++range) {
        const std::int64_t end = 1 + count * (range + 1) / range_count;
        if (faults[static_cast<std::size_t>(range)] == end) continue;
        report_offset_fault(bytes, layout, faults[static_cast<std::size_t>(range)], file_name,
                            messages);
        return 1;
    }
    // Every offset lies on a target and none passes the end: the last must be the end.
    const std::uint64_t last =
        load_field(bytes, layout.offsets_at + count * layout.offset_bytes, layout.offset_bytes);
    const std::int64_t targets_end = layout.targets_at + layout.arcs * layout.target_bytes;
    if (last != static_cast<std::uint64_t>(targets_end)) {
        report_error_prefix({file_name, 0, 0}, messages);
        messages.print(" the offsets end at byte %llu, but the targets end at byte %lld.\n",
                       as_unsigned(last), as_long(targets_end));
        return 1;
    }
    return 0;
}
