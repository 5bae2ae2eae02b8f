// The compiler's emulated thread-local storage for this module (it backs
// `thread_local` and the C++ runtime's per-thread exception state), kept in a
// Win32 TLS slot that the module owns. The toolchain's own version creates a
// key and locks in the POSIX thread layer on the first exception and never
// gives them back, so every unload of a DLL that had thrown once left two
// semaphores behind. Here unloading releases every thread's storage and the
// slot.
#include "platform/ModuleThreadRuntime.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The layout the compiler emits for each thread-local variable.
struct EmulatedTlsObject {
    std::uintptr_t size;
    std::uintptr_t align;
    std::uintptr_t index;  // 0 until the variable is first used; then 1-based
    const void* initialValue;  // null: zero-filled
};

// A module holds a handful of thread-local variables (the runtime's
// exception state and our own few): a fixed table per thread is enough.
constexpr std::uintptr_t kMaxVariables = 32;

// One thread's storage, linked so that unloading can free every thread's.
struct ThreadStorage {
    ThreadStorage* next;
    ThreadStorage* previous;
    void* variables[kMaxVariables];
};

// Constant-initialized: usable before any constructor runs, nothing to destroy.
SRWLOCK g_lock = SRWLOCK_INIT;
DWORD g_slot = TLS_OUT_OF_INDEXES;
std::uintptr_t g_variableCount = 0;
ThreadStorage g_threads = {&g_threads, &g_threads, {}};

class CExclusive {
public:
    CExclusive() { AcquireSRWLockExclusive(&g_lock); }
    ~CExclusive() { ReleaseSRWLockExclusive(&g_lock); }
    CExclusive(const CExclusive&) = delete;
    CExclusive& operator=(const CExclusive&) = delete;
};

void* AllocateZeroed(std::size_t bytes) { return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes); }
void Free(void* block) { HeapFree(GetProcessHeap(), 0, block); }

[[noreturn]] void Fail(const char* reason) {
    OutputDebugStringA(reason);
    std::abort();
}

std::uintptr_t IndexOf(EmulatedTlsObject* object) {
    std::uintptr_t index = __atomic_load_n(&object->index, __ATOMIC_ACQUIRE);
    if (index) return index;
    CExclusive lock;
    if (g_slot == TLS_OUT_OF_INDEXES && (g_slot = TlsAlloc()) == TLS_OUT_OF_INDEXES) Fail("no TLS slot left\n");
    index = object->index;
    if (!index) {
        if (g_variableCount == kMaxVariables) Fail("too many thread-local variables in one module\n");
        index = ++g_variableCount;
        __atomic_store_n(&object->index, index, __ATOMIC_RELEASE);
    }
    return index;
}

ThreadStorage* CurrentThreadStorage() {
    auto* storage = static_cast<ThreadStorage*>(TlsGetValue(g_slot));
    if (storage) return storage;
    storage = static_cast<ThreadStorage*>(AllocateZeroed(sizeof(ThreadStorage)));
    if (!storage) Fail("out of memory for thread-local storage\n");
    CExclusive lock;
    storage->next = g_threads.next;
    storage->previous = &g_threads;
    g_threads.next->previous = storage;
    g_threads.next = storage;
    TlsSetValue(g_slot, storage);
    return storage;
}

// Aligned as the variable asks; the block's own address is kept just before.
void* NewVariable(const EmulatedTlsObject* object) {
    const std::uintptr_t align = object->align > sizeof(void*) ? object->align : sizeof(void*);
    auto* block = static_cast<char*>(AllocateZeroed(object->size + align + sizeof(void*)));
    if (!block) Fail("out of memory for thread-local storage\n");
    const auto start = reinterpret_cast<std::uintptr_t>(block + sizeof(void*));
    char* variable = reinterpret_cast<char*>((start + align - 1) & ~(align - 1));
    reinterpret_cast<void**>(variable)[-1] = block;
    if (object->initialValue) std::memcpy(variable, object->initialValue, object->size);
    return variable;
}

// Called with the lock held.
void FreeThread(ThreadStorage* storage) {
    storage->previous->next = storage->next;
    storage->next->previous = storage->previous;
    for (void* variable : storage->variables)
        if (variable) Free(static_cast<void**>(variable)[-1]);
    Free(storage);
}

void NTAPI OnThreadDetach(PVOID, DWORD reason, PVOID) {
    if (reason != DLL_THREAD_DETACH || g_slot == TLS_OUT_OF_INDEXES) return;
    auto* storage = static_cast<ThreadStorage*>(TlsGetValue(g_slot));
    if (!storage) return;
    TlsSetValue(g_slot, nullptr);
    CExclusive lock;
    FreeThread(storage);
}

}  // namespace

// Listed among the module's TLS callbacks, so that a leaving thread frees its storage.
extern "C" __attribute__((section(".CRT$XLF"), used)) const PIMAGE_TLS_CALLBACK g_moduleThreadLocalsCallback =
    OnThreadDetach;

extern "C" void* __emutls_get_address(EmulatedTlsObject* object) {
    const std::uintptr_t index = IndexOf(object);
    ThreadStorage* storage = CurrentThreadStorage();
    void*& variable = storage->variables[index - 1];
    if (!variable) variable = NewVariable(object);
    return variable;
}

void ReleaseModuleThreadLocals() {
    CExclusive lock;
    while (g_threads.next != &g_threads) FreeThread(g_threads.next);
    if (g_slot != TLS_OUT_OF_INDEXES) TlsFree(g_slot);
    g_slot = TLS_OUT_OF_INDEXES;
}
