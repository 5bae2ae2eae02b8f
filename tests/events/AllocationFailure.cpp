#include "AllocationFailure.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> g_bArmed{false};
std::atomic<int> g_nSucceeding{0};

void* Allocate(std::size_t nBytes) {
    if (g_bArmed.load() && g_nSucceeding.fetch_sub(1) <= 0) return nullptr;
    return std::malloc(nBytes ? nBytes : 1);
}

}  // namespace

// The library's operator delete frees with free(), which matches malloc here.
void* operator new(std::size_t nBytes, const std::nothrow_t&) noexcept { return Allocate(nBytes); }
void* operator new[](std::size_t nBytes, const std::nothrow_t&) noexcept { return Allocate(nBytes); }

CNothrowAllocationFailure::CNothrowAllocationFailure(int nSucceeding) {
    g_nSucceeding = nSucceeding;
    g_bArmed = true;
}

CNothrowAllocationFailure::~CNothrowAllocationFailure() { g_bArmed = false; }
