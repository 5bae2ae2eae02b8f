// C++ doubles of the tag server's objects that behave like a small tag server
// but fail on demand (see CScenario) and record what is done to them.
#pragma once
#include "Scenario.h"
#include "TagServer.h"
#include "platform/ComPtr.h"
#include "platform/Variant.h"

#include <memory>
#include <vector>

namespace doubles {

using ScenarioPtr = std::shared_ptr<CScenario>;

// Reference counting and an inert IDispatch: Quorvex3 calls the tag server
// through vtables, never by name.
template <class Interface>
class CDoubleObject : public Interface {
public:
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_nRefs)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG count = InterlockedDecrement(&m_nRefs);
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) {
        if (count) *count = 0;
        return count ? S_OK : E_POINTER;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) { return E_NOTIMPL; }

protected:
    virtual ~CDoubleObject() = default;

private:
    LONG m_nRefs = 0;
};

#define QUORVEX_DOUBLE_RESERVED(n) \
    STDMETHODIMP Reserved##n() override { return E_NOTIMPL; }

// One tag as an enumerated item: position is its place in the enumeration.
class CTagDouble final : public CDoubleObject<ITag> {
public:
    CTagDouble(ScenarioPtr scenario, std::wstring id, std::shared_ptr<CVariant> value, size_t position);

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP get_ID(BSTR* pVal) override;
    STDMETHODIMP get_Value(VARIANT* pVal) override;
    STDMETHODIMP put_Value(VARIANT newVal) override;

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

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP get_Name(BSTR* pVal) override;
    STDMETHODIMP get_TagSpecVersion(BSTR* pVal) override;
    STDMETHODIMP put_TagSpecVersion(BSTR newVal) override;

private:
    ScenarioPtr m_pScenario;
};

// A tag collection. It answers ITags and ITagsFromConfig unless told not to.
class CTagsDouble final : public CDoubleObject<ITags>, public ITagsFromConfig {
public:
    struct Entry {
        std::wstring id;
        std::shared_ptr<CVariant> value;
    };

    static CComPtr<CTagsDouble> Create(ScenarioPtr scenario, bool answersTags = true,
                                       bool answersTagsFromConfig = true);

    // Adds a tag (a copy of value), or replaces the value of the tag with that id.
    void AddTag(const std::wstring& id, const VARIANT& value);
    void AddText(const std::wstring& id, const wchar_t* text);  // null text: VT_EMPTY
    std::vector<TagRecord> Contents() const;
    IDispatch* Dispatch() { return static_cast<ITags*>(this); }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return CDoubleObject::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CDoubleObject::Release(); }

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
    QUORVEX_DOUBLE_RESERVED(13)
    QUORVEX_DOUBLE_RESERVED(15) QUORVEX_DOUBLE_RESERVED(16) QUORVEX_DOUBLE_RESERVED(17)

        STDMETHODIMP BulkLoad(SAFEARRAY** ids, SAFEARRAY** values) override;

private:
    CTagsDouble(ScenarioPtr scenario, bool answersTags, bool answersTagsFromConfig);

    ScenarioPtr m_pScenario;
    bool m_bAnswersTags;
    bool m_bAnswersTagsFromConfig;
    std::vector<Entry> m_entries;
};

// Enumerates a snapshot of a collection's entries; items follow the scenario.
class CTagEnumDouble final : public CDoubleObject<IEnumVARIANT> {
public:
    CTagEnumDouble(ScenarioPtr scenario, std::vector<CTagsDouble::Entry> entries)
        : m_pScenario(std::move(scenario)), m_entries(std::move(entries)) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP Next(ULONG count, VARIANT* items, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumVARIANT** enumerator) override;

private:
    void MakeItem(size_t position, VARIANT& item) const;

    ScenarioPtr m_pScenario;
    std::vector<CTagsDouble::Entry> m_entries;
    size_t m_nPosition = 0;
};

// The tag server; its new collections follow the scenario.
class CTagServerDouble final : public CDoubleObject<ITagServer> {
public:
    static CComPtr<CTagServerDouble> Create(ScenarioPtr scenario);
    // Every collection CreateTags has made, in order.
    const std::vector<CComPtr<CTagsDouble>>& Created() const { return m_created; }
    IDispatch* Dispatch() { return static_cast<ITagServer*>(this); }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP get_Database(ITagDatabase** ppDatabase) override;
    STDMETHODIMP get_Name(BSTR* pVal) override;
    QUORVEX_DOUBLE_RESERVED(9)
    STDMETHODIMP CreateTags(ITags** ppTags) override;

private:
    explicit CTagServerDouble(ScenarioPtr scenario) : m_pScenario(std::move(scenario)) {}

    ScenarioPtr m_pScenario;
    std::vector<CComPtr<CTagsDouble>> m_created;
};

// An object that answers only IUnknown and IDispatch (no tag server interface).
CComPtr<IDispatch> MakePlainDispatch();

}  // namespace doubles

#undef QUORVEX_DOUBLE_RESERVED
