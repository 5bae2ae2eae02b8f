// The POSIX thread calls of the C++ exception runtime, on Win32 primitives.
// The unwinder's registry of a module's frames and the emergency pool for
// exceptions take a plain mutex and run a once-only initialisation; nothing
// else in our modules asks for POSIX threads. Defined here, in every DLL, they
// keep the POSIX thread library out of it: that library's versions give the
// thread that loads the DLL a record (a thread handle, an event, a TLS slot
// and some heap) that unloading never gives back, so every load of a 32-bit
// DLL, whose unwinder registers its frames at load, left them behind.
#include "platform/Platform.h"

#include <cstdint>

namespace {

// The POSIX thread library's types and static initializers (plain, recursive,
// error-checking), which the runtime was compiled against.
using MutexValue = std::intptr_t;
using OnceValue = long;
constexpr MutexValue kLastStaticInitializer = -3;
static_assert(sizeof(MutexValue) == sizeof(SRWLOCK), "a mutex holds an SRW lock");

enum : OnceValue { kOnceNotRun = 0, kOnceDone = 1, kOnceRunning = 2 };

// The mutex as the SRW lock it holds. One still holding a static initializer
// is unlocked; it becomes an unlocked SRW lock (an SRW lock's own states are
// never these values: its waiters' records are aligned stack addresses).
PSRWLOCK LockOf(MutexValue* mutex) {
    const MutexValue value = __atomic_load_n(mutex, __ATOMIC_ACQUIRE);
    if (value < 0 && value >= kLastStaticInitializer) {
        MutexValue expected = value;
        __atomic_compare_exchange_n(mutex, &expected, 0, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
    }
    return reinterpret_cast<PSRWLOCK>(mutex);
}

}  // namespace

extern "C" {

int pthread_mutex_init(MutexValue* mutex, const unsigned* /*attributes*/) {
    __atomic_store_n(mutex, 0, __ATOMIC_RELEASE);
    return 0;
}

int pthread_mutex_destroy(MutexValue* mutex) {
    __atomic_store_n(mutex, -1, __ATOMIC_RELEASE);
    return 0;
}

int pthread_mutex_lock(MutexValue* mutex) {
    AcquireSRWLockExclusive(LockOf(mutex));
    return 0;
}

int pthread_mutex_unlock(MutexValue* mutex) {
    ReleaseSRWLockExclusive(reinterpret_cast<PSRWLOCK>(mutex));
    return 0;
}

// The first caller runs initialize; any other waits until it has finished.
int pthread_once(OnceValue* once, void (*initialize)()) {
    if (__atomic_load_n(once, __ATOMIC_ACQUIRE) == kOnceDone) return 0;
    OnceValue expected = kOnceNotRun;
    if (__atomic_compare_exchange_n(once, &expected, kOnceRunning, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
        initialize();
        __atomic_store_n(once, kOnceDone, __ATOMIC_RELEASE);
        return 0;
    }
    while (__atomic_load_n(once, __ATOMIC_ACQUIRE) != kOnceDone) SwitchToThread();
    return 0;
}

}  // extern "C"
