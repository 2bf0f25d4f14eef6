// Block: the storage of the run's big arrays, a std::vector whose entries start at zero
// without the run writing them.
//
// Every big array is sized once from counts known in advance and then written entry by
// entry, so having the vector zero it first would only double the memory traffic; and a
// header that declares far more vertices than its file holds must not make the run touch
// gigabytes it never fills. Blocks therefore come from calloc, which hands out large blocks
// as fresh pages that are zero until first written, and large ones are marked for
// transparent huge pages where the system has them, which spares most of the page faults of
// filling them. A block that cannot be had throws std::bad_alloc in every build, so the
// callers' memory messages always show (the sanitizer build tells its allocator to give
// back a null pointer rather than end the process).
//
// Entries are value-initialised. For integers and IEEE floating point, zero bytes are the
// value zero, and calloc has already created such entries there: it creates the objects of
// implicit-lifetime types its storage needs, with the value its zero bytes represent. Their
// value-initialisation is therefore left out, which spares a pass writing zeros over the
// whole block. Every other type, pointers and records included, is value-initialised as
// usual, since a null pointer need not be zero bytes. This holds for storage fresh from
// allocate only: a block is resized once, from empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#include <unistd.h>
#endif

// Whether an entry of type T made of zero bytes has the value T() gives.
template <class T>
constexpr bool zero_bytes_are_value_initialised = std::is_integral_v<T> ||
                                                  (std::is_floating_point_v<T> &&
                                                   std::numeric_limits<T>::is_iec559);

#ifdef MADV_HUGEPAGE
constexpr bool has_huge_page_hint = true;
#else
constexpr bool has_huge_page_hint = false;
#endif

// The size and alignment of a transparent huge page.
constexpr std::size_t huge_page_size = std::size_t{1} << 21;

// Asks for huge pages over the whole pages inside bytes at address; the partial pages at
// either end may hold the allocator's own records, and are left as they are.
inline void hint_huge_pages([[maybe_unused]] void* address, [[maybe_unused]] std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    static const long page_size = sysconf(_SC_PAGESIZE);
    if (page_size <= 0) return;
    const auto page = static_cast<std::uintptr_t>(page_size);
    const auto start = reinterpret_cast<std::uintptr_t>(address);
    const std::uintptr_t first = (start + page - 1) / page * page;
    const std::uintptr_t last = (start + bytes) / page * page;
    // Only a hint: where it is refused, the block works on ordinary pages.
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

template <class T>
struct BlockAllocator {
    using value_type = T;

    // Below this many bytes huge pages would not pay: a block of fewer spans less than one.
    static constexpr std::size_t huge_page_threshold = huge_page_size;

    BlockAllocator() = default;
    template <class U>
    BlockAllocator(const BlockAllocator<U>&) noexcept {}

    // A large block starts on a huge-page boundary inside a calloc block one huge page longer,
    // with the address calloc gave stored just before it. The allocator has already written
    // its own record at the front of its block by the time the hint can be given, and a huge
    // page cannot cover memory that was first touched as an ordinary page; starting at a
    // boundary keeps that record out of every huge page the block can use. The extra huge
    // page is address space only: it is never touched, save one page before the boundary.
    T* allocate(std::size_t count) {
        if (count > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_alloc();
        const std::size_t bytes = count * sizeof(T);
        if (!has_huge_page_hint || bytes < huge_page_threshold) {
            void* address = std::calloc(count, sizeof(T));
            if (address == nullptr) throw std::bad_alloc();
            return static_cast<T*>(address);
        }
        if (bytes > std::numeric_limits<std::size_t>::max() - huge_page_size) {
            throw std::bad_alloc();
        }
        void* base = std::calloc(bytes + huge_page_size, 1);
        if (base == nullptr) throw std::bad_alloc();
        void* start = static_cast<char*>(base) + sizeof base;
        std::size_t space = bytes + huge_page_size - sizeof base;
        // Always succeeds: the block has a whole huge page to spare for the boundary.
        std::align(huge_page_size, bytes, start, space);
        std::memcpy(static_cast<char*>(start) - sizeof base, &base, sizeof base);
        hint_huge_pages(start, bytes);
        return static_cast<T*>(start);
    }

    void deallocate(T* address, std::size_t count) noexcept {
        if (!has_huge_page_hint || count * sizeof(T) < huge_page_threshold) {
            std::free(address);
            return;
        }
        void* base = nullptr;
        std::memcpy(&base, reinterpret_cast<char*>(address) - sizeof base, sizeof base);
        std::free(base);
    }

    // Value-initialisation of an entry whose zero bytes are already its value is left out.
    template <class U, class... Arguments>
    void construct(U* place, Arguments&&... arguments) {
        if constexpr (sizeof...(Arguments) == 0 && zero_bytes_are_value_initialised<U>) {
            return;
        } else {
            ::new (static_cast<void*>(place)) U(std::forward<Arguments>(arguments)...);
        }
    }

    template <class U>
    bool operator==(const BlockAllocator<U>&) const noexcept {
        return true;
    }
};

// Entries start at zero. Resize it once: growing it again copies, as a vector does.
template <class T>
using Block = std::vector<T, BlockAllocator<T>>;
