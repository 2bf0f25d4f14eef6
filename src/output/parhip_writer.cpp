#include "output/parhip_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <vector>

#include "common/allocation.h"
#include "common/helper_threads.h"
#include "common/progress_line.h"
#include "output/entry_text.h"
#include "output/join_ring.h"
#include "output/part_file.h"

namespace {

constexpr std::int64_t field_bytes = 8;
constexpr std::int64_t header_fields = 3;

// The version bits that say an array is absent.
constexpr std::uint64_t without_edge_weights = 1;
constexpr std::uint64_t without_vertex_weights = 2;

// The largest edge weight the layout takes: beyond it a double, as readers hold weights, no
// longer tells every whole number apart.
constexpr double largest_edge_weight = 9007199254740992.0;  // 2^53

// The fields go out in blocks of this many bytes: a few big writes, and the same bounded
// memory whatever the number of copies.
constexpr std::size_t buffer_fields = std::size_t{1} << 19;  // 4 MiB

// More writing threads than this gain nothing: the copies are sums, the writes the cost.
constexpr int max_threads = 8;

// The room form_weight_text needs.
constexpr int weight_text_room = 16;

// Where each array of the whole output starts, and the counts of its header.
struct Sections {
    std::int64_t vertex_total = 0;
    std::int64_t arcs_per_copy = 0;
    std::int64_t arc_total = 0;
    std::int64_t offsets = 0;
    std::int64_t targets = 0;
    std::int64_t vertex_weights = 0;
    std::int64_t edge_weights = 0;
    std::int64_t end = 0;
};

std::int64_t neighbour_entries(const VertexGraph& graph, int nvtxs) {
    std::int64_t entries = 0;
    for (int v = 1; v <= nvtxs; ++v)
        entries += graph.slots[v]->list_length - 1;
    return entries;
}

// Fills sections; returns 1 when the output would pass a 64-bit file offset.
[[nodiscard]] int place_sections(int times, int nvtxs, const VertexGraph& graph,
                                 const ReplicaExtras& extras, Sections& sections) {
    const std::int64_t partner_entries =
        copy_partner_entries(times, static_cast<std::int64_t>(extras.join_pairs.size()));
    const __int128 arcs_per_copy = neighbour_entries(graph, nvtxs) + partner_entries;
    const __int128 vertex_total = static_cast<__int128>(times) * nvtxs;
    const __int128 arc_total = arcs_per_copy * times;
    const __int128 offsets = header_fields * field_bytes;
    const __int128 targets = offsets + (vertex_total + 1) * field_bytes;
    const __int128 vertex_weights = targets + arc_total * field_bytes;
    const __int128 edge_weights =
        vertex_weights + (extras.writes_vertex_weights ? vertex_total * field_bytes : 0);
    const __int128 end = edge_weights + (extras.writes_edge_weights ? arc_total * field_bytes : 0);
    if (end > std::numeric_limits<std::int64_t>::max()) return 1;
    sections.vertex_total = static_cast<std::int64_t>(vertex_total);
    sections.arcs_per_copy = static_cast<std::int64_t>(arcs_per_copy);
    sections.arc_total = static_cast<std::int64_t>(arc_total);
    sections.offsets = static_cast<std::int64_t>(offsets);
    sections.targets = static_cast<std::int64_t>(targets);
    sections.vertex_weights = static_cast<std::int64_t>(vertex_weights);
    sections.edge_weights = static_cast<std::int64_t>(edge_weights);
    sections.end = static_cast<std::int64_t>(end);
    return 0;
}

std::uint64_t little_endian(std::uint64_t value) {
    if constexpr (std::endian::native == std::endian::big) return __builtin_bswap64(value);
    return value;
}

// Gathers fields for consecutive positions of the target and writes them a block at a time.
struct FieldWriter {
    const ByteTarget* target = nullptr;
    std::uint64_t* buffer = nullptr;
    std::size_t used = 0;
    std::int64_t position = 0;  // where buffer[0] goes
    bool has_failed = false;
    ProgressCounters* progress = nullptr;  // told of every block written; null tells nobody
};

void flush_fields(FieldWriter& writer) {
    if (writer.used == 0) return;
    const char* bytes = reinterpret_cast<const char*>(writer.buffer);
    const std::size_t length = writer.used * field_bytes;
    if (!writer.has_failed) {
        writer.has_failed =
            writer.target->stream != nullptr
                ? std::fwrite(bytes, 1, length, writer.target->stream) != length
                : write_at(writer.target->descriptor, writer.position, bytes, length) != 0;
        if (writer.progress != nullptr) {
            writer.progress->bytes_done.fetch_add(static_cast<std::int64_t>(length),
                                                  std::memory_order_relaxed);
        }
    }
    writer.position += static_cast<std::int64_t>(length);
    writer.used = 0;
}

// The next fields go to position: what is gathered for another place goes out first.
void move_to(FieldWriter& writer, std::int64_t position) {
    if (writer.position + static_cast<std::int64_t>(writer.used) * field_bytes == position) return;
    flush_fields(writer);
    writer.position = position;
}

inline void put(FieldWriter& writer, std::uint64_t value) {
    if (writer.used == buffer_fields) flush_fields(writer);
    writer.buffer[writer.used++] = little_endian(value);
}

// What every copy's slices are formed from.
struct BinaryLayout {
    const VertexGraph* graph = nullptr;
    int times = 0;
    int nvtxs = 0;
    JoinRing ring;
    Sections sections;
};

void put_offsets(const BinaryLayout& layout, int copy, FieldWriter& writer) {
    const Sections& sections = layout.sections;
    const std::int64_t nvtxs = layout.nvtxs;
    move_to(writer, sections.offsets + copy * nvtxs * field_bytes);
    CopyPartners partners = partners_of_copy(layout.ring, copy);
    std::int64_t offset = sections.targets + copy * sections.arcs_per_copy * field_bytes;
    for (int v = 1; v <= layout.nvtxs; ++v) {
        put(writer, static_cast<std::uint64_t>(offset));
        std::int64_t degree = layout.graph->slots[v]->list_length - 1;
        for (int g = 0; g < partners.group_count; ++g) {
            PartnerGroup& group = partners.groups[g];
            const JoinPair* const first = take_partners(group, v);
            degree += group.next - first;
        }
        offset += degree * field_bytes;
    }
    // The entry past the last vertex, where the targets end, goes with the last copy.
    if (copy == layout.times - 1) put(writer, static_cast<std::uint64_t>(sections.vertex_weights));
}

void put_targets(const BinaryLayout& layout, int copy, FieldWriter& writer) {
    move_to(writer, layout.sections.targets + copy * layout.sections.arcs_per_copy * field_bytes);
    CopyPartners partners = partners_of_copy(layout.ring, copy);
    // Vertex numbers of the file count from 1, targets from 0.
    const std::uint64_t shift = static_cast<std::uint64_t>(copy_offset(copy, layout.nvtxs) - 1);
    for (int v = 1; v <= layout.nvtxs; ++v) {
        const VertexRecord& record = *layout.graph->slots[v];
        for (int i = 1; i < record.list_length; ++i)
            put(writer, static_cast<std::uint64_t>(record.neighbours[i]) + shift);
        for (int g = 0; g < partners.group_count; ++g) {
            PartnerGroup& group = partners.groups[g];
            const std::uint64_t partner_shift = static_cast<std::uint64_t>(group.offset - 1);
            for (const JoinPair* pair = take_partners(group, v); pair != group.next; ++pair)
                put(writer, static_cast<std::uint64_t>(pair->to) + partner_shift);
        }
    }
}

void put_vertex_weights(const BinaryLayout& layout, int copy, FieldWriter& writer) {
    const std::int64_t nvtxs = layout.nvtxs;
    move_to(writer, layout.sections.vertex_weights + copy * nvtxs * field_bytes);
    for (int v = 1; v <= layout.nvtxs; ++v)
        put(writer, static_cast<std::uint64_t>(layout.graph->slots[v]->weight));
}

void put_edge_weights(const BinaryLayout& layout, int copy, FieldWriter& writer) {
    move_to(writer,
            layout.sections.edge_weights + copy * layout.sections.arcs_per_copy * field_bytes);
    CopyPartners partners = partners_of_copy(layout.ring, copy);
    for (int v = 1; v <= layout.nvtxs; ++v) {
        const VertexRecord& record = *layout.graph->slots[v];
        for (int i = 1; i < record.list_length; ++i)
            put(writer, static_cast<std::uint64_t>(record.edge_weights[i]));
        for (int g = 0; g < partners.group_count; ++g) {
            PartnerGroup& group = partners.groups[g];
            for (const JoinPair* pair = take_partners(group, v); pair != group.next; ++pair)
                put(writer, join_edge_weight);
        }
    }
}

// Writes the slices of copies first up to end, array by array, so that a stream receives
// them in file order. Returns 1 when a write failed.
[[nodiscard]] int write_copies(const BinaryLayout& layout, const ReplicaExtras& extras, int first,
                               int end, FieldWriter& writer) {
    for (int copy = first; copy < end; ++copy)
        put_offsets(layout, copy, writer);
    for (int copy = first; copy < end; ++copy)
        put_targets(layout, copy, writer);
    if (extras.writes_vertex_weights) {
        for (int copy = first; copy < end; ++copy)
            put_vertex_weights(layout, copy, writer);
    }
    if (extras.writes_edge_weights) {
        for (int copy = first; copy < end; ++copy)
            put_edge_weights(layout, copy, writer);
    }
    flush_fields(writer);
    return writer.has_failed ? 1 : 0;
}

void write_header(const BinaryLayout& layout, const ReplicaExtras& extras, FieldWriter& writer) {
    const std::uint64_t version = (extras.writes_edge_weights ? 0 : without_edge_weights) |
                                  (extras.writes_vertex_weights ? 0 : without_vertex_weights);
    move_to(writer, 0);
    put(writer, version);
    put(writer, static_cast<std::uint64_t>(layout.sections.vertex_total));
    put(writer, static_cast<std::uint64_t>(layout.sections.arc_total));
}

// The bytes written for copies first up to end, with the header when extras.writes_front:
// each copy's slice of every array, and the offset past the last vertex with the last copy.
std::int64_t share_bytes(const BinaryLayout& layout, const ReplicaExtras& extras, int first,
                         int end) {
    const Sections& sections = layout.sections;
    const std::int64_t nvtxs = layout.nvtxs;
    const std::int64_t copy_fields = nvtxs + sections.arcs_per_copy +
                                     (extras.writes_vertex_weights ? nvtxs : 0) +
                                     (extras.writes_edge_weights ? sections.arcs_per_copy : 0);
    std::int64_t fields = (end - first) * copy_fields;
    if (extras.writes_front) fields += header_fields;
    if (end == layout.times && end > first) ++fields;
    return fields * field_bytes;
}

// Gives a field buffer, or 1 when the memory is not there.
[[nodiscard]] int allocate_fields(std::vector<std::uint64_t>& buffer) {
    return allocates_or_fails([&] { buffer.resize(buffer_fields); });
}

// A writing thread: the copies first up to end, written at their positions.
void write_share(const BinaryLayout& layout, const ReplicaExtras& extras, const ByteTarget& target,
                 int first, int end, WriteResult& result) {
    std::vector<std::uint64_t> buffer;
    if (allocate_fields(buffer) != 0) {
        result = WriteResult::out_of_memory;
        return;
    }
    FieldWriter writer{&target, buffer.data()};
    writer.progress = extras.progress;
    result = write_copies(layout, extras, first, end, writer) == 0 ? WriteResult::written
                                                                   : WriteResult::write_failed;
}

// A failed write outweighs a shortage of memory: the file is wrong either way, and the disk
// is what the user must see to.
WriteResult combined(WriteResult a, WriteResult b) {
    if (a == WriteResult::write_failed || b == WriteResult::write_failed) {
        return WriteResult::write_failed;
    }
    return a == WriteResult::out_of_memory ? a : b;
}

// Splits the copies first up to end into thread_count shares, one per thread, each written at
// its own positions. Threads that cannot be started are done without: their shares are
// written by the calling thread.
[[nodiscard]] WriteResult write_in_parallel(const BinaryLayout& layout, const ReplicaExtras& extras,
                                            const ByteTarget& target, int first, int end,
                                            int thread_count) {
    std::vector<WriteResult> results;
    WriteResult result = WriteResult::written;
    if (allocates_or_fails([&] {
            results.assign(static_cast<std::size_t>(thread_count), WriteResult::written);
        }) != 0) {
        return WriteResult::out_of_memory;
    }
    auto share_start = [&](int share) {
        return first + static_cast<int>(std::int64_t{end - first} * share / thread_count);
    };
    HelperThreads threads;
    threads.make_room(thread_count - 1);
    int share = 1;
    for (; share < thread_count; ++share) {
        WriteResult& share_result = results[static_cast<std::size_t>(share)];
        const bool is_started =
            threads.start([&layout, &extras, &target, &share_result,
                           share_first = share_start(share), share_end = share_start(share + 1)] {
                write_share(layout, extras, target, share_first, share_end, share_result);
            });
        if (!is_started) break;
    }
    write_share(layout, extras, target, share_start(0), share_start(1), results[0]);
    if (share < thread_count) {
        write_share(layout, extras, target, share_start(share), end, result);
    }
    threads.join();
    for (WriteResult share_result : results)
        result = combined(result, share_result);
    return result;
}

}  // namespace

std::int64_t parhip_size(int times, int nvtxs, const VertexGraph& graph,
                         const ReplicaExtras& extras) {
    Sections sections;
    if (place_sections(times, nvtxs, graph, extras, sections) != 0) return -1;
    return sections.end;
}

int check_parhip_weights(const VertexGraph& graph, int nvtxs, MessageSink& messages) {
    if (graph.weights.empty()) return 0;
    for (int v = 1; v <= nvtxs; ++v) {
        const VertexRecord& record = *graph.slots[v];
        for (int i = 1; i < record.list_length; ++i) {
            const double weight = record.edge_weights[i];
            // A NaN fails every comparison and is refused with the rest.
            if (weight >= 1.0 && weight <= largest_edge_weight && weight == std::floor(weight)) {
                continue;
            }
            char text[weight_text_room];
            const std::uint32_t length = form_weight_text(record.edge_weights[i], text);
            messages.error("Error. Edge weight %.*s cannot be written in the parhip format.\n",
                           static_cast<int>(length - 1), text);
            return 1;
        }
    }
    return 0;
}

WriteResult write_parhip_graph(const ByteTarget& target, int times, int nvtxs,
                               const VertexGraph& graph, const ReplicaExtras& extras) {
    BinaryLayout layout;
    layout.graph = &graph;
    layout.times = times;
    layout.nvtxs = nvtxs;
    // The caller has checked that the size fits.
    if (place_sections(times, nvtxs, graph, extras, layout.sections) != 0) {
        return WriteResult::write_failed;
    }
    if (prepare_join_ring(times, nvtxs, extras.join_pairs, layout.ring) != 0) {
        return WriteResult::out_of_memory;
    }
    const int first = std::clamp(extras.first_copy, 0, times);
    const int end = std::clamp(extras.end_copy, first, times);
    std::vector<std::uint64_t> buffer;
    if (allocate_fields(buffer) != 0) return WriteResult::out_of_memory;
    FieldWriter writer{&target, buffer.data()};
    writer.progress = extras.progress;
    if (extras.progress != nullptr) {
        extras.progress->bytes_total.store(share_bytes(layout, extras, first, end),
                                           std::memory_order_relaxed);
    }
    if (extras.writes_front) write_header(layout, extras, writer);
    // A stream takes the bytes in order, on the calling thread.
    const int thread_count =
        target.stream != nullptr ? 1 : std::min({extras.threads, end - first, max_threads});
    if (thread_count <= 1) {
        return write_copies(layout, extras, first, end, writer) == 0 ? WriteResult::written
                                                                     : WriteResult::write_failed;
    }
    flush_fields(writer);
    if (writer.has_failed) return WriteResult::write_failed;
    // Each thread has a buffer of its own: this one is not needed any more.
    std::vector<std::uint64_t>().swap(buffer);
    return write_in_parallel(layout, extras, target, first, end, thread_count);
}
