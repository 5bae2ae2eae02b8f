// The class object of TagServer; one static instance that lives with the module.
#pragma once
#include "platform/Platform.h"

namespace tagserver {

class CTagServerFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    // The module keeps the one instance: counting only keeps the module loaded.
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;
};

}  // namespace tagserver
