#include "TagDoubles.h"

#include "platform/Bstr.h"
#include "platform/SafeArray.h"

#include <initializer_list>

#define QUORVEX_DOUBLE_RESERVED(n) \
    STDMETHODIMP Reserved##n() override { return E_NOTIMPL; }

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

// Answers IUnknown and IDispatch and nothing else: an object of the wrong kind.
class CPlainDispatch final : public CDoubleObject<IDispatch> {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        return Answer(this, riid, object, {&IID_IDispatch});
    }
};

// Hands a new object out, or destroys it when there is nowhere to put it.
template <class Interface>
HRESULT NewObject(Interface* created, Interface** out) {
    created->AddRef();
    if (!out) {
        created->Release();
        return E_POINTER;
    }
    *out = created;
    return S_OK;
}

HRESULT CopyText(const std::wstring& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

TagRecord RecordOf(const std::wstring& id, const VARIANT& value) {
    TagRecord record{id, V_VT(&value), L""};
    CVariant text;
    if (SUCCEEDED(VariantChangeType(text.Get(), const_cast<VARIANT*>(&value), 0, VT_BSTR)))
        record.text.assign(V_BSTR(text.Get()), SysStringLen(V_BSTR(text.Get())));
    return record;
}

// What arrived in a bulk load, read element by element (never trusting it).
BulkLoadRecord Describe(SAFEARRAY* ids, SAFEARRAY* values) {
    BulkLoadRecord record;
    record.idsGiven = ids != nullptr;
    record.valuesGiven = values != nullptr;
    if (!ids || !values) return record;
    record.idDimensions = SafeArrayGetDim(ids);
    SafeArrayGetLBound(ids, 1, &record.idLowerBound);
    SafeArrayGetLBound(values, 1, &record.valueLowerBound);
    SafeArrayGetVartype(ids, &record.idType);
    SafeArrayGetVartype(values, &record.valueType);
    if (record.idDimensions != 1 || SafeArrayGetDim(values) != 1 || record.idType != VT_BSTR ||
        record.valueType != VT_VARIANT)
        return record;
    LONG idUpper = -1, valueUpper = -1;
    SafeArrayGetUBound(ids, 1, &idUpper);
    SafeArrayGetUBound(values, 1, &valueUpper);
    for (LONG id = record.idLowerBound, value = record.valueLowerBound; id <= idUpper && value <= valueUpper;
         ++id, ++value) {
        CBstr idText;
        CVariant valueCopy;
        SafeArrayGetElement(ids, &id, idText.Out());
        SafeArrayGetElement(values, &value, valueCopy.Out());
        record.tags.push_back(RecordOf(idText.ToString(), *valueCopy.Get()));
    }
    return record;
}

// One tag as an enumerated item: position is its place in the enumeration.
class CTagDouble final : public CDoubleObject<ITag> {
public:
    CTagDouble(ScenarioPtr scenario, std::wstring id, std::shared_ptr<CVariant> value, size_t position)
        : m_pScenario(std::move(scenario)), m_strId(std::move(id)), m_pValue(std::move(value)), m_nPosition(position) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        return Answer(this, riid, object, {&IID_IDispatch, &IID_ITag});
    }
    STDMETHODIMP get_ID(BSTR* pVal) override {
        const HRESULT hr = m_pScenario->Enter("get_ID", Fault::GetId, m_nPosition);
        return FAILED(hr) ? hr : CopyText(m_strId, pVal);
    }
    STDMETHODIMP get_Value(VARIANT* pVal) override {
        const HRESULT hr = m_pScenario->Enter("get_Value", Fault::GetValue, m_nPosition);
        if (FAILED(hr)) return hr;
        if (!pVal) return E_POINTER;
        VariantInit(pVal);
        return VariantCopy(pVal, m_pValue->Get());
    }
    STDMETHODIMP put_Value(VARIANT newVal) override {
        m_pScenario->Enter("put_Value", Fault::None);
        return VariantCopyInd(m_pValue->Get(), &newVal);
    }
    QUORVEX_DOUBLE_RESERVED(7)
    QUORVEX_DOUBLE_RESERVED(8) QUORVEX_DOUBLE_RESERVED(9) QUORVEX_DOUBLE_RESERVED(10) QUORVEX_DOUBLE_RESERVED(12)
        QUORVEX_DOUBLE_RESERVED(13) QUORVEX_DOUBLE_RESERVED(14) QUORVEX_DOUBLE_RESERVED(15) QUORVEX_DOUBLE_RESERVED(16)
            QUORVEX_DOUBLE_RESERVED(17) QUORVEX_DOUBLE_RESERVED(18) QUORVEX_DOUBLE_RESERVED(19)
                QUORVEX_DOUBLE_RESERVED(20) QUORVEX_DOUBLE_RESERVED(21) QUORVEX_DOUBLE_RESERVED(22)
                    QUORVEX_DOUBLE_RESERVED(23) QUORVEX_DOUBLE_RESERVED(24) QUORVEX_DOUBLE_RESERVED(25)
                        QUORVEX_DOUBLE_RESERVED(26) QUORVEX_DOUBLE_RESERVED(27)

                            private : ScenarioPtr m_pScenario;
    std::wstring m_strId;
    std::shared_ptr<CVariant> m_pValue;
    size_t m_nPosition;
};

class CTagDatabaseDouble final : public CDoubleObject<ITagDatabase> {
public:
    explicit CTagDatabaseDouble(ScenarioPtr scenario) : m_pScenario(std::move(scenario)) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        return Answer(this, riid, object, {&IID_IDispatch, &IID_ITagDatabase});
    }
    STDMETHODIMP get_Name(BSTR* pVal) override { return CopyText(L"tag database double", pVal); }
    STDMETHODIMP get_TagSpecVersion(BSTR* pVal) override {
        const HRESULT hr = m_pScenario->Enter("get_TagSpecVersion", Fault::GetTagSpecVersion);
        return FAILED(hr) ? hr : CopyText(m_pScenario->TagSpecVersion(), pVal);
    }
    STDMETHODIMP put_TagSpecVersion(BSTR newVal) override {
        m_pScenario->Enter("put_TagSpecVersion", Fault::None);
        m_pScenario->SetTagSpecVersion(std::wstring(newVal ? newVal : L"", SysStringLen(newVal)));
        return S_OK;
    }

private:
    ScenarioPtr m_pScenario;
};

// Enumerates a snapshot of a collection's entries; items follow the scenario.
class CTagEnumDouble final : public CDoubleObject<IEnumVARIANT> {
public:
    CTagEnumDouble(ScenarioPtr scenario, std::vector<CTagsDouble::Entry> entries, size_t position = 0)
        : m_pScenario(std::move(scenario)), m_entries(std::move(entries)), m_nPosition(position) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        return Answer(this, riid, object, {&IID_IEnumVARIANT});
    }
    STDMETHODIMP Next(ULONG count, VARIANT* items, ULONG* fetched) override {
        m_pScenario->Enter("Next", Fault::None);
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
    STDMETHODIMP Skip(ULONG count) override {
        m_pScenario->Enter("Skip", Fault::None);
        m_nPosition += count;
        return m_nPosition <= m_entries.size() ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        m_pScenario->Enter("Reset", Fault::None);
        m_nPosition = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumVARIANT** enumerator) override {
        m_pScenario->Enter("Clone", Fault::None);
        return NewObject<IEnumVARIANT>(new CTagEnumDouble(m_pScenario, m_entries, m_nPosition), enumerator);
    }

private:
    void MakeItem(size_t position, VARIANT& item) const {
        VariantInit(&item);
        V_VT(&item) = VT_DISPATCH;
        V_DISPATCH(&item) = nullptr;  // ItemDefect::NullItem
        const CTagsDouble::Entry& entry = m_entries[position];
        if (m_pScenario->DefectOf(position) == ItemDefect::NotATag)
            V_DISPATCH(&item) = MakePlainDispatch().Detach();
        else if (m_pScenario->DefectOf(position) == ItemDefect::None)
            NewObject<IDispatch>(new CTagDouble(m_pScenario, entry.id, entry.value, position), &V_DISPATCH(&item));
    }

    ScenarioPtr m_pScenario;
    std::vector<CTagsDouble::Entry> m_entries;
    size_t m_nPosition;
};

}  // namespace

// ---- CTagsDouble

CTagsDouble::CTagsDouble(ScenarioPtr scenario, bool answersTags, bool answersTagsFromConfig)
    : m_pScenario(std::move(scenario)), m_bAnswersTags(answersTags), m_bAnswersTagsFromConfig(answersTagsFromConfig) {}

CComPtr<CTagsDouble> CTagsDouble::Create(ScenarioPtr scenario, bool answersTags, bool answersTagsFromConfig) {
    return CComPtr<CTagsDouble>(new CTagsDouble(std::move(scenario), answersTags, answersTagsFromConfig));
}

void CTagsDouble::AddTag(const std::wstring& id, const VARIANT& value) {
    auto copy = std::make_shared<CVariant>();
    VariantCopyInd(copy->Get(), const_cast<VARIANT*>(&value));
    for (Entry& entry : m_entries) {
        if (entry.id == id) {
            VariantCopy(entry.value->Get(), copy->Get());
            return;
        }
    }
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

// An interface the collection is told not to answer stands in the lists as IUnknown.
STDMETHODIMP CTagsDouble::QueryInterface(REFIID riid, void** object) {
    if (IsEqualIID(riid, IID_ITagsFromConfig))
        return Answer(static_cast<ITagsFromConfig*>(this), riid, object,
                      {m_bAnswersTagsFromConfig ? &IID_ITagsFromConfig : &IID_IUnknown});
    return Answer(static_cast<ITags*>(this), riid, object,
                  {&IID_IDispatch, &IID_TagsDoubleSelf, m_bAnswersTags ? &IID_ITags : &IID_IUnknown});
}

STDMETHODIMP CTagsDouble::get__NewEnum(IEnumVARIANT** ppEnum) {
    const HRESULT hr = m_pScenario->Enter("get__NewEnum", Fault::NewEnum);
    if (FAILED(hr)) return hr;
    return NewObject<IEnumVARIANT>(new CTagEnumDouble(m_pScenario, m_entries), ppEnum);
}

STDMETHODIMP CTagsDouble::get_Item(VARIANT, ITag** ppTag) {
    m_pScenario->Enter("get_Item", Fault::None);
    if (ppTag) *ppTag = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CTagsDouble::get_Count(LONG* pVal) {
    const HRESULT hr = m_pScenario->Enter("get_Count", Fault::GetCount);
    if (FAILED(hr)) return hr;
    if (!pVal) return E_POINTER;
    *pVal = static_cast<LONG>(m_entries.size());
    return S_OK;
}

STDMETHODIMP CTagsDouble::Add(BSTR ID, VARIANT Value, ITag** ppTag) {
    m_pScenario->Enter("Add", Fault::None);
    if (ppTag) *ppTag = nullptr;
    AddTag(std::wstring(ID ? ID : L"", SysStringLen(ID)), Value);
    return S_OK;
}

STDMETHODIMP CTagsDouble::Remove(VARIANT) {
    m_pScenario->Enter("Remove", Fault::None);
    return E_NOTIMPL;
}

STDMETHODIMP CTagsDouble::Clear() {
    m_pScenario->Enter("Clear", Fault::None);
    m_entries.clear();
    return S_OK;
}

STDMETHODIMP CTagsDouble::get_Database(ITagDatabase** ppDatabase) {
    const HRESULT hr = m_pScenario->Enter("get_Database", Fault::GetDatabase);
    if (FAILED(hr)) return hr;
    return NewObject<ITagDatabase>(new CTagDatabaseDouble(m_pScenario), ppDatabase);
}

STDMETHODIMP CTagsDouble::Update(ITags* Source) {
    const HRESULT hr = m_pScenario->Enter("Update", Fault::Update);
    if (FAILED(hr)) return hr;
    CComPtr<ITags> source;
    if (!Source || FAILED(Source->QueryInterface(IID_TagsDoubleSelf, reinterpret_cast<void**>(source.Out()))))
        return E_INVALIDARG;
    // Copies, so that later changes to the source do not show here.
    std::vector<Entry> copies;
    for (const Entry& entry : static_cast<CTagsDouble*>(source.Get())->m_entries) {
        auto value = std::make_shared<CVariant>();
        VariantCopy(value->Get(), entry.value->Get());
        copies.push_back({entry.id, value});
    }
    m_entries.swap(copies);
    return S_OK;
}

STDMETHODIMP CTagsDouble::BeginUpdate() { return m_pScenario->Enter("BeginUpdate", Fault::BeginUpdate); }

STDMETHODIMP CTagsDouble::EndUpdate() { return m_pScenario->Enter("EndUpdate", Fault::EndUpdate); }

STDMETHODIMP CTagsDouble::BulkLoad(SAFEARRAY** ids, SAFEARRAY** values) {
    // The arrays belong to this call on every path.
    CSafeArray idArray(ids ? *ids : nullptr);
    CSafeArray valueArray(values ? *values : nullptr);
    BulkLoadRecord record = Describe(idArray.Get(), valueArray.Get());
    const std::vector<TagRecord> loaded = record.tags;
    const bool wellFormed = record.idDimensions == 1 && record.idLowerBound == 0 && record.valueLowerBound == 0 &&
                            record.idType == VT_BSTR && record.valueType == VT_VARIANT;
    m_pScenario->RecordBulkLoad(std::move(record));
    const HRESULT hr = m_pScenario->Enter("BulkLoad", Fault::BulkLoad);
    if (FAILED(hr)) return hr;
    if (!wellFormed) return E_INVALIDARG;
    for (const TagRecord& tag : loaded) AddText(tag.id, tag.type == VT_EMPTY ? nullptr : tag.text.c_str());
    return S_OK;
}

// ---- CTagServerDouble

CComPtr<CTagServerDouble> CTagServerDouble::Create(ScenarioPtr scenario) {
    return CComPtr<CTagServerDouble>(new CTagServerDouble(std::move(scenario)));
}

STDMETHODIMP CTagServerDouble::QueryInterface(REFIID riid, void** object) {
    return Answer(this, riid, object, {&IID_IDispatch, &IID_ITagServer});
}

STDMETHODIMP CTagServerDouble::get_Database(ITagDatabase** ppDatabase) {
    m_pScenario->Enter("ITagServer::get_Database", Fault::None);
    return NewObject<ITagDatabase>(new CTagDatabaseDouble(m_pScenario), ppDatabase);
}

STDMETHODIMP CTagServerDouble::get_Name(BSTR* pVal) { return CopyText(L"tag server double", pVal); }

STDMETHODIMP CTagServerDouble::CreateTags(ITags** ppTags) {
    const HRESULT hr = m_pScenario->Enter("CreateTags", Fault::CreateTags);
    if (FAILED(hr)) return hr;
    if (!ppTags) return E_POINTER;
    CComPtr<CTagsDouble> created = CTagsDouble::Create(m_pScenario, true, m_pScenario->NewCollectionsLoad());
    m_created.push_back(created);
    *ppTags = static_cast<ITags*>(created.Get());
    (*ppTags)->AddRef();
    return S_OK;
}

CComPtr<IDispatch> MakePlainDispatch() { return CComPtr<IDispatch>(new CPlainDispatch); }

}  // namespace doubles
