// A tag collection: ordered, unique identifiers, filled by scripts, by C++
// callers or in one bulk load, and sharing its server's tag database. The
// tags are plain data, shared with copies (Update, enumerators) until either
// side changes them; tag objects are made when a client asks for one.
#pragma once
#include "DispatchObject.h"
#include "Module.h"
#include "RefCount.h"
#include "Tag.h"
#include "TagData.h"
#include "TagServer.h"
#include "platform/CriticalSection.h"

#include <memory>
#include <unordered_map>

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

    // For this collection's tag objects: the value of the tag with identifier
    // id; E_INVALIDARG when the collection no longer holds one.
    HRESULT CopyValueOf(const WString& id, VARIANT* value) const;
    HRESULT PutValueOf(const WString& id, const VARIANT& value);
    // A shared tag object's release, under the lock that hands it out again.
    ULONG ReleaseSharedTag(CTag& tag);

private:
    using DataPtr = std::shared_ptr<CTagData>;

    CTags(ITagDatabase* database, DataPtr data) : m_pDatabase(database), m_pData(std::move(data)) {}
    ~CTags() = default;

    DataPtr Snapshot() const;
    // The tags for changing, copied first while they are shared. Under the lock.
    CTagData& MutableData();
    // Replaces the tags; the old ones are let go outside the lock.
    void ReplaceData(DataPtr data);
    // The tag object for the tag at position, found again while a client
    // holds it. Under the lock.
    HRESULT SharedTagAt(size_t position, ITag** tag);
    // The position of the tag that index names (zero-based number or
    // identifier); on failure reports the error. Called under the lock.
    HRESULT FindPosition(const VARIANT& index, size_t& position) const;
    bool IsSameObject(IUnknown* other);

    CRefCount m_refs;
    CModuleObjectCount m_moduleCount;
    const CComPtr<ITagDatabase> m_pDatabase;
    mutable CComAutoCriticalSection m_lock;
    DataPtr m_pData;  // never null
    std::unordered_map<WString, CTag*> m_sharedTags;
    LONG m_nUpdateDepth = 0;
};

}  // namespace tagserver
