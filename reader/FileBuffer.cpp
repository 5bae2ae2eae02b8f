#include "reader/FileBuffer.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

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
