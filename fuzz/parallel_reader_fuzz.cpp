// The parallel reader against the serial one on arbitrary bytes: whatever the thread count
// and however small the chunks (so that chunk borders fall inside tokens, between a carriage
// return and its newline, inside comments and long lines), both must print the same
// messages byte for byte, count the same errors and warnings, return the same status and
// leave the same arrays, entries that neither wrote included. A hash of the bytes chooses 1
// to 4 threads, a chunk size from 1 to 64 bytes or the default, whether the lists of
// vertices no line reached are written, whether the reading is for a repair, whose findings
// must agree too, and rounds of the symmetry check from 1 to 8 gathered entries or the
// default. A third reading is wide, with the narrow arrays ending at 1 to 4 edges: a header
// past that must leave the same as the serial reader's narrow reading but for the refused
// count's value, drawn there in 64 bits.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "input/graph_reader.h"
#include "input/serial_reader.h"

namespace {

using fuzz_support::require;

struct Reading {
    int result = -1;
    std::string messages;
    std::int64_t errors = 0;
    std::int64_t warnings = 0;
    int nvtxs = 0;
    Block<std::int64_t> edge_offsets;
    Block<int> adjacency, vertex_weights;
    Block<float> edge_weights;
    ReadFindings findings;
};

template <class Reader>
void read_with(const std::uint8_t* data, std::size_t size, Reader reader, Reading& reading) {
    std::FILE* file = fuzz_support::stream_over(data, size);
    fuzz_support::MemoryMessages messages;
    reading.result = reader(file, messages.sink(), reading);
    reading.messages = messages.text();
    reading.errors = messages.sink().error_count();
    reading.warnings = messages.sink().warning_count();
}

bool is_count_refused(const Reading& reading) {
    return reading.messages.find("Invalid number of expected edges") != std::string::npos;
}

template <class T>
bool same_entries(const Block<T>& a, const Block<T>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        // Compared as bits: a weight stored as -0.0 or 0.0 must be the same one.
        if (std::memcmp(&a[i], &b[i], sizeof(T)) != 0) return false;
    }
    return true;
}

// Two readings left the same: messages, counts, status and every array entry.
void require_same(const Reading& a, const Reading& b) {
    require(a.messages == b.messages);
    require(a.result == b.result);
    require(a.errors == b.errors);
    require(a.warnings == b.warnings);
    require(a.nvtxs == b.nvtxs);
    require(same_entries(a.edge_offsets, b.edge_offsets));
    require(same_entries(a.adjacency, b.adjacency));
    require(same_entries(a.vertex_weights, b.vertex_weights));
    require(same_entries(a.edge_weights, b.edge_weights));
}

std::uint64_t hash_of(const std::uint8_t* data, std::size_t size) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 1099511628211ULL;
    return hash;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!fuzz_support::is_small(fuzz_support::header_of(data, size))) return -1;
    const std::uint64_t choice = hash_of(data, size);
    ReaderSettings settings;
    settings.threads = 1 + static_cast<int>(choice % 4);
    settings.chunk_bytes =
        (choice >> 2) % 8 == 0 ? 0 : 1 + static_cast<std::int64_t>((choice >> 5) % 64);
    settings.fills_unreached_lists = (choice >> 11) % 4 != 0;
    settings.repairs = (choice >> 13) % 2 != 0;
    settings.round_entries =
        (choice >> 16) % 4 == 0 ? 0 : 1 + static_cast<std::int64_t>((choice >> 18) % 8);

    Reading serial;
    read_with(
        data, size,
        [&](std::FILE* file, MessageSink& sink, Reading& r) {
            ReaderSettings own = settings;
            own.findings = &r.findings;
            return read_graph_file_serially(file, "fuzz", sink, r.edge_offsets, r.adjacency,
                                            r.nvtxs, r.vertex_weights, r.edge_weights, own);
        },
        serial);
    Reading parallel;
    read_with(
        data, size,
        [&](std::FILE* file, MessageSink& sink, Reading& r) {
            ReaderSettings own = settings;
            own.findings = &r.findings;
            return read_graph_file(file, "fuzz", sink, r.edge_offsets, r.adjacency, r.nvtxs,
                                   r.vertex_weights, r.edge_weights, own);
        },
        parallel);

    require_same(parallel, serial);
    if (serial.result == 0) {
        const ReadFindings& a = serial.findings;
        const ReadFindings& b = parallel.findings;
        require(a.header_nedges == b.header_nedges && a.self_entries == b.self_entries &&
                a.repeated_entries == b.repeated_entries &&
                a.bad_weight_entries == b.bad_weight_entries &&
                a.trailing_lines == b.trailing_lines);
    }

    ReaderSettings wide_settings = settings;
    wide_settings.is_wide = true;
    wide_settings.narrow_edge_limit = 1 + static_cast<std::int64_t>((choice >> 14) % 4);
    Reading wide;
    read_with(
        data, size,
        [&](std::FILE* file, MessageSink& sink, Reading& r) {
            return read_graph_file(file, "fuzz", sink, r.edge_offsets, r.adjacency, r.nvtxs,
                                   r.vertex_weights, r.edge_weights, wide_settings);
        },
        wide);
    if (is_count_refused(serial)) {
        require(wide.result == 1 && is_count_refused(wide));
        return 0;
    }
    require_same(wide, serial);
    return 0;
}
