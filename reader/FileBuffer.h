// The memory of a whole file read at once, owned by the unique_ptr it comes in.
// Fresh memory faults in one 4 KB page at a time, and on virtual Linux
// machines those faults cost more than the read itself: there a large buffer
// asks for huge pages, 512 times fewer faults. On Windows it is memory of its
// own pages, so that the part a reader has done with can be given back while
// it reads on.
#pragma once
#include "platform/Platform.h"

#include <cstddef>
#include <memory>

class CFileBuffer {
public:
    using Ptr = std::unique_ptr<BYTE[], CFileBuffer>;

    // Null when the memory cannot be had.
    static Ptr Allocate(std::size_t bytes);

    // Whether GiveBack returns memory to the system on this platform.
#if defined(_WIN32)
    static constexpr bool kGivesBack = true;
#else
    static constexpr bool kGivesBack = false;
#endif
    // Gives back the whole pages within [from, to) of an allocated buffer;
    // they must not be read again.
    static void GiveBack(const BYTE* from, const BYTE* to);

    // The deleter.
    void operator()(BYTE* memory) const;
};
