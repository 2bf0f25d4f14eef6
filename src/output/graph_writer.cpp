#include "output/graph_writer.h"

#include <array>
#include <cassert>
#include <charconv>
#include <cinttypes>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

namespace {

// The vertex lines are gathered in a buffer of this size and handed to the stream whenever
// the next line may not fit: a few big writes instead of one per line or per number.
constexpr std::int64_t buffer_size = std::int64_t{4} << 20;

// The most bytes one entry can take. A renumbered vertex is below 2^62 (a neighbour plus
// copy times nvtxs, all ints), so at most a sign and 19 digits, then the blank.
constexpr std::int64_t max_entry_bytes = 21;

constexpr std::array<char, 40000> make_digit_quads() {
    std::array<char, 40000> quads{};
    for (int i = 0; i < 10000; ++i) {
        quads[4 * i] = static_cast<char>('0' + i / 1000);
        quads[4 * i + 1] = static_cast<char>('0' + i / 100 % 10);
        quads[4 * i + 2] = static_cast<char>('0' + i / 10 % 10);
        quads[4 * i + 3] = static_cast<char>('0' + i % 10);
    }
    return quads;
}

// "0000", "0001", ..., "9999" back to back: a vertex number is at most three look-ups.
constexpr std::array<char, 40000> digit_quads = make_digit_quads();

// Writes value (below 10000) without leading zeros and returns the end. Four bytes are
// always stored, the last digits of the quad and what follows it in the table; the bytes
// past the end are overwritten by whatever comes next, within the room the caller made.
inline char* append_short(char* text, std::uint32_t value) {
    const int length = 1 + (value >= 10) + (value >= 100) + (value >= 1000);
    std::memcpy(text, &digit_quads[4 * value + 4 - length], 4);
    return text + length;
}

// Writes value (below 10000) as exactly four digits and returns the end.
inline char* append_quad(char* text, std::uint32_t value) {
    std::memcpy(text, &digit_quads[4 * value], 4);
    return text + 4;
}

// Writes value in decimal at text and returns the end: its leading group without zeros,
// then the groups of four digits below it.
inline char* append_digits(char* text, std::uint32_t value) {
    if (value < 10000) return append_short(text, value);
    if (value < 100000000) {
        const std::uint32_t high = value / 10000;
        text = append_short(text, high);
        return append_quad(text, value - high * 10000);
    }
    const std::uint32_t top = value / 100000000;
    const std::uint32_t rest = value - top * 100000000;
    const std::uint32_t middle = rest / 10000;
    text = append_short(text, top);
    text = append_quad(text, middle);
    return append_quad(text, rest - middle * 10000);
}

// Writes one entry, the number and its blank, at text and returns the end. Vertex numbers
// take the fast path; anything else (never met in a checked graph) still comes out right.
inline char* append_entry(char* text, std::int64_t value) {
    if (value >= 0 && value <= std::int64_t{UINT32_MAX}) {
        text = append_digits(text, static_cast<std::uint32_t>(value));
    } else {
        text = std::to_chars(text, text + max_entry_bytes, value).ptr;
    }
    *text = ' ';
    return text + 1;
}

// Writes the entries from first to last (excluded), each plus offset, at text and returns the
// end. The caller has made room for max_entry_bytes per entry.
inline char* append_entries(char* text, const int* first, const int* last, std::int64_t offset) {
    for (const int* entry = first; entry != last; ++entry) {
        text = append_entry(text, *entry + offset);
    }
    return text;
}

[[nodiscard]] int write_bytes(std::FILE* out, const char* first, const char* last) {
    const std::size_t count = static_cast<std::size_t>(last - first);
    if (count == 0) return 0;
    return std::fwrite(first, 1, count, out) == count ? 0 : 1;
}

// The comment line and the header. The counts are formed in 64 bits so that no product
// overflows; the caller keeps them within 32 bits for every real run.
[[nodiscard]] int write_header(std::FILE* out, int times, const std::string& input_name, int nvtxs,
                               int nedges, int nconnect) {
    const std::int64_t vertex_total = std::int64_t{times} * nvtxs;
    const std::int64_t edge_total = std::int64_t{times} * nedges + std::int64_t{2} * nconnect;
    if (std::fprintf(out, "%% %d %s\n", times, input_name.c_str()) < 0) return 1;
    if (std::fprintf(out, "%" PRId64 " %" PRId64 "\n", vertex_total, edge_total) < 0) return 1;
    return 0;
}

// Gives the line buffer, or 1 when the memory is not there.
[[nodiscard]] int allocate_buffer(std::vector<char>& buffer) {
    try {
        buffer.resize(static_cast<std::size_t>(buffer_size));
    } catch (const std::bad_alloc&) {
        return 1;
    } catch (const std::length_error&) {
        return 1;
    }
    return 0;
}

}  // namespace

int write_replicated_graph(std::FILE* out, int times, const std::string& input_name, int nvtxs,
                           int nedges, int nconnect, const VertexGraph& graph) {
    if (write_header(out, times, input_name, nvtxs, nedges, nconnect) != 0) return 1;
    if (times < 1 || nvtxs < 1) return 0;
    assert(graph.slots.size() > static_cast<std::size_t>(nvtxs));

    std::vector<char> buffer;
    if (allocate_buffer(buffer) != 0) return 1;
    char* const start = buffer.data();
    char* const end = start + buffer.size();
    char* text = start;
    for (int copy = 0; copy < times; ++copy) {
        const std::int64_t offset = std::int64_t{copy} * nvtxs;
        for (int v = 1; v <= nvtxs; ++v) {
            const VertexRecord& record = *graph.slots[v];
            // Entry 0 is the vertex itself and is not written.
            const int* entry = record.neighbours + 1;
            const int* const last = record.neighbours + record.list_length;
            // Room for the whole line, its newline included, is made once per vertex, so that
            // the entries are formatted without looking at the buffer's end. A line longer
            // than the room left goes out in pieces; one longer than the buffer needs several.
            while ((last - entry) * max_entry_bytes >= end - text) {
                const std::int64_t fitting = (end - text - 1) / max_entry_bytes;
                text = append_entries(text, entry, entry + fitting, offset);
                entry += fitting;
                if (write_bytes(out, start, text) != 0) return 1;
                text = start;
            }
            text = append_entries(text, entry, last, offset);
            *text++ = '\n';
        }
    }
    return write_bytes(out, start, text);
}
