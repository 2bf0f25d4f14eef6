// The scanner on arbitrary bytes: a mix of integer and real requests, drawn from the bytes
// themselves, must reach the end of the input within a bounded number of requests and
// keep every position inside the line buffer.
#include <cassert>
#include <cstdint>
#include <cstdlib>

#include "fuzz_support.h"
#include "input/token_scanner.h"

namespace {

void check_positions(const TokenScanner& scanner) {
    assert(scanner.scan_offset >= 0 && scanner.scan_offset < line_buffer_size);
    // A request never ends on a segment without a whole token to stop at.
    assert(scanner.break_point >= 0 && scanner.break_point <= line_buffer_size);
    assert(scanner.save_point >= 0 && scanner.save_point < line_buffer_size);
    (void)scanner;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* stream = fuzz_support::stream_over(data, size);
    TokenScanner scanner;
    // Every request either consumes a character of the input or ends a line, which the
    // next read must move past, so this many requests always reach the end.
    const std::size_t request_limit = 4 * size + 16;
    std::uint64_t pattern = 0x9e3779b97f4a7c15ULL ^ size;
    for (std::size_t i = 0; i < size && i < 8; ++i)
        pattern = pattern * 131 + data[i];
    ScanStatus status = scan_number;
    std::size_t requests = 0;
    while (status != scan_end_of_input) {
        if (++requests > request_limit) std::abort();
        pattern = pattern * 6364136223846793005ULL + 1442695040888963407ULL;
        if ((pattern >> 33) & 1) {
            int value = next_int(scanner, stream, status);
            if (status != scan_number && value != 0) std::abort();
        } else {
            double value = next_real(scanner, stream, status);
            if (status != scan_number && value != 0.0) std::abort();
        }
        check_positions(scanner);
    }
    // Once the input has ended, it stays ended.
    ScanStatus again = scan_number;
    if (next_int(scanner, stream, again) != 0 || again != scan_end_of_input) std::abort();
    std::fclose(stream);
    return 0;
}
