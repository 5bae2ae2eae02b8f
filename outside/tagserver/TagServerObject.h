// The creatable tag server: one tag database shared by every collection it makes.
#pragma once
#include "DispatchObject.h"
#include "Module.h"
#include "RefCount.h"
#include "TagDatabase.h"
#include "TagServer.h"

namespace tagserver {

class CTagServer final : public CDispatchObject<ITagServer> {
public:
    static HRESULT Create(REFIID riid, void** object);

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return m_refs.Increment(); }
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP get_Database(ITagDatabase** ppDatabase) override;
    STDMETHODIMP get_Name(BSTR* pVal) override;
    STDMETHODIMP Reserved9() override { return E_NOTIMPL; }
    STDMETHODIMP CreateTags(ITags** ppTags) override;

private:
    explicit CTagServer(CTagDatabase* database) : m_pDatabase(database) {}
    ~CTagServer() = default;

    CRefCount m_refs;
    CModuleObjectCount m_moduleCount;
    const CComPtr<CTagDatabase> m_pDatabase;
};

}  // namespace tagserver
