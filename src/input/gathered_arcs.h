// Gathered arcs: the entries towards lower vertices that the symmetry check gathers by ranges
// of the lower vertex, in the two layouts it chooses between, and the block that holds them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "common/block.h"

// Internal to the symmetry check's source file, and included by it alone.
namespace gathered_arcs {

// A range holds this many lower vertices (as a power of two): the counts of a range and the
// lists of its vertices stay in cache while the range is compared.
constexpr int range_shift = 12;
constexpr int range_size = 1 << range_shift;

// An entry towards a lower vertex: lower is listed by higher, index entries into its list. A
// list holds distinct neighbours, fewer than 2^31, so the index stays 32-bit however far into a
// wide adjacency the list lies. Where no list is longer than 2^20 entries, which a file without
// a vertex of a million neighbours never has, the index shares a word with the lower vertex's
// place in its range and an entry takes 8 bytes; else 12.
constexpr int packed_index_bits = 32 - range_shift;
constexpr std::int64_t packed_list_limit = std::int64_t{1} << packed_index_bits;

struct PackedArc {
    std::uint32_t place;  // the lower vertex's place in its range, then the index
    int higher;
    static PackedArc make(int lower, int higher, std::uint32_t index) {
        const auto in_range = static_cast<std::uint32_t>((lower - 1) & (range_size - 1));
        return {in_range << packed_index_bits | index, higher};
    }
    int lower_in_range() const {
        return static_cast<int>(place >> packed_index_bits);
    }
    std::uint32_t index() const {
        return place & ((std::uint32_t{1} << packed_index_bits) - 1);
    }
};

struct SpreadArc {
    int lower;
    int higher;
    std::uint32_t list_index;
    static SpreadArc make(int lower, int higher, std::uint32_t index) {
        return {lower, higher, index};
    }
    int lower_in_range() const {
        return (lower - 1) & (range_size - 1);
    }
    std::uint32_t index() const {
        return list_index;
    }
};

// The gathered entries, left unwritten until placed. Not a Block: the entries live only
// until the check ends and need no zeros. A large one asks for huge pages, as the arrays
// do: all of it is written at once, and faulting it in 4 KiB at a time made -check 5 to 8 %
// slower on the grid, the hub graph and a randomly numbered one.
template <class Arc>
struct ArcBlock {
    Arc* data = nullptr;
    ArcBlock() = default;
    ArcBlock(const ArcBlock&) = delete;
    ArcBlock& operator=(const ArcBlock&) = delete;
    ~ArcBlock() {
        std::free(data);
    }
    void allocate(std::size_t arc_count) {
        const std::size_t count = std::max<std::size_t>(arc_count, 1);
        data = static_cast<Arc*>(std::malloc(count * sizeof(Arc)));
        if (data == nullptr) throw std::bad_alloc();
        if (count * sizeof(Arc) >= huge_page_size) hint_huge_pages(data, count * sizeof(Arc));
    }
};

}  // namespace gathered_arcs
