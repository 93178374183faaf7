#include "platform/HugePages.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

#include <malloc.h>
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

void giveBackFreed()
{
    ::malloc_trim(0);
}

namespace {
thread_local const ReportTouching::Touched *t_touched = nullptr;
} // namespace

ReportTouching::ReportTouching(Touched touched) : m_touched(std::move(touched)), m_outer(t_touched)
{
    t_touched = &m_touched;
}

ReportTouching::~ReportTouching()
{
    t_touched = m_outer;
}

void prepareLargeBlock(void *block, std::size_t size)
{
    advise(block, size);
    if (!t_touched)
        return;
    constexpr std::size_t kStep = std::size_t(8) << 20;
    constexpr std::size_t kSmallPage = 4096;
    // The block is fresh from malloc: its content is nobody's yet, and one
    // written byte per page brings the page in (a read would map a page of
    // zeros first, and the write would then fault again).
    auto *bytes = static_cast<volatile char *>(block);
    for (std::size_t done = 0; done < size;) {
        const std::size_t step = std::min(kStep, size - done);
        for (std::size_t at = done; at < done + step; at += kSmallPage)
            bytes[at] = 0;
        done += step;
        (*t_touched)(done, size);
    }
}

} // namespace hugepages

// The sanitizers bring their own operator new and check that what it gave is
// what operator delete gets: there the library's stays.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define FEROX_SANITIZER_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define FEROX_SANITIZER_ALLOCATOR 1
#endif
#endif

#if !defined(FEROX_SANITIZER_ALLOCATOR)

namespace {
// The C library gives a block of its mapping threshold or more a mapping of
// its own, returned to the system when freed, and raises that threshold to the
// size of each such block freed, up to 32 MB. So once a large file was closed,
// the next one's line index and buffers came from the heap, which keeps what
// is freed: memory that one open did not give back weighed on the next. A
// fixed threshold keeps every block of kOwnMapping bytes or more in a mapping
// of its own.
constexpr int kOwnMapping = 4 << 20;
[[maybe_unused]] const bool g_fixedThreshold = ::mallopt(M_MMAP_THRESHOLD, kOwnMapping) == 1;
} // namespace

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
                hugepages::prepareLargeBlock(block, size);
            return block;
        }
        const std::new_handler handler = std::get_new_handler();
        if (!handler)
            throw std::bad_alloc();
        handler();
    }
}

#endif
