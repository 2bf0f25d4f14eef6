#include "input/block_input.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/text_numbers.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// The smallest block of a small file.
constexpr std::int64_t smallest_block_bytes = std::int64_t{4} << 10;

// Room kept past a chunk's bytes: the stopping newline.
constexpr std::int64_t chunk_slack = 1;

// Gives bytes room for count bytes at least, keeping those it holds.
void grow_bytes(ChunkBytes& bytes, std::int64_t count) {
    if (bytes.capacity >= count) return;
    void* grown = std::realloc(bytes.data, static_cast<std::size_t>(count));
    if (grown == nullptr) throw std::bad_alloc();
    bytes.data = static_cast<char*>(grown);
    bytes.capacity = count;
}

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

// One past the last newline of bytes from searched up to size, or 0 when there is none.
std::int64_t last_line_end(const char* bytes, std::int64_t searched, std::int64_t size) {
    const void* newline =
        memrchr(bytes + searched, '\n', static_cast<std::size_t>(size - searched));
    return newline == nullptr ? 0 : static_cast<const char*>(newline) - bytes + 1;
}

// Whether c may be part of a number or of the white space between numbers: a digit, a sign,
// a point, an exponent letter, or a blank. At any other byte the reading of a line ends, as
// a word, a comment or a NUL byte ends it, whatever comes after it on the line.
bool may_count(char c) {
    return is_digit(c) || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E' || c == 'd' ||
           c == 'D' || is_blank(c);
}

// Keeps one blank of the blanks that end bytes up to size: a run of blanks separates what is
// around it as one blank does, so an endless run of them costs no more than a block. Gives
// the size.
std::int64_t squeeze_blank_run(const char* bytes, std::int64_t size) {
    std::int64_t run_start = size;
    while (run_start > 0 && is_blank(bytes[run_start - 1]))
        --run_start;
    return size - run_start > 1 ? run_start + 1 : size;
}

#ifdef __SSE2__
// 0xFF in each byte of bytes that lies from low to low + count - 1.
inline __m128i in_range(__m128i bytes, char low, char count) {
    const __m128i offset = _mm_sub_epi8(bytes, _mm_set1_epi8(low));
    return _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(static_cast<char>(count - 1))),
                          offset);
}

// A bit for each of the sixteen bytes at text that may count, as may_count tells.
inline int counting_bytes(const char* text, bool counts_commas) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    const __m128i lower = _mm_or_si128(bytes, _mm_set1_epi8(0x20));
    __m128i counts = _mm_or_si128(in_range(bytes, '0', 10), in_range(bytes, '\t', 5));
    counts = _mm_or_si128(counts, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')));
    counts = _mm_or_si128(counts, in_range(bytes, '-', 2));
    counts = _mm_or_si128(counts, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('+')));
    counts = _mm_or_si128(counts, _mm_cmpeq_epi8(lower, _mm_set1_epi8('e')));
    counts = _mm_or_si128(counts, _mm_cmpeq_epi8(lower, _mm_set1_epi8('d')));
    if (counts_commas) counts = _mm_or_si128(counts, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(',')));
    return _mm_movemask_epi8(counts);
}
#endif

// The first byte from searched up to size at which the reading of the line ends, or -1. A
// long line of numbers is tested sixteen bytes at a time: the test must cost next to nothing
// against reading and scanning the line.
std::int64_t settle_point(const char* bytes, std::int64_t searched, std::int64_t size,
                          bool counts_commas) {
    std::int64_t position = searched;
#ifdef __SSE2__
    constexpr int all_count = 0xffff;
    for (; position + 16 <= size; position += 16) {
        const int counting = counting_bytes(bytes + position, counts_commas);
        if (counting != all_count) return position + __builtin_ctz(~counting & all_count);
    }
#endif
    for (; position < size; ++position) {
        if (!may_count(bytes[position]) && !(counts_commas && bytes[position] == ',')) {
            return position;
        }
    }
    return -1;
}

// Where a long line after the last vertex line ends for its reader, the bytes up to size all
// such as may count, or -1 when it must grow further: the line tells no more than whether it
// begins with a number, which its first byte that is not a blank shows, with the next one for
// a sign.
std::int64_t beginning_point(const char* bytes, std::int64_t size) {
    std::int64_t first = 0;
    while (first < size && is_blank(bytes[first]))
        ++first;
    // One byte more is held for a reading that keeps the byte at which the line ends.
    return first + 2 < size ? first + 2 : -1;
}

// The line whose reading ends at settled, before which the chunk holds no newline: ends the
// chunk's copy of it there with a newline and reads the rest of it through, a block at a time
// in the room after that newline, where whatever follows the line's own newline stays. Gives
// the chunk's size.
std::int64_t read_through_line(BlockInput& input, Chunk& chunk, std::int64_t settled) {
    if (input.keeps_settling_byte) ++settled;
    grow_bytes(chunk.bytes, settled + 1 + input.block_bytes + chunk_slack);
    char* room = chunk.bytes.data + settled + 1;
    chunk.bytes.data[settled] = '\n';
    while (!input.is_at_end) {
        const std::int64_t read = read_block(input, room, input.block_bytes, chunk.index);
        const void* newline = std::memchr(room, '\n', static_cast<std::size_t>(read));
        if (newline != nullptr) {
            const char* rest = static_cast<const char*>(newline) + 1;
            const std::int64_t rest_length = room + read - rest;
            std::memmove(room, rest, static_cast<std::size_t>(rest_length));
            return settled + 1 + rest_length;
        }
    }
    // The input ended within the line: the line is the last one, and the newline written at
    // settled ends it. Without it a line settled at the chunk's first byte would leave the
    // chunk empty, and the line would be lost instead of read as holding nothing more.
    return settled + 1;
}

}  // namespace

ChunkBytes::~ChunkBytes() {
    std::free(data);
}

void size_blocks(BlockInput& input, std::int64_t largest, std::int64_t first_pipe_block) {
    input.block_bytes = largest;
    struct stat status;
    const std::int64_t position = ftello(input.file);
    if (fstat(fileno(input.file), &status) == 0 && S_ISREG(status.st_mode) && position >= 0 &&
        position <= status.st_size) {
        input.block_bytes =
            std::clamp<std::int64_t>(status.st_size - position + 1, smallest_block_bytes, largest);
        return;
    }
    input.block_bytes = std::min(first_pipe_block, largest);
    input.largest_block_bytes = largest;
}

bool read_chunk(BlockInput& input, Chunk& chunk) {
    const std::int64_t carried = static_cast<std::int64_t>(input.carried.size());
    if (input.is_at_end && carried == 0) return false;
    chunk.index = input.next_index;
    std::int64_t capacity = std::max(input.block_bytes, carried) + input.block_bytes;
    grow_bytes(chunk.bytes, capacity + chunk_slack);
    std::copy(input.carried.begin(), input.carried.end(), chunk.bytes.data);
    input.carried.clear();
    std::int64_t size = carried;
    std::int64_t cut = 0;  // one past the last newline found
    std::int64_t searched = 0;
    for (;;) {
        if (!input.is_at_end) {
            size += read_block(input, chunk.bytes.data + size, capacity - size, chunk.index);
        }
        cut = last_line_end(chunk.bytes.data, searched, size);
        if (cut > 0 || input.is_at_end) break;
        // A line longer than the block: the chunk grows until the line ends, unless the
        // reading of the line ends at a byte read already, or the line's place ends it.
        std::int64_t settled = settle_point(chunk.bytes.data, searched, size, input.counts_commas);
        if (settled < 0 && input.line_worth != nullptr) {
            const LineWorth worth = input.line_worth(input.reader, chunk.index);
            // No chunk is read after one whose line is worth nothing: this one ends here.
            if (worth == LineWorth::none) {
                cut = size;
                break;
            }
            if (worth == LineWorth::begins_only) settled = beginning_point(chunk.bytes.data, size);
        }
        if (settled >= 0) {
            size = read_through_line(input, chunk, settled);
            cut = last_line_end(chunk.bytes.data, settled, size);
            if (cut > 0 || input.is_at_end) break;
        }
        size = squeeze_blank_run(chunk.bytes.data, size);
        searched = size;
        if (capacity - size < input.block_bytes) {
            capacity = std::max(2 * capacity, size + input.block_bytes);
            grow_bytes(chunk.bytes, capacity + chunk_slack);
        }
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
    input.carried.assign(chunk.bytes.data + cut, chunk.bytes.data + size);
    chunk.size = cut;
    chunk.bytes.data[cut] = '\n';
    ++input.next_index;
    if (!input.is_at_end && input.block_bytes < input.largest_block_bytes) {
        input.block_bytes = std::min(2 * input.block_bytes, input.largest_block_bytes);
    }
    return true;
}

std::int64_t count_lines(const Chunk& chunk) {
    const char* text = chunk.bytes.data;
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
