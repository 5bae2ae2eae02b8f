// What the process's heaps hold: the memory of every block in use, with its
// bookkeeping. Unlike the process's memory counters, it falls as soon as a
// block is freed, whatever the heap keeps for later.
#pragma once
#include "platform/Platform.h"

#include <vector>

inline size_t HeapBytesInUse() {
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
    heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
    size_t inUse = 0;
    for (HANDLE heap : heaps) {
        if (!HeapLock(heap)) continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heap, &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) inUse += entry.cbData + entry.cbOverhead;
        HeapUnlock(heap);
    }
    return inUse;
}
