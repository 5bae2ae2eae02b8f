// A tag collection: ordered, unique identifiers, filled by scripts, by C++
// callers or in one bulk load, and sharing its server's tag database.
#pragma once
#include "DispatchObject.h"
#include "Module.h"
#include "RefCount.h"
#include "TagList.h"
#include "TagServer.h"
#include "platform/CriticalSection.h"

namespace tagserver {

class CTags final : public CDispatchObject<ITags>, public ITagsFromConfig, public ISupportErrorInfo {
public:
    static HRESULT Create(ITagDatabase* database, ITags** tags);

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return m_refs.Increment(); }
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP get__NewEnum(IEnumVARIANT** ppEnum) override;
    STDMETHODIMP get_Item(VARIANT Index, ITag** ppTag) override;
    STDMETHODIMP get_Count(LONG* pVal) override;
    STDMETHODIMP Add(BSTR ID, VARIANT Value, ITag** ppTag) override;
    STDMETHODIMP Remove(VARIANT Index) override;
    STDMETHODIMP Clear() override;
    STDMETHODIMP get_Database(ITagDatabase** ppDatabase) override;
    STDMETHODIMP Update(ITags* Source) override;
    STDMETHODIMP BeginUpdate() override;
    STDMETHODIMP EndUpdate() override;
    STDMETHODIMP Reserved13() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved15() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved16() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved17() override { return E_NOTIMPL; }

    STDMETHODIMP BulkLoad(SAFEARRAY** ids, SAFEARRAY** values) override;

    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

private:
    // Copies of this collection's tags, taken under its lock.
    HRESULT CopyTagsTo(CTagList& copies) const;

    explicit CTags(ITagDatabase* database) : m_pDatabase(database) {}
    ~CTags() = default;

    // The position of the tag that index names (zero-based number or
    // identifier); on failure reports the error. Called under the lock.
    HRESULT FindPosition(const VARIANT& index, size_t& position) const;
    bool IsSameObject(IUnknown* other);

    CRefCount m_refs;
    CModuleObjectCount m_moduleCount;
    const CComPtr<ITagDatabase> m_pDatabase;
    mutable CComAutoCriticalSection m_lock;
    CTagList m_tags;
    LONG m_nUpdateDepth = 0;
};

}  // namespace tagserver
