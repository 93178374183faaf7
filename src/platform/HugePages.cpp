#include "platform/HugePages.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace hugepages {

void advise(void *block, std::size_t size)
{
    constexpr std::uintptr_t kPage = std::uintptr_t(2) << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (start + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t last = (start + size) & ~(kPage - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
}

} // namespace hugepages

// The sanitizers bring their own operator new and check that what it gave is
// what operator delete gets: there the library's stays.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)

// Replaces the global operator new of the whole program (the widget library's
// allocations included) with the C library's malloc, as the default one is,
// plus the advice for large blocks; operator delete stays the default, free().
// The array and nothrow forms call this one.
void *operator new(std::size_t size)
{
    if (size == 0)
        size = 1;
    for (;;) {
        if (void *block = std::malloc(size)) {
            if (size >= hugepages::kLargeBlock)
                hugepages::advise(block, size);
            return block;
        }
        const std::new_handler handler = std::get_new_handler();
        if (!handler)
            throw std::bad_alloc();
        handler();
    }
}

#endif
