// Block: the storage of the run's big arrays, a std::vector whose entries start at zero
// without the run writing them.
//
// Every big array is sized once from counts known in advance and then written entry by
// entry, so having the vector zero it first would only double the memory traffic; and a
// header that declares far more vertices than its file holds must not make the run touch
// gigabytes it never fills. Large blocks therefore come straight from mmap, whose pages are
// zero until first written and are marked for transparent huge pages, which spares most of
// the page faults of filling them. A large block that cannot be had throws std::bad_alloc
// in every build, sanitizers included, so the callers' memory messages always show.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

template <class T>
struct BlockAllocator {
    using value_type = T;

    // Below this many bytes the ordinary heap serves better than a mapping of its own.
    static constexpr std::size_t mapping_threshold = std::size_t{1} << 21;

    BlockAllocator() = default;
    template <class U>
    BlockAllocator(const BlockAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        std::size_t bytes = count * sizeof(T);
        if (bytes < mapping_threshold) {
            void* address = ::operator new(bytes);
            std::memset(address, 0, bytes);
            return static_cast<T*>(address);
        }
        void* address =
            mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (address == MAP_FAILED) throw std::bad_alloc();
        madvise(address, bytes, MADV_HUGEPAGE);
        return static_cast<T*>(address);
    }

    void deallocate(T* address, std::size_t count) noexcept {
        std::size_t bytes = count * sizeof(T);
        if (bytes < mapping_threshold) {
            ::operator delete(address);
        } else {
            munmap(address, bytes);
        }
    }

    // Default construction leaves the entry as allocate gave it: zero.
    template <class U, class... Arguments>
    void construct(U* place, Arguments&&... arguments) {
        if constexpr (sizeof...(Arguments) == 0) {
            ::new (static_cast<void*>(place)) U;
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
