// One tag: an identifier fixed at creation and a value of any VARIANT type.
#pragma once
#include "DispatchObject.h"
#include "Module.h"
#include "RefCount.h"
#include "TagServer.h"
#include "platform/CriticalSection.h"
#include "platform/Variant.h"

namespace tagserver {

class CTag final : public CDispatchObject<ITag> {
public:
    // A new tag holding a copy of value (references dereferenced).
    static HRESULT Create(const WString& id, const VARIANT& value, CComPtr<CTag>& tag);

    const WString& Id() const { return m_strId; }
    HRESULT SetValue(const VARIANT& value);
    HRESULT CopyValue(VARIANT* value);

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
    explicit CTag(const WString& id) : m_strId(id) {}
    ~CTag() = default;

    CRefCount m_refs;
    CModuleObjectCount m_moduleCount;
    const WString m_strId;
    CComAutoCriticalSection m_lock;
    CVariant m_value;
};

}  // namespace tagserver
