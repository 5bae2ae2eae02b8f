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

// A value as its type and its text (empty when it has no text form).
TagRecord RecordOf(const std::wstring& id, const VARIANT& value);

// Reference counting and an inert IDispatch: Quorvex3 calls the tag server
// through vtables, never by name (and reaches event sinks through Invoke alone).
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
    LONG References() const { return m_nRefs; }

private:
    LONG m_nRefs = 0;
};

#define QUORVEX_DOUBLE_RESERVED(n) \
    STDMETHODIMP Reserved##n() override { return E_NOTIMPL; }

// A tag collection. It answers ITags unless told not to (then it stands for
// any object of the wrong kind), and ITagsFromConfig unless the
// scenario says otherwise.
class CTagsDouble final : public CDoubleObject<ITags>, public ITagsFromConfig {
public:
    struct Entry {
        std::wstring id;
        std::shared_ptr<CVariant> value;
    };

    static CComPtr<CTagsDouble> Create(ScenarioPtr scenario, bool answersTags = true) {
        return CComPtr<CTagsDouble>(new CTagsDouble(std::move(scenario), answersTags));
    }

    // Adds a tag with a copy of value.
    void AddTag(const std::wstring& id, const VARIANT& value);
    void AddText(const std::wstring& id, const wchar_t* text);  // null text: VT_EMPTY
    std::vector<TagRecord> Contents() const;
    IDispatch* Dispatch() { return static_cast<ITags*>(this); }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return CDoubleObject::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CDoubleObject::Release(); }

    STDMETHODIMP get__NewEnum(IEnumVARIANT** ppEnum) override;
    STDMETHODIMP get_Item(VARIANT, ITag**) override { return m_pScenario->Unused("get_Item"); }
    STDMETHODIMP get_Count(LONG* pVal) override;
    STDMETHODIMP Add(BSTR, VARIANT, ITag**) override { return m_pScenario->Unused("Add"); }
    STDMETHODIMP Remove(VARIANT) override { return m_pScenario->Unused("Remove"); }
    STDMETHODIMP Clear() override { return m_pScenario->Unused("Clear"); }
    STDMETHODIMP get_Database(ITagDatabase** ppDatabase) override;
    STDMETHODIMP Update(ITags* Source) override;
    STDMETHODIMP BeginUpdate() override { return m_pScenario->Enter("BeginUpdate"); }
    STDMETHODIMP EndUpdate() override { return m_pScenario->Enter("EndUpdate"); }
    QUORVEX_DOUBLE_RESERVED(13) QUORVEX_DOUBLE_RESERVED(15) QUORVEX_DOUBLE_RESERVED(16) QUORVEX_DOUBLE_RESERVED(17)
    STDMETHODIMP BulkLoad(SAFEARRAY** ids, SAFEARRAY** values) override;

private:
    CTagsDouble(ScenarioPtr scenario, bool answersTags) : m_pScenario(std::move(scenario)), m_bAnswersTags(answersTags) {}

    ScenarioPtr m_pScenario;
    bool m_bAnswersTags;
    std::vector<Entry> m_entries;
};

// The tag server; its new collections follow the scenario.
class CTagServerDouble final : public CDoubleObject<ITagServer> {
public:
    static CComPtr<CTagServerDouble> Create(ScenarioPtr scenario) {
        return CComPtr<CTagServerDouble>(new CTagServerDouble(std::move(scenario)));
    }
    // Every collection CreateTags has made, in order.
    const std::vector<CComPtr<CTagsDouble>>& Created() const { return m_created; }
    IDispatch* Dispatch() { return static_cast<ITagServer*>(this); }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP get_Database(ITagDatabase**) override { return m_pScenario->Unused("ITagServer::get_Database"); }
    STDMETHODIMP get_Name(BSTR*) override { return m_pScenario->Unused("get_Name"); }
    QUORVEX_DOUBLE_RESERVED(9)
    STDMETHODIMP CreateTags(ITags** ppTags) override;

private:
    explicit CTagServerDouble(ScenarioPtr scenario) : m_pScenario(std::move(scenario)) {}

    ScenarioPtr m_pScenario;
    std::vector<CComPtr<CTagsDouble>> m_created;
};

}  // namespace doubles
