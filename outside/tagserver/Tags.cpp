#include "Tags.h"

#include "BulkLoadArrays.h"
#include "ErrorReport.h"
#include "TagEnumerator.h"
#include "platform/Bstr.h"
#include "platform/Variant.h"

namespace tagserver {
namespace {

// Answered only by this server's own collections, with the object itself, so
// that Update can copy their tags without a call per tag through ITags.
const IID IID_CTagsOfThisServer = {0x6f1c2d0e, 0x8b4a, 0x4e57, {0x9d, 0x3e, 0x52, 0xa1, 0x7c, 0x40, 0xb2, 0x19}};

// Copies of every tag of a collection, read through its interface (it may
// belong to another server).
HRESULT CopyTags(ITags* source, CTagList& copies) {
    CComPtr<IEnumVARIANT> enumerator;
    HRESULT hr = source->get__NewEnum(enumerator.Out());
    if (FAILED(hr)) return hr;
    if (!enumerator) return E_POINTER;
    for (;;) {
        CVariant item;
        ULONG fetched = 0;
        hr = enumerator->Next(1, item.Out(), &fetched);
        if (hr != S_OK) return FAILED(hr) ? hr : S_OK;
        if ((item.Type() != VT_DISPATCH && item.Type() != VT_UNKNOWN) || !V_UNKNOWN(item.Get()))
            return E_NOINTERFACE;
        CComPtr<ITag> tag;
        hr = V_UNKNOWN(item.Get())->QueryInterface(IID_ITag, reinterpret_cast<void**>(tag.Out()));
        if (FAILED(hr)) return hr;
        CBstr id;
        CVariant value;
        if (FAILED(hr = tag->get_ID(id.Out())) || FAILED(hr = tag->get_Value(value.Out()))) return hr;
        hr = copies.AddOrReplace(WString(id.Get(), id.Length()), *value.Get());
        if (FAILED(hr)) return hr;
    }
}

}  // namespace

HRESULT CTags::Create(ITagDatabase* database, ITags** tags) {
    if (!tags) return E_POINTER;
    *tags = nullptr;
    return CallGuarded([&] {
        CComPtr<CTags> created(new CTags(database));
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

STDMETHODIMP CTags::get__NewEnum(IEnumVARIANT** ppEnum) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    return CallGuarded([&] {
        CTagList::Snapshot snapshot;
        {
            CCriticalSectionLock lock(m_lock);
            snapshot = m_tags.Tags();
        }
        return CTagEnumerator::Create(std::move(snapshot), ppEnum);
    });
}

HRESULT CTags::FindPosition(const VARIANT& index, size_t& position) const {
    CVariant key;
    HRESULT hr = VariantCopyInd(key.Get(), const_cast<VARIANT*>(&index));
    if (FAILED(hr)) return hr;
    if (key.Type() == VT_BSTR) {
        const WString id(V_BSTR(key.Get()), SysStringLen(V_BSTR(key.Get())));
        if (!m_tags.PositionOf(id, position)) return ReportError(E_INVALIDARG, IID_ITags, L"There is no tag " + id);
        return S_OK;
    }
    hr = VariantChangeType(key.Get(), key.Get(), 0, VT_I4);
    if (FAILED(hr))
        return ReportError(E_INVALIDARG, IID_ITags, L"A tag is named by a zero-based index or an identifier");
    const LONG number = V_I4(key.Get());
    if (number < 0 || static_cast<size_t>(number) >= m_tags.Count())
        return ReportError(E_INVALIDARG, IID_ITags,
                           L"Tag index " + std::to_wstring(number) + L" is out of range");
    position = static_cast<size_t>(number);
    return S_OK;
}

STDMETHODIMP CTags::get_Item(VARIANT Index, ITag** ppTag) {
    if (!ppTag) return E_POINTER;
    *ppTag = nullptr;
    return CallGuarded([&] {
        CCriticalSectionLock lock(m_lock);
        size_t position = 0;
        const HRESULT hr = FindPosition(Index, position);
        if (FAILED(hr)) return hr;
        *ppTag = m_tags.At(position);
        (*ppTag)->AddRef();
        return S_OK;
    });
}

STDMETHODIMP CTags::get_Count(LONG* pVal) {
    if (!pVal) return E_POINTER;
    CCriticalSectionLock lock(m_lock);
    *pVal = static_cast<LONG>(m_tags.Count());
    return S_OK;
}

STDMETHODIMP CTags::Add(BSTR ID, VARIANT Value, ITag** ppTag) {
    if (ppTag) *ppTag = nullptr;
    if (SysStringLen(ID) == 0) return ReportError(E_INVALIDARG, IID_ITags, L"A tag needs an identifier");
    return CallGuarded([&] {
        CComPtr<CTag> tag;
        CCriticalSectionLock lock(m_lock);
        const HRESULT hr = m_tags.AddOrReplace(WString(ID, SysStringLen(ID)), Value, &tag);
        if (SUCCEEDED(hr) && ppTag) *ppTag = tag.Detach();
        return hr;
    });
}

STDMETHODIMP CTags::Remove(VARIANT Index) {
    return CallGuarded([&] {
        CCriticalSectionLock lock(m_lock);
        size_t position = 0;
        const HRESULT hr = FindPosition(Index, position);
        if (SUCCEEDED(hr)) m_tags.RemoveAt(position);
        return hr;
    });
}

STDMETHODIMP CTags::Clear() {
    CTagList removed;
    CCriticalSectionLock lock(m_lock);
    m_tags.Swap(removed);
    return S_OK;
}

STDMETHODIMP CTags::get_Database(ITagDatabase** ppDatabase) {
    if (!ppDatabase) return E_POINTER;
    *ppDatabase = m_pDatabase.Get();
    if (*ppDatabase) (*ppDatabase)->AddRef();
    return *ppDatabase ? S_OK : E_UNEXPECTED;
}

bool CTags::IsSameObject(IUnknown* other) {
    CComPtr<IUnknown> otherIdentity;
    if (FAILED(other->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(otherIdentity.Out())))) return false;
    return otherIdentity.Get() == static_cast<IUnknown*>(static_cast<ITags*>(this));
}

STDMETHODIMP CTags::Update(ITags* Source) {
    if (!Source) return E_POINTER;
    if (IsSameObject(Source)) return S_OK;
    return CallGuarded([&] {
        // Read the source without holding this collection's lock: two
        // collections updating from each other must not deadlock.
        CTagList copies;
        CComPtr<CTags> own;
        const HRESULT hr = SUCCEEDED(Source->QueryInterface(IID_CTagsOfThisServer, reinterpret_cast<void**>(own.Out())))
                               ? own->CopyTagsTo(copies)
                               : CopyTags(Source, copies);
        if (FAILED(hr)) return hr;
        CCriticalSectionLock lock(m_lock);
        m_tags.Swap(copies);
        return S_OK;
    });
}

HRESULT CTags::CopyTagsTo(CTagList& copies) const {
    const CTagList::Snapshot tags = [this] {
        CCriticalSectionLock lock(m_lock);
        return m_tags.Tags();
    }();
    for (const CComPtr<CTag>& tag : tags) {
        CVariant value;
        HRESULT hr = tag->CopyValue(value.Out());
        if (SUCCEEDED(hr)) hr = copies.AddOrReplace(tag->Id(), *value.Get());
        if (FAILED(hr)) return hr;
    }
    return S_OK;
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
        const CBulkLoadArrays arrays(ids, values);
        WString problem;
        if (FAILED(arrays.Validate(problem))) return ReportError(E_INVALIDARG, IID_ITagsFromConfig, problem);
        CCriticalSectionLock lock(m_lock);
        return arrays.ForEach([this](const WString& id, const VARIANT& value) {
            return m_tags.AddOrReplace(id, value);
        });
    });
}

STDMETHODIMP CTags::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_ITags) || IsEqualIID(riid, IID_ITagsFromConfig) ? S_OK : S_FALSE;
}

}  // namespace tagserver
