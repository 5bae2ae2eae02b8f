#include "Tags.h"

#include "BulkLoadArrays.h"
#include "ErrorReport.h"
#include "TagEnumerator.h"
#include "platform/Bstr.h"

#include <utility>

namespace tagserver {
namespace {

// Answered only by this server's own collections, with the object itself, so
// that Update can share their data without a call per tag through ITags.
const IID IID_CTagsOfThisServer = {0x6f1c2d0e, 0x8b4a, 0x4e57, {0x9d, 0x3e, 0x52, 0xa1, 0x7c, 0x40, 0xb2, 0x19}};

// Copies of every tag of a collection, read through its interface (it may
// belong to another server).
HRESULT CopyTags(ITags* source, CTagData& copies) {
    CComPtr<IEnumVARIANT> enumerator;
    HRESULT hr = source->get__NewEnum(enumerator.Out());
    if (FAILED(hr)) return hr;
    if (!enumerator) return E_POINTER;
    for (;;) {
        CVariant item;
        ULONG fetched = 0;
        hr = enumerator->Next(1, item.Out(), &fetched);
        if (hr != S_OK) return FAILED(hr) ? hr : S_OK;
        if (item.Type() != VT_DISPATCH && item.Type() != VT_UNKNOWN) return E_NOINTERFACE;
        CComPtr<ITag> tag;
        hr = QueryInterfaceOf(V_UNKNOWN(item.Get()), IID_ITag, tag);
        if (FAILED(hr)) return hr;
        CBstr id;
        CVariant value;
        if (FAILED(hr = tag->get_ID(id.Out())) || FAILED(hr = tag->get_Value(value.Out()))) return hr;
        if (id.IsNull()) return E_OUTOFMEMORY;
        if (FAILED(hr = copies.Put(CTagData::Text(id.Get(), id.Length()), *value.Get()))) return hr;
    }
}

}  // namespace

HRESULT CTags::Create(ITagDatabase* database, ITags** tags) {
    if (!tags) return E_POINTER;
    *tags = nullptr;
    return CallGuarded([&] {
        CComPtr<CTags> created(new CTags(database, std::make_shared<CTagData>()));
        *tags = static_cast<ITags*>(created.Detach());
        return S_OK;
    });
}

STDMETHODIMP CTags::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_ITags))
        *object = static_cast<ITags*>(this);
    else if (IsEqualIID(riid, IID_CTagsOfThisServer))
        *object = this;
    else if (IsEqualIID(riid, IID_ITagsFromConfig))
        *object = static_cast<ITagsFromConfig*>(this);
    else if (IsEqualIID(riid, IID_ISupportErrorInfo))
        *object = static_cast<ISupportErrorInfo*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CTags::Release() {
    const ULONG count = m_refs.Decrement();
    if (count == 0) delete this;
    return count;
}

CTags::DataPtr CTags::Snapshot() const {
    CCriticalSectionLock lock(m_lock);
    return m_pData;
}

CTagData& CTags::MutableData() {
    // Only holders of the lock of a collection that holds the data copy its
    // pointer, so a count of 1 seen under the lock stays 1.
    if (m_pData.use_count() > 1) m_pData = std::make_shared<CTagData>(*m_pData);
    return *m_pData;
}

void CTags::ReplaceData(DataPtr data) {
    CCriticalSectionLock lock(m_lock);
    m_pData.swap(data);
}

STDMETHODIMP CTags::get__NewEnum(IEnumVARIANT** ppEnum) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    return CTagEnumerator::Create(this, Snapshot(), ppEnum);
}

HRESULT CTags::FindPosition(const VARIANT& index, size_t& position) const {
    CVariant key;
    HRESULT hr = VariantCopyInd(key.Get(), const_cast<VARIANT*>(&index));
    if (FAILED(hr)) return hr;
    if (key.Type() == VT_BSTR) {
        const BSTR id = V_BSTR(key.Get());
        if (!m_pData->Find(CTagData::Text(id, SysStringLen(id)), position))
            return ReportError(E_INVALIDARG, IID_ITags, L"There is no tag " + WString(id, SysStringLen(id)));
        return S_OK;
    }
    hr = VariantChangeType(key.Get(), key.Get(), 0, VT_I4);
    if (FAILED(hr))
        return ReportError(E_INVALIDARG, IID_ITags, L"A tag is named by a zero-based index or an identifier");
    const LONG number = V_I4(key.Get());
    if (number < 0 || static_cast<size_t>(number) >= m_pData->Count())
        return ReportError(E_INVALIDARG, IID_ITags,
                           L"Tag index " + std::to_wstring(number) + L" is out of range");
    position = static_cast<size_t>(number);
    return S_OK;
}

HRESULT CTags::SharedTagAt(size_t position, ITag** tag) {
    const WString id(m_pData->IdAt(position));
    const auto found = m_sharedTags.find(id);
    if (found != m_sharedTags.end()) {
        found->second->IncrementRefs();
        *tag = found->second;
        return S_OK;
    }
    CComPtr<CTag> created;
    const HRESULT hr = CTag::Create(this, id, true, created);
    if (FAILED(hr)) return hr;
    m_sharedTags.emplace(id, created.Get());
    *tag = created.Detach();
    return S_OK;
}

ULONG CTags::ReleaseSharedTag(CTag& tag) {
    CCriticalSectionLock lock(m_lock);
    const ULONG count = tag.DecrementRefs();
    if (count == 0) m_sharedTags.erase(tag.Id());
    return count;
}

STDMETHODIMP CTags::get_Item(VARIANT Index, ITag** ppTag) {
    if (!ppTag) return E_POINTER;
    *ppTag = nullptr;
    return CallGuarded([&] {
        CCriticalSectionLock lock(m_lock);
        size_t position = 0;
        const HRESULT hr = FindPosition(Index, position);
        return FAILED(hr) ? hr : SharedTagAt(position, ppTag);
    });
}

STDMETHODIMP CTags::get_Count(LONG* pVal) {
    if (!pVal) return E_POINTER;
    CCriticalSectionLock lock(m_lock);
    *pVal = static_cast<LONG>(m_pData->Count());
    return S_OK;
}

STDMETHODIMP CTags::Add(BSTR ID, VARIANT Value, ITag** ppTag) {
    if (ppTag) *ppTag = nullptr;
    if (SysStringLen(ID) == 0) return ReportError(E_INVALIDARG, IID_ITags, L"A tag needs an identifier");
    return CallGuarded([&] {
        const CTagData::Text id(ID, SysStringLen(ID));
        CVariant value;
        // A script passes its variables by reference: keep the value, not the reference.
        HRESULT hr = VariantCopyInd(value.Get(), &Value);
        if (FAILED(hr)) return hr;
        CCriticalSectionLock lock(m_lock);
        CTagData& data = MutableData();
        hr = data.Put(id, *value.Get());
        size_t position = 0;
        if (SUCCEEDED(hr) && ppTag && data.Find(id, position)) hr = SharedTagAt(position, ppTag);
        return hr;
    });
}

STDMETHODIMP CTags::Remove(VARIANT Index) {
    return CallGuarded([&] {
        CCriticalSectionLock lock(m_lock);
        size_t position = 0;
        const HRESULT hr = FindPosition(Index, position);
        if (SUCCEEDED(hr)) MutableData().RemoveAt(position);
        return hr;
    });
}

STDMETHODIMP CTags::Clear() {
    return CallGuarded([&] {
        ReplaceData(std::make_shared<CTagData>());
        return S_OK;
    });
}

STDMETHODIMP CTags::get_Database(ITagDatabase** ppDatabase) {
    if (!ppDatabase) return E_POINTER;
    *ppDatabase = m_pDatabase.Get();
    if (*ppDatabase) (*ppDatabase)->AddRef();
    return *ppDatabase ? S_OK : E_UNEXPECTED;
}

bool CTags::IsSameObject(IUnknown* other) {
    CComPtr<IUnknown> otherIdentity;
    if (FAILED(QueryInterfaceOf(other, IID_IUnknown, otherIdentity))) return false;
    return otherIdentity.Get() == static_cast<IUnknown*>(static_cast<ITags*>(this));
}

STDMETHODIMP CTags::Update(ITags* Source) {
    if (!Source) return E_POINTER;
    if (IsSameObject(Source)) return S_OK;
    return CallGuarded([&] {
        // Read the source without holding this collection's lock: two
        // collections updating from each other must not deadlock.
        CComPtr<CTags> own;
        if (SUCCEEDED(QueryInterfaceOf(Source, IID_CTagsOfThisServer, own))) {
            ReplaceData(own->Snapshot());
            return S_OK;
        }
        DataPtr copies = std::make_shared<CTagData>();
        const HRESULT hr = CopyTags(Source, *copies);
        if (SUCCEEDED(hr)) ReplaceData(std::move(copies));
        return hr;
    });
}

STDMETHODIMP CTags::BeginUpdate() {
    CCriticalSectionLock lock(m_lock);
    ++m_nUpdateDepth;
    return S_OK;
}

STDMETHODIMP CTags::EndUpdate() {
    CCriticalSectionLock lock(m_lock);
    if (m_nUpdateDepth == 0) return E_UNEXPECTED;
    --m_nUpdateDepth;
    return S_OK;
}

STDMETHODIMP CTags::BulkLoad(SAFEARRAY** ids, SAFEARRAY** values) {
    return CallGuarded([&] {
        CBulkLoadArrays arrays(ids, values);
        WString problem;
        if (FAILED(arrays.Validate(problem))) return ReportError(E_INVALIDARG, IID_ITagsFromConfig, problem);
        CCriticalSectionLock lock(m_lock);
        CTagData& data = MutableData();
        // The arrays' strings become the collection's: no copy, no object per tag.
        arrays.TakeAll([&data](BSTR* ids, VARIANT* values, size_t count) { data.TakeAll(ids, values, count); });
        return S_OK;
    });
}

STDMETHODIMP CTags::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_ITags) || IsEqualIID(riid, IID_ITagsFromConfig) ? S_OK : S_FALSE;
}

HRESULT CTags::CopyValueOf(const WString& id, VARIANT* value) const {
    CCriticalSectionLock lock(m_lock);
    size_t position = 0;
    if (!m_pData->Find(id, position))
        return ReportError(E_INVALIDARG, IID_ITag, L"Tag " + id + L" is no longer in its collection");
    return m_pData->CopyValueAt(position, value);
}

HRESULT CTags::PutValueOf(const WString& id, const VARIANT& value) {
    return CallGuarded([&] {
        CVariant copy;
        // A script passes its variables by reference: keep the value, not the reference.
        const HRESULT hr = VariantCopyInd(copy.Get(), const_cast<VARIANT*>(&value));
        if (FAILED(hr)) return hr;
        CCriticalSectionLock lock(m_lock);
        size_t position = 0;
        if (!m_pData->Find(id, position))
            return ReportError(E_INVALIDARG, IID_ITag, L"Tag " + id + L" is no longer in its collection");
        return MutableData().PutValueAt(position, *copy.Get());
    });
}

}  // namespace tagserver
