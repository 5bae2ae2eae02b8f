// What the Windows benchmarks share: a monotonic clock in milliseconds and
// objects of the components loaded from beside the program, without
// registration.
#pragma once
#include "platform/ComPtr.h"
#include "platform/Platform.h"

#include <cstdio>
#include <cstdlib>

inline double NowMs() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// An object of class clsid from dll (beside the program); ends the program when there is none.
template <class T>
CComPtr<T> CreateFromDll(const wchar_t* dll, const CLSID& clsid, const IID& iid) {
    CComPtr<T> object;
    HMODULE module = LoadLibraryW(dll);
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    // Through void*: the loader hands out a generic function pointer.
    auto getClassObject = module ? reinterpret_cast<GetClassObjectFn>(
                                       reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")))
                                 : nullptr;
    CComPtr<IClassFactory> factory;
    if (getClassObject && SUCCEEDED(getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.Out()))))
        factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(object.Out()));
    if (!object) {
        std::fprintf(stderr, "cannot create an object of %ls\n", dll);
        std::exit(3);
    }
    return object;
}
