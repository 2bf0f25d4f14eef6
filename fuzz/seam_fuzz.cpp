// The scanner's seams on arbitrary bytes: a text, and the same text with blanks put in front
// of its lines and after its white space so that its tokens stand elsewhere against the
// buffer's seams, must give the same numbers and statuses to the same mix of integer and
// real requests. The first byte chooses where the blanks go and which requests are made;
// the rest is the text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/text_numbers.h"
#include "fuzz_support.h"
#include "input/token_scanner.h"

namespace {

using fuzz_support::require;

std::uint64_t next_random(std::uint64_t& state) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return state >> 33;
}

// Blanks in front of the text (unless it starts with a byte order mark) and after each
// white-space byte, except after a final newline, where they would make a line of their own. Most
// places get none, some a few, some enough to move what follows past a whole segment.
std::string with_blanks(const std::uint8_t* text, std::size_t size, std::uint64_t seed) {
    std::string moved;
    std::uint64_t state = seed;
    auto add_blanks = [&]() {
        const std::uint64_t choice = next_random(state);
        const std::size_t count = choice % 4 == 0 ? (choice >> 2) % 256 : choice % 4 == 1 ? 1 : 0;
        moved.append(count, ' ');
    };
    // Blanks in front of a byte order mark would make it a word of the first line.
    const bool starts_with_mark =
        size >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF;
    if (size > 0 && !starts_with_mark) add_blanks();
    for (std::size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(text[i]);
        moved += c;
        if (is_white_space(c) && !(c == '\n' && i + 1 == size)) add_blanks();
    }
    return moved;
}

struct Outcome {
    ScanStatus status;
    std::uint64_t value_bits;  // 0.0 and -0.0 differ
    bool operator==(const Outcome&) const = default;
};

// The outcome of every request until the end of the input, each request an integer or a
// real request as the seed has it.
std::vector<Outcome> scan(const std::string& text, std::uint64_t seed) {
    std::FILE* stream =
        fuzz_support::stream_over(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    TokenScanner scanner;
    std::vector<Outcome> outcomes;
    // Every request consumes a character or ends a line, which the next read moves past.
    const std::size_t request_limit = 4 * text.size() + 16;
    std::uint64_t state = seed;
    ScanStatus status = scan_number;
    while (status != scan_end_of_input) {
        require(outcomes.size() < request_limit);
        double value = 0.0;
        if (next_random(state) & 1) {
            value = next_int(scanner, stream, status);
        } else {
            value = next_real(scanner, stream, status);
        }
        std::uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        outcomes.push_back({status, bits});
    }
    std::fclose(stream);
    return outcomes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint64_t seed = 0x9e3779b97f4a7c15ULL ^ data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string moved = with_blanks(data + 1, size - 1, seed);
    require(scan(text, seed) == scan(moved, seed));
    return 0;
}
