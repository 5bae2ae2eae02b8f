// One tag as a client sees it: made on request, it names a tag of its
// collection by identifier and reads and writes the value there.
#pragma once
#include "DispatchObject.h"
#include "Module.h"
#include "RefCount.h"
#include "TagServer.h"

namespace tagserver {

class CTags;

class CTag final : public CDispatchObject<ITag> {
public:
    // A shared tag is registered with its collection, which hands it out
    // again while a client holds it; it is released under the collection's lock.
    static HRESULT Create(CTags* owner, const WString& id, bool shared, CComPtr<CTag>& tag);

    const WString& Id() const { return m_strId; }
    // Reference counting for the collection, under its lock.
    ULONG IncrementRefs() { return m_refs.Increment(); }
    ULONG DecrementRefs() { return m_refs.Decrement(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return m_refs.Increment(); }
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP get_ID(BSTR* pVal) override;
    STDMETHODIMP get_Value(VARIANT* pVal) override;
    STDMETHODIMP put_Value(VARIANT newVal) override;

#define QUORVEX_RESERVED(n) \
    STDMETHODIMP Reserved##n() override { return E_NOTIMPL; }
    QUORVEX_RESERVED(7) QUORVEX_RESERVED(8) QUORVEX_RESERVED(9) QUORVEX_RESERVED(10)
    QUORVEX_RESERVED(12) QUORVEX_RESERVED(13) QUORVEX_RESERVED(14) QUORVEX_RESERVED(15)
    QUORVEX_RESERVED(16) QUORVEX_RESERVED(17) QUORVEX_RESERVED(18) QUORVEX_RESERVED(19)
    QUORVEX_RESERVED(20) QUORVEX_RESERVED(21) QUORVEX_RESERVED(22) QUORVEX_RESERVED(23)
    QUORVEX_RESERVED(24) QUORVEX_RESERVED(25) QUORVEX_RESERVED(26) QUORVEX_RESERVED(27)
#undef QUORVEX_RESERVED

private:
    CTag(CTags* owner, const WString& id, bool shared);
    ~CTag();

    CRefCount m_refs;
    CModuleObjectCount m_moduleCount;
    const CComPtr<CTags> m_pOwner;
    const WString m_strId;
    const bool m_bShared;
};

}  // namespace tagserver
