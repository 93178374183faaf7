#pragma once

#include <cstddef>
#include <functional>

// Large blocks of memory (the text of a big file, its line index) are touched
// page by page right after they are allocated, and on a system that gives
// 2 MB pages only where asked, each 4 KB page costs a fault: a gigabyte took
// seconds. The program's operator new asks for 2 MB pages for every block of
// kLargeBlock bytes or more, before anything touches it; smaller blocks and
// the memory itself are as the C library gives them.
namespace hugepages {

constexpr std::size_t kLargeBlock = std::size_t(32) << 20;

// Asks that the whole 2 MB pages inside [block, block + size) be backed by
// 2 MB pages once touched. Harmless where the system has none.
void advise(void *block, std::size_t size);

// While one of these lives, the large blocks its thread allocates are touched
// in operator new, a few megabytes at a time, and `touched` is told how far
// it got after each step: a single allocation of a gigabyte then has a
// progress of its own. Touching costs nothing extra, since the block was to be
// touched (cleared, filled) right away anyway.
class ReportTouching {
public:
    using Touched = std::function<void(std::size_t done, std::size_t size)>;
    explicit ReportTouching(Touched touched);
    ~ReportTouching();
    ReportTouching(const ReportTouching &) = delete;
    ReportTouching &operator=(const ReportTouching &) = delete;

private:
    Touched m_touched;
    const Touched *m_outer;
};

// Gives the pages of freed memory back to the system. The C library keeps
// what a thread freed in that thread's heap, for its next allocations: a list
// of a few hundred thousand names, once freed, kept counting against the
// program, and weighed on the next open.
void giveBackFreed();

// Called by operator new with a fresh block of kLargeBlock bytes or more.
void prepareLargeBlock(void *block, std::size_t size);

} // namespace hugepages
