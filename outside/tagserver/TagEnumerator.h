// Enumerates a snapshot of a collection's tags, each as a VT_DISPATCH item.
#pragma once
#include "Module.h"
#include "RefCount.h"
#include "TagList.h"

#include <memory>

namespace tagserver {

class CTagEnumerator final : public IEnumVARIANT {
public:
    static HRESULT Create(CTagList::Snapshot tags, IEnumVARIANT** enumerator);

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return m_refs.Increment(); }
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP Next(ULONG count, VARIANT* items, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumVARIANT** enumerator) override;

private:
    using SharedTags = std::shared_ptr<const CTagList::Snapshot>;
    CTagEnumerator(SharedTags tags, size_t position) : m_pTags(std::move(tags)), m_nPosition(position) {}
    ~CTagEnumerator() = default;
    static HRESULT Create(SharedTags tags, size_t position, IEnumVARIANT** enumerator);

    CRefCount m_refs;
    CModuleObjectCount m_moduleCount;
    CComAutoCriticalSection m_lock;
    const SharedTags m_pTags;  // shared by clones; never changed
    size_t m_nPosition;
};

}  // namespace tagserver
