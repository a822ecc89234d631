#include "core/arrays.hpp"

#include <sys/mman.h>

#include <cstdint>

namespace torva {

void advise_huge_pages(void* data, std::size_t bytes) {
    constexpr std::uintptr_t huge = std::uintptr_t{2} << 20;
    const auto first = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t begin = (first + huge - 1) & ~(huge - 1);
    const std::uintptr_t end = (first + bytes) & ~(huge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace torva
