#pragma once
// Checked allocation of the model's arrays. Per-cell arrays are contiguous and
// one-based: N + 1 entries, entry 0 carries no cell.

#include <cstddef>
#include <limits>
#include <new>
#include <stdexcept>
#include <vector>

#include "core/context.hpp"

namespace torva {

// Starts each array on a cache line of its own and rounds it up to whole
// lines, so that arrays written by different threads (the threads' scratch)
// never share a line: a line that two processors write in turn travels
// between them at every write, which made two threads' column steps a third
// slower than one thread's whenever the processors sat far apart.
template <typename T>
struct CacheLineAllocator {
    using value_type = T;
    static constexpr std::size_t kLine = 64;

    CacheLineAllocator() = default;
    template <typename U>
    CacheLineAllocator(const CacheLineAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > (std::numeric_limits<std::size_t>::max() - kLine) / sizeof(T))
            throw std::bad_array_new_length();
        const std::size_t bytes = (n * sizeof(T) + kLine - 1) / kLine * kLine;
        return static_cast<T*>(::operator new (bytes, std::align_val_t{kLine}));
    }
    void deallocate(T* p, std::size_t) noexcept { ::operator delete (p, std::align_val_t{kLine}); }

    friend bool operator==(const CacheLineAllocator&, const CacheLineAllocator&) = default;
};

template <typename T>
using LineVector = std::vector<T, CacheLineAllocator<T>>;

// Runs `fill`, which sizes an array. A failed allocation prints its message
// (with the array's name), raises 4000 and returns false.
template <typename Fill>
bool allocate_with(RunContext& ctx, const char* name, Fill fill) {
    try {
        fill();
        return true;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    ctx.print("Error allocating memory for variable %s\n", name);
    ctx.error.raise(err::message_printed);
    return false;
}

inline constexpr std::size_t kHugePageArray = std::size_t{64} << 20;

// Asks the kernel to back the whole 2 MB pages within [data, data + bytes)
// by huge pages; a refusal leaves the ordinary pages.
void advise_huge_pages(void* data, std::size_t bytes);

// Sizes the array to n zeroed entries. An empty request or a failed allocation
// prints its message (with the array's name) and raises 4000.
template <typename T, typename Allocator>
bool allocate(RunContext& ctx, std::vector<T, Allocator>& array, std::size_t n, const char* name) {
    if (n == 0) {
        ctx.print("Error: Attempting to allocate array of size 0\n");
        ctx.error.raise(err::message_printed);
        return false;
    }
    return allocate_with(ctx, name, [&] {
        // An array of many megabytes (the soil columns' nodes of a large
        // grid) asks for 2 MB pages before its first touch: a column step
        // then finds its nodes without a page-table walk.
        if (array.capacity() < n && n * sizeof(T) >= kHugePageArray) {
            array.clear();
            array.shrink_to_fit();
            array.reserve(n);
            advise_huge_pages(array.data(), n * sizeof(T));
        }
        array.assign(n, T{});
    });
}

}  // namespace torva
