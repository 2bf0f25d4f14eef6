#include "common/block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "graph/vertex_graph.h"

namespace {

// Fills a block of count entries, frees it, and takes a new one of the same size: the new
// one must start at T() even where the allocator hands the same memory out again.
template <class T>
void check_fresh_blocks(std::size_t count, T filler) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        Block<T> block;
        block.resize(count);
        ASSERT_EQ(block.size(), count);
        EXPECT_TRUE(
            std::all_of(block.begin(), block.end(), [](const T& entry) { return entry == T(); }));
        // A large block starts on a huge-page boundary, so that huge pages can cover it whole.
        if (has_huge_page_hint && count * sizeof(T) >= huge_page_size) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.data()) % huge_page_size, 0u);
        }
        std::fill(block.begin(), block.end(), filler);
    }
}

TEST(Block, entries_start_value_initialised_in_small_and_large_blocks) {
    VertexRecord record{};
    for (std::size_t count : {std::size_t{1}, std::size_t{1000}, std::size_t{3} << 20}) {
        SCOPED_TRACE(count);
        check_fresh_blocks<int>(count, -1);
        check_fresh_blocks<float>(count, -1.5f);
        check_fresh_blocks<VertexRecord*>(count, &record);
    }
}

}  // namespace
