#include "reader/FileBuffer.h"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#if defined(_WIN32)

CFileBuffer::Ptr CFileBuffer::Allocate(std::size_t bytes) {
    return Ptr(static_cast<BYTE*>(VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE)));
}

void CFileBuffer::operator()(BYTE* memory) const { VirtualFree(memory, 0, MEM_RELEASE); }

void CFileBuffer::GiveBack(const BYTE* from, const BYTE* to) {
    // Decommitting takes every page a byte of the range touches: round inwards.
    constexpr std::uintptr_t kPage = 4096;
    const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(from) + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t last = reinterpret_cast<std::uintptr_t>(to) & ~(kPage - 1);
    if (first < last) VirtualFree(reinterpret_cast<void*>(first), last - first, MEM_DECOMMIT);
}

#else

CFileBuffer::Ptr CFileBuffer::Allocate(std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::size_t kHugePage = std::size_t(2) << 20;
    if (bytes >= kHugePage) {
        const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        void* memory = std::aligned_alloc(kHugePage, rounded);
        if (memory) madvise(memory, rounded, MADV_HUGEPAGE);  // only advice: plain pages otherwise
        return Ptr(static_cast<BYTE*>(memory));
    }
#endif
    return Ptr(static_cast<BYTE*>(std::malloc(bytes)));
}

void CFileBuffer::operator()(BYTE* memory) const { std::free(memory); }

void CFileBuffer::GiveBack(const BYTE*, const BYTE*) {}

#endif
