// Enumerates a snapshot of a collection's tags, each as a VT_DISPATCH item:
// a new tag object of the collection.
#pragma once
#include "Module.h"
#include "RefCount.h"
#include "TagData.h"
#include "platform/ComPtr.h"
#include "platform/CriticalSection.h"

#include <memory>

namespace tagserver {

class CTags;

class CTagEnumerator final : public IEnumVARIANT {
public:
    using SharedTags = std::shared_ptr<const CTagData>;
    static HRESULT Create(CTags* owner, SharedTags tags, IEnumVARIANT** enumerator);

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return m_refs.Increment(); }
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP Next(ULONG count, VARIANT* items, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumVARIANT** enumerator) override;

private:
    CTagEnumerator(CTags* owner, SharedTags tags, size_t position);
    ~CTagEnumerator();

    CRefCount m_refs;
    CModuleObjectCount m_moduleCount;
    CComAutoCriticalSection m_lock;
    const CComPtr<CTags> m_pOwner;
    const SharedTags m_pTags;  // shared by clones; never changed
    size_t m_nPosition;
};

}  // namespace tagserver
