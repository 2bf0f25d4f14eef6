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

// What the reader says of every long line, in the rows that ask it: the worth in reader.
LineWorth fixed_worth(void* reader, std::int64_t) {
    return *static_cast<LineWorth*>(reader);
}

std::string first_chunk(const std::string& text, std::int64_t block_bytes,
                        LineWorth* worth = nullptr) {
    BlockInput input;
    input.file = test_support::stream_with(text);
    input.block_bytes = block_bytes;
    if (worth != nullptr) {
        input.line_worth = fixed_worth;
        input.reader = worth;
    }
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

// A line of numbers longer than a block, held as far as its place lets it count: whole as a
// vertex line; after the last vertex line up to where it shows whether it begins with a
// number (a run of blanks before that costs a block at most), the rest read through; after the
// point where the reading stopped, its chunk ends with what it holds, and nothing more is read.
TEST(BlockInput, holds_a_long_line_of_numbers_as_far_as_its_place_lets_it_count) {
    const std::string digits(100000, '1');
    struct Row {
        const char* name;
        LineWorth worth;
        std::string text;
        std::string chunk;
    };
    const Row rows[] = {
        {"vertex line", LineWorth::counts, digits + "\n3\n", digits + "\n3\n"},
        {"after the last vertex line", LineWorth::begins_only, digits + "\n3\n", "11\n3\n"},
        {"signed, after the last vertex line", LineWorth::begins_only, " -7" + digits + "\n3\n",
         " -7\n3\n"},
        {"blanks first, after the last vertex line", LineWorth::begins_only,
         std::string(100000, ' ') + "+" + digits + "\n3\n", std::string(25, ' ') + "+1\n3\n"},
        {"after the reading stopped", LineWorth::none, digits + "\n3\n", std::string(32, '1')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LineWorth worth = row.worth;
        EXPECT_EQ(first_chunk(row.text, 16, &worth), row.chunk);
    }
}

}  // namespace
