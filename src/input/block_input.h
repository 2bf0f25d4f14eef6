// Block input: the rest of a graph file in large line-aligned chunks.
//
// Reads the stream in blocks of a given size (a regular file in big chunks, a pipe as its
// data arrives), cuts each block after its last line end and carries the piece of line
// after it to the front of the next chunk, so every chunk but the last ends with a newline
// and holds whole lines only. A line longer than a block makes its chunk longer, as long as
// what it holds can count: once a byte that no number or white space holds shows where the
// reading of the line ends (a word, a comment, a NUL byte), the rest of the line is read
// through in blocks and never held, and a run of blanks costs a block at most. So a line of numbers
// reads whole, at about its own length in memory, and endless bytes that cannot count read as cat
// would read them. What only the reader knows, a long line's place after the last vertex line
// or after the point where the reading stopped, it tells when asked: such a line is held only as
// far as its place lets it count, and read through after that. Every chunk is followed in memory by
// a newline of its own, which stops any scan of a number or a line at the chunk's end. The caller
// serialises the calls.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

// A chunk's memory: one block that grows without being filled with zeros, and in place where
// the system can (a large block is moved by remapping its pages, not copied), so that a long
// line costs memory for the bytes read and no more.
struct ChunkBytes {
    char* data = nullptr;
    std::int64_t capacity = 0;
    ChunkBytes() = default;
    ChunkBytes(const ChunkBytes&) = delete;
    ChunkBytes& operator=(const ChunkBytes&) = delete;
    ~ChunkBytes();
};

struct Chunk {
    ChunkBytes bytes;        // the chunk's bytes, then the stopping newline, then spare room
    std::int64_t size = 0;   // the chunk's bytes, without the stopping newline
    std::int64_t index = 0;  // chunks count from 0 in file order
};

// What the reader can still use of a line longer than a block, the first line of its chunk.
enum class LineWorth {
    counts,       // every number of it: a vertex line
    begins_only,  // whether it begins with a number: a line after the last vertex line
    none,         // nothing: the reading stopped in a chunk before it, and no chunk follows
};

// Asked with the chunk's index each time such a line grows by a block, by the thread that
// reads the input. It may wait, but never for anything that needs the input.
using LineWorthQuestion = LineWorth (*)(void* reader, std::int64_t chunk_index);

struct BlockInput {
    std::FILE* file = nullptr;
    std::int64_t block_bytes = 0;
    // Above block_bytes: the blocks double up to this size while the input goes on, so that a
    // short input of unknown length (a pipe) costs a small block, a long one large blocks.
    std::int64_t largest_block_bytes = 0;
    // The bytes after the last line end of the block read last: the start of the next chunk.
    std::vector<char> carried;
    bool is_at_end = false;
    std::int64_t next_index = 0;
    // The chunk whose read the stream failed, or -1: the stream counts as ended there.
    std::int64_t failed_chunk = -1;
    // A line read through keeps the byte at which its reading ends before the newline that
    // ends its copy: a format in which a word is an error sees it, as on a short line.
    bool keeps_settling_byte = false;
    // A comma may stand between numbers: it does not end the reading of a line. With the
    // settling byte kept, a line's copy then holds all that decides how its numbers read.
    bool counts_commas = false;
    // Without a question every line that may count is held whole.
    LineWorthQuestion line_worth = nullptr;
    void* reader = nullptr;
};

// Sizes the first block of the input and the largest: a block that holds the rest of a regular
// file, and no more, so that a small file is read in one block of its own size; anything else
// (a pipe) starts at first_pipe_block and grows up to largest while it goes on.
void size_blocks(BlockInput& input, std::int64_t largest, std::int64_t first_pipe_block);

// Fills chunk with the next line-aligned chunk of input and numbers it; false when the input
// holds no further byte. Throws std::bad_alloc when a chunk's memory is not there.
bool read_chunk(BlockInput& input, Chunk& chunk);

// The number of lines in a chunk: its newlines, and one more for a last line without one.
std::int64_t count_lines(const Chunk& chunk);
