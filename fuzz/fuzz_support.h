// What the fuzz targets share: a stream over the fuzzer's bytes, messages kept in memory, and the
// header counts of an input.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../tests/memory_messages.h"
#include "input/token_scanner.h"

namespace fuzz_support {

using memory_messages::MemoryMessages;

// Inputs whose header asks for more than this many vertices or edges are passed over: the
// arrays they ask for are real (the reader allocates them before it reads a vertex line),
// and the fuzzer's memory limit would report them as findings.
constexpr std::int64_t largest_count = 1 << 20;

// A read-only stream over the bytes, which stay in place until it is closed; a stream in
// memory spares the file system calls of a temporary file, which would halve the scanner
// target's speed. fmemopen refuses a size of 0, so an empty input gets an empty temporary
// file.
inline std::FILE* stream_over(const std::uint8_t* data, std::size_t size) {
    // A stream opened for reading never writes to its buffer.
    std::FILE* stream =
        size > 0 ? fmemopen(const_cast<std::uint8_t*>(data), size, "r") : std::tmpfile();
    if (stream == nullptr) std::abort();
    return stream;
}

struct HeaderCounts {
    int nvtxs = 0;
    int nedges = 0;
    int format_code = 0;  // its last three digits as written
};

// The header as the reader sees it: the first line that begins with a number.
inline HeaderCounts header_of(const std::uint8_t* data, std::size_t size) {
    HeaderCounts counts;
    std::FILE* stream = stream_over(data, size);
    TokenScanner scanner;
    ScanStatus status = scan_end_of_line;
    while (status == scan_end_of_line)
        counts.nvtxs = next_int(scanner, stream, status);
    if (status == scan_number) counts.nedges = next_int(scanner, stream, status);
    if (status == scan_number) {
        (void)next_int(scanner, stream, status);
        // The code's digits as written: a long code does not saturate into another one.
        if (status == scan_number) counts.format_code = scanner.int_low_digits;
    }
    std::fclose(stream);
    return counts;
}

inline bool is_small(const HeaderCounts& counts) {
    return counts.nvtxs <= largest_count && counts.nedges <= largest_count;
}

}  // namespace fuzz_support
