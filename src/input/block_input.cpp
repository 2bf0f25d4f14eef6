#include "input/block_input.h"

#include <algorithm>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// Room kept past a chunk's bytes: the stopping newline.
constexpr std::int64_t chunk_slack = 1;

// Reads up to count bytes of the stream to place; gives the count read. A failing stream is
// noted against the chunk and then counts as ended, as it does for a reading in file order.
std::int64_t read_block(BlockInput& input, char* place, std::int64_t count, std::int64_t index) {
    const std::size_t read = std::fread(place, 1, static_cast<std::size_t>(count), input.file);
    if (static_cast<std::int64_t>(read) < count) {
        input.is_at_end = true;
        if (std::ferror(input.file) != 0 && input.failed_chunk < 0) input.failed_chunk = index;
    }
    return static_cast<std::int64_t>(read);
}

}  // namespace

bool read_chunk(BlockInput& input, Chunk& chunk) {
    const std::int64_t carried = static_cast<std::int64_t>(input.carried.size());
    if (input.is_at_end && carried == 0) return false;
    chunk.index = input.next_index;
    std::int64_t capacity = std::max(input.block_bytes, carried) + input.block_bytes;
    if (static_cast<std::int64_t>(chunk.bytes.size()) < capacity + chunk_slack) {
        chunk.bytes.resize(static_cast<std::size_t>(capacity + chunk_slack));
    }
    std::copy(input.carried.begin(), input.carried.end(), chunk.bytes.begin());
    input.carried.clear();
    std::int64_t size = carried;
    std::int64_t cut = 0;  // one past the last newline found
    std::int64_t searched = 0;
    for (;;) {
        if (!input.is_at_end) {
            size += read_block(input, chunk.bytes.data() + size, capacity - size, chunk.index);
        }
        const void* last_newline =
            memrchr(chunk.bytes.data() + searched, '\n', static_cast<std::size_t>(size - searched));
        if (last_newline != nullptr) {
            cut = static_cast<const char*>(last_newline) - chunk.bytes.data() + 1;
        }
        if (cut > 0 || input.is_at_end) break;
        // A line longer than the block: the chunk grows until the line ends.
        searched = size;
        capacity *= 2;
        chunk.bytes.resize(static_cast<std::size_t>(capacity + chunk_slack));
    }
    if (input.is_at_end && cut < size) {
        // The last line of the input, without a newline; but after a failed read, bytes after
        // the last newline are a line cut short, whose numbers would prove nothing.
        if (input.failed_chunk < 0) cut = size;
    }
    if (cut == 0) {
        input.carried.clear();
        return false;
    }
    input.carried.assign(chunk.bytes.begin() + cut, chunk.bytes.begin() + size);
    chunk.size = cut;
    chunk.bytes[static_cast<std::size_t>(cut)] = '\n';
    ++input.next_index;
    if (!input.is_at_end && input.block_bytes < input.largest_block_bytes) {
        input.block_bytes = std::min(2 * input.block_bytes, input.largest_block_bytes);
    }
    return true;
}

std::int64_t count_lines(const Chunk& chunk) {
    const char* text = chunk.bytes.data();
    std::int64_t lines = 0;
    std::int64_t position = 0;
#ifdef __SSE2__
    // Sixteen bytes at a time: each byte of the comparison is -1 at a newline, and subtracting
    // it counts the newline in that byte of the sums, which are added up before any can pass
    // 255.
    constexpr std::int64_t block_bytes = 16;
    constexpr int blocks_per_sum = 255;
    const __m128i newlines = _mm_set1_epi8('\n');
    while (position + block_bytes <= chunk.size) {
        __m128i sums = _mm_setzero_si128();
        for (int block = 0; block < blocks_per_sum && position + block_bytes <= chunk.size;
             ++block, position += block_bytes) {
            const __m128i bytes =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + position));
            sums = _mm_sub_epi8(sums, _mm_cmpeq_epi8(bytes, newlines));
        }
        const __m128i totals = _mm_sad_epu8(sums, _mm_setzero_si128());
        lines += _mm_cvtsi128_si64(totals) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(totals, totals));
    }
#endif
    lines += std::count(text + position, text + chunk.size, '\n');
    if (chunk.size > 0 && text[chunk.size - 1] != '\n') ++lines;
    return lines;
}
