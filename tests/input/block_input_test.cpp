// Block input: what a chunk holds of a line longer than a block.
#include "input/block_input.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "test_support.h"

namespace {

// The bytes of a number and the white space between numbers: a line is held as long as it
// holds only these.
bool may_count(char c) {
    return (c >= '0' && c <= '9') || (c != '\0' && std::strchr("+-.eEdD \t\v\f\r", c) != nullptr);
}

std::string first_chunk(const std::string& text, std::int64_t block_bytes) {
    BlockInput input;
    input.file = test_support::stream_with(text);
    input.block_bytes = block_bytes;
    Chunk chunk;
    std::string bytes;
    if (read_chunk(input, chunk)) bytes.assign(chunk.bytes.data, chunk.size);
    std::fclose(input.file);
    return bytes;
}

// Every byte value in the middle of a line three blocks long, at each place of a block: the
// line is held whole when the byte may count, and ends just before it otherwise, the rest of
// the line read through up to the next line.
TEST(BlockInput, holds_a_long_line_only_as_far_as_it_can_count) {
    for (int value = 0; value < 256; ++value) {
        const char byte = static_cast<char>(value);
        if (byte == '\n') continue;
        for (int place = 16; place < 32; ++place) {
            SCOPED_TRACE(testing::Message() << "byte " << value << " at " << place);
            const std::string line =
                std::string(place, '1') + byte + std::string(47 - place, '2') + "\n";
            const std::string chunk = first_chunk(line + "3\n", 16);
            if (may_count(byte)) {
                EXPECT_EQ(chunk.substr(0, line.size()), line);
            } else {
                EXPECT_EQ(chunk, std::string(place, '1') + "\n3\n");
            }
        }
    }
}

// A run of blanks in a long line costs at most a block, however long it is.
TEST(BlockInput, holds_a_long_run_of_blanks_in_a_block) {
    const std::string chunk = first_chunk("1" + std::string(100000, ' ') + "2 \t 3\n", 16);
    EXPECT_LE(chunk.size(), 1 + 2 * 16 + 7u);
    EXPECT_EQ(chunk.substr(0, 2), "1 ");
    EXPECT_EQ(chunk.substr(chunk.find_first_not_of(' ', 1)), "2 \t 3\n");
}

}  // namespace
