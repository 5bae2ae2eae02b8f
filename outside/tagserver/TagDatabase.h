// The tag database of a tag server: it knows the TagSpec version.
#pragma once
#include "DispatchObject.h"
#include "Module.h"
#include "RefCount.h"
#include "TagServer.h"
#include "platform/CriticalSection.h"

namespace tagserver {

class CTagDatabase final : public CDispatchObject<ITagDatabase> {
public:
    static HRESULT Create(CComPtr<CTagDatabase>& database);

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return m_refs.Increment(); }
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP get_Name(BSTR* pVal) override;
    STDMETHODIMP get_TagSpecVersion(BSTR* pVal) override;
    STDMETHODIMP put_TagSpecVersion(BSTR newVal) override;

private:
    CTagDatabase() = default;
    ~CTagDatabase() = default;

    CRefCount m_refs;
    CModuleObjectCount m_moduleCount;
    CComAutoCriticalSection m_lock;
    WString m_strTagSpecVersion = L"1.0.0";
};

}  // namespace tagserver
