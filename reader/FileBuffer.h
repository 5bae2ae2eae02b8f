// The memory of a whole file read at once, owned by the unique_ptr it comes in.
// Fresh memory faults in one 4 KB page at a time, and on virtual Linux
// machines those faults cost more than the read itself: there a large buffer
// asks for huge pages, 512 times fewer faults. Elsewhere it is plain memory.
#pragma once
#include "platform/Platform.h"

#include <cstddef>
#include <memory>

class CFileBuffer {
public:
    using Ptr = std::unique_ptr<BYTE[], CFileBuffer>;

    // Null when the memory cannot be had.
    static Ptr Allocate(std::size_t bytes);

    // The deleter.
    void operator()(BYTE* memory) const;
};
