#include "TagDoubles.h"

#include "platform/Bstr.h"
#include "platform/SafeArray.h"

#include <initializer_list>

namespace doubles {
namespace {

// Lets a collection double find out that an Update source is one of its kind.
const IID IID_TagsDoubleSelf = {0xEE363B4B, 0x44E0, 0x4C9B, {0x99, 0xF2, 0xD2, 0x24, 0x2F, 0xCF, 0xE4, 0xE0}};

// The QueryInterface of a double that answers IUnknown and the given interfaces.
HRESULT Answer(IUnknown* self, REFIID riid, void** object, std::initializer_list<const IID*> iids) {
    if (!object) return E_POINTER;
    *object = nullptr;
    bool answers = IsEqualIID(riid, IID_IUnknown) != FALSE;
    for (const IID* iid : iids) answers = answers || IsEqualIID(riid, *iid);
    if (!answers) return E_NOINTERFACE;
    *object = self;
    self->AddRef();
    return S_OK;
}

// Hands a new object out, or destroys it when there is nowhere to put it.
template <class Interface>
HRESULT NewObject(Interface* created, Interface** out) {
    CComPtr<Interface> owner(created);
    if (!out) return E_POINTER;
    *out = owner.Detach();
    return S_OK;
}

HRESULT CopyText(const std::wstring& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// The tags of a bulk load, read element by element (never trusting the
// arrays): false unless they are two one-dimensional arrays from 0 of BSTR
// identifiers and VARIANT values.
bool ReadBulkLoad(SAFEARRAY* ids, SAFEARRAY* values, std::vector<TagRecord>* tags) {
    LONG idLower = -1, valueLower = -1, idUpper = -1, valueUpper = -1;
    VARTYPE idType = VT_EMPTY, valueType = VT_EMPTY;
    if (!ids || !values || SafeArrayGetDim(ids) != 1 || SafeArrayGetDim(values) != 1) return false;
    SafeArrayGetLBound(ids, 1, &idLower);
    SafeArrayGetLBound(values, 1, &valueLower);
    SafeArrayGetUBound(ids, 1, &idUpper);
    SafeArrayGetUBound(values, 1, &valueUpper);
    SafeArrayGetVartype(ids, &idType);
    SafeArrayGetVartype(values, &valueType);
    if (idLower != 0 || valueLower != 0 || idType != VT_BSTR || valueType != VT_VARIANT) return false;
    for (LONG i = 0; i <= idUpper && i <= valueUpper; ++i) {
        CBstr idText;
        CVariant value;
        SafeArrayGetElement(ids, &i, idText.Out());
        SafeArrayGetElement(values, &i, value.Out());
        tags->push_back(RecordOf(idText.ToString(), *value.Get()));
    }
    return true;
}

// One tag as an enumerated item: position is its place in the enumeration.
class CTagDouble final : public CDoubleObject<ITag> {
public:
    CTagDouble(ScenarioPtr scenario, const CTagsDouble::Entry& entry, size_t position)
        : m_pScenario(std::move(scenario)), m_entry(entry), m_nPosition(position) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        return Answer(this, riid, object, {&IID_IDispatch, &IID_ITag});
    }
    STDMETHODIMP get_ID(BSTR* pVal) override {
        const HRESULT hr = m_pScenario->Enter("get_ID", Fault::GetId, m_nPosition);
        return FAILED(hr) ? hr : CopyText(m_entry.id, pVal);
    }
    STDMETHODIMP get_Value(VARIANT* pVal) override {
        const HRESULT hr = m_pScenario->Enter("get_Value", Fault::GetValue, m_nPosition);
        if (FAILED(hr)) return hr;
        if (!pVal) return E_POINTER;
        VariantInit(pVal);
        if (!m_pScenario->IsDefect(Fault::NoStringForm, m_nPosition)) return VariantCopy(pVal, m_entry.value->Get());
        V_VT(pVal) = VT_ARRAY | VT_I4;
        V_ARRAY(pVal) = SafeArrayCreateVector(VT_I4, 0, 2);
        return S_OK;
    }
    STDMETHODIMP put_Value(VARIANT) override { return m_pScenario->Unused("put_Value"); }
    QUORVEX_DOUBLE_RESERVED(7) QUORVEX_DOUBLE_RESERVED(8) QUORVEX_DOUBLE_RESERVED(9) QUORVEX_DOUBLE_RESERVED(10)
    QUORVEX_DOUBLE_RESERVED(12) QUORVEX_DOUBLE_RESERVED(13) QUORVEX_DOUBLE_RESERVED(14) QUORVEX_DOUBLE_RESERVED(15)
    QUORVEX_DOUBLE_RESERVED(16) QUORVEX_DOUBLE_RESERVED(17) QUORVEX_DOUBLE_RESERVED(18) QUORVEX_DOUBLE_RESERVED(19)
    QUORVEX_DOUBLE_RESERVED(20) QUORVEX_DOUBLE_RESERVED(21) QUORVEX_DOUBLE_RESERVED(22) QUORVEX_DOUBLE_RESERVED(23)
    QUORVEX_DOUBLE_RESERVED(24) QUORVEX_DOUBLE_RESERVED(25) QUORVEX_DOUBLE_RESERVED(26) QUORVEX_DOUBLE_RESERVED(27)

private:
    ScenarioPtr m_pScenario;
    CTagsDouble::Entry m_entry;
    size_t m_nPosition;
};

class CTagDatabaseDouble final : public CDoubleObject<ITagDatabase> {
public:
    explicit CTagDatabaseDouble(ScenarioPtr scenario) : m_pScenario(std::move(scenario)) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        return Answer(this, riid, object, {&IID_IDispatch, &IID_ITagDatabase});
    }
    STDMETHODIMP get_Name(BSTR*) override { return m_pScenario->Unused("ITagDatabase::get_Name"); }
    STDMETHODIMP get_TagSpecVersion(BSTR* pVal) override {
        const HRESULT hr = m_pScenario->Enter("get_TagSpecVersion", Fault::GetTagSpecVersion);
        return FAILED(hr) ? hr : CopyText(m_pScenario->TagSpecVersion(), pVal);
    }
    STDMETHODIMP put_TagSpecVersion(BSTR) override { return m_pScenario->Unused("put_TagSpecVersion"); }

private:
    ScenarioPtr m_pScenario;
};

// Enumerates a snapshot of a collection's entries; items follow the scenario.
class CTagEnumDouble final : public CDoubleObject<IEnumVARIANT> {
public:
    CTagEnumDouble(ScenarioPtr scenario, std::vector<CTagsDouble::Entry> entries)
        : m_pScenario(std::move(scenario)), m_entries(std::move(entries)) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        return Answer(this, riid, object, {&IID_IEnumVARIANT});
    }
    STDMETHODIMP Next(ULONG count, VARIANT* items, ULONG* fetched) override {
        m_pScenario->Enter("Next");
        if (fetched) *fetched = 0;
        if (!items) return E_POINTER;
        ULONG given = 0;
        while (given < count) {
            // Checked before the end, so that a failure may also replace the end.
            const HRESULT hr = m_pScenario->NextOutcome(m_nPosition);
            if (FAILED(hr)) {
                for (ULONG i = 0; i < given; ++i) VariantClear(&items[i]);
                return hr;
            }
            if (hr == S_FALSE || m_nPosition >= m_entries.size()) break;
            MakeItem(m_nPosition++, items[given++]);
        }
        if (fetched) *fetched = given;
        return given == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG) override { return m_pScenario->Unused("Skip"); }
    STDMETHODIMP Reset() override { return m_pScenario->Unused("Reset"); }
    STDMETHODIMP Clone(IEnumVARIANT**) override { return m_pScenario->Unused("Clone"); }

private:
    void MakeItem(size_t position, VARIANT& item) const {
        VariantInit(&item);
        V_VT(&item) = VT_DISPATCH;
        V_DISPATCH(&item) = nullptr;  // Fault::NullItem
        if (m_pScenario->IsDefect(Fault::NotATag, position))
            V_DISPATCH(&item) = static_cast<ITags*>(CTagsDouble::Create(m_pScenario, false).Detach());
        else if (!m_pScenario->IsDefect(Fault::NullItem, position))
            NewObject<IDispatch>(new CTagDouble(m_pScenario, m_entries[position], position), &V_DISPATCH(&item));
    }

    ScenarioPtr m_pScenario;
    std::vector<CTagsDouble::Entry> m_entries;
    size_t m_nPosition = 0;
};

}  // namespace

TagRecord RecordOf(const std::wstring& id, const VARIANT& value) {
    TagRecord record{id, V_VT(&value), L""};
    CVariant text;
    if (SUCCEEDED(VariantChangeType(text.Get(), const_cast<VARIANT*>(&value), 0, VT_BSTR)))
        record.text.assign(V_BSTR(text.Get()), SysStringLen(V_BSTR(text.Get())));
    return record;
}

void CTagsDouble::AddTag(const std::wstring& id, const VARIANT& value) {
    auto copy = std::make_shared<CVariant>();
    VariantCopyInd(copy->Get(), const_cast<VARIANT*>(&value));
    m_entries.push_back({id, copy});
}

void CTagsDouble::AddText(const std::wstring& id, const wchar_t* text) {
    CVariant value;
    if (text) {
        V_VT(value.Get()) = VT_BSTR;
        V_BSTR(value.Get()) = SysAllocString(text);
    }
    AddTag(id, *value.Get());
}

std::vector<TagRecord> CTagsDouble::Contents() const {
    std::vector<TagRecord> records;
    for (const Entry& entry : m_entries) records.push_back(RecordOf(entry.id, *entry.value->Get()));
    return records;
}

// An interface the collection does not answer stands in the lists as IUnknown.
STDMETHODIMP CTagsDouble::QueryInterface(REFIID riid, void** object) {
    if (IsEqualIID(riid, IID_ITagsFromConfig))
        return Answer(static_cast<ITagsFromConfig*>(this), riid, object,
                      {m_pScenario->IsDefect(Fault::NoTagsFromConfig, 0) ? &IID_IUnknown : &IID_ITagsFromConfig});
    return Answer(static_cast<ITags*>(this), riid, object,
                  {&IID_IDispatch, &IID_TagsDoubleSelf, m_bAnswersTags ? &IID_ITags : &IID_IUnknown});
}

STDMETHODIMP CTagsDouble::get__NewEnum(IEnumVARIANT** ppEnum) {
    const HRESULT hr = m_pScenario->Enter("get__NewEnum", Fault::NewEnum);
    return FAILED(hr) ? hr : NewObject<IEnumVARIANT>(new CTagEnumDouble(m_pScenario, m_entries), ppEnum);
}

STDMETHODIMP CTagsDouble::get_Count(LONG* pVal) {
    const HRESULT hr = m_pScenario->Enter("get_Count", Fault::GetCount);
    if (FAILED(hr)) return hr;
    if (!pVal) return E_POINTER;
    *pVal = static_cast<LONG>(m_entries.size());
    return S_OK;
}

STDMETHODIMP CTagsDouble::get_Database(ITagDatabase** ppDatabase) {
    const HRESULT hr = m_pScenario->Enter("get_Database", Fault::GetDatabase);
    return FAILED(hr) ? hr : NewObject<ITagDatabase>(new CTagDatabaseDouble(m_pScenario), ppDatabase);
}

// Takes the source's entries as they are now: later changes to it do not show here.
STDMETHODIMP CTagsDouble::Update(ITags* Source) {
    m_pScenario->Enter("Update");
    CComPtr<ITags> source;
    if (!Source || FAILED(Source->QueryInterface(IID_TagsDoubleSelf, reinterpret_cast<void**>(source.Out()))))
        return E_INVALIDARG;
    m_entries.clear();
    for (const Entry& entry : static_cast<CTagsDouble*>(source.Get())->m_entries) AddTag(entry.id, *entry.value->Get());
    return S_OK;
}

STDMETHODIMP CTagsDouble::BulkLoad(SAFEARRAY** ids, SAFEARRAY** values) {
    // The arrays belong to this call on every path.
    CSafeArray idArray(ids ? *ids : nullptr);
    CSafeArray valueArray(values ? *values : nullptr);
    const HRESULT hr = m_pScenario->Enter("BulkLoad", Fault::BulkLoad);
    if (FAILED(hr)) return hr;
    std::vector<TagRecord> tags;
    if (!ReadBulkLoad(idArray.Get(), valueArray.Get(), &tags)) return E_INVALIDARG;
    for (const TagRecord& tag : tags) AddText(tag.id, tag.type == VT_EMPTY ? nullptr : tag.text.c_str());
    return S_OK;
}

STDMETHODIMP CTagServerDouble::QueryInterface(REFIID riid, void** object) {
    return Answer(this, riid, object, {&IID_IDispatch, &IID_ITagServer});
}

STDMETHODIMP CTagServerDouble::CreateTags(ITags** ppTags) {
    const HRESULT hr = m_pScenario->Enter("CreateTags", Fault::CreateTags);
    if (FAILED(hr)) return hr;
    if (!ppTags) return E_POINTER;
    m_created.push_back(CTagsDouble::Create(m_pScenario));
    *ppTags = static_cast<ITags*>(m_created.back().Get());
    (*ppTags)->AddRef();
    return S_OK;
}

}  // namespace doubles
