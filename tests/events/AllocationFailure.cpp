#include "AllocationFailure.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> g_bArmed{false};
std::atomic<int> g_nSucceeding{0};
std::atomic<int> g_nFailed{0};

bool ShouldFail() {
    if (!g_bArmed.load()) return false;
    if (g_nSucceeding.fetch_sub(1) > 0) return false;
    ++g_nFailed;
    return true;
}

void* Allocate(std::size_t nBytes) {
    if (ShouldFail()) return nullptr;
    return std::malloc(nBytes ? nBytes : 1);
}

}  // namespace

// The library's operator delete frees with free(), which matches malloc here.
void* operator new(std::size_t nBytes, const std::nothrow_t&) noexcept { return Allocate(nBytes); }
void* operator new[](std::size_t nBytes, const std::nothrow_t&) noexcept { return Allocate(nBytes); }

CNothrowAllocationFailure::CNothrowAllocationFailure(int nSucceeding) {
    g_nFailed = 0;
    g_nSucceeding = nSucceeding;
    g_bArmed = true;
}

CNothrowAllocationFailure::~CNothrowAllocationFailure() { g_bArmed = false; }

int CNothrowAllocationFailure::FailedCount() const { return g_nFailed.load(); }
