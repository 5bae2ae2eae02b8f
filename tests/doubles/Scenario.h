// What a set of tag server doubles does (where it fails, which item is
// defective) and what was done to it (the calls in order).
// Shared by every double of one test.
#pragma once
#include "platform/Platform.h"

#include <memory>
#include <string>
#include <vector>

namespace doubles {

enum class Fault {
    None,
    CreateTags,
    GetDatabase,
    GetTagSpecVersion,
    NewEnum,
    GetCount,
    BulkLoad,
    Next,      // Next fails when asked for item k (after k items)
    EndEarly,  // Next answers S_FALSE when asked for item k
    GetId,     // get_ID of item k fails
    GetValue,  // get_Value of item k fails
    NotATag,   // item k is an IDispatch that does not answer ITag
    NullItem,  // item k is VT_DISPATCH with a null pointer
    NoStringForm,  // the value of item k is an array, which has no string form
    NoTagsFromConfig,  // collections do not answer ITagsFromConfig
};

// One tag as text: its identifier, the value's type and the value as text.
struct TagRecord {
    std::wstring id;
    VARTYPE type;
    std::wstring text;
    bool operator==(const TagRecord& other) const { return id == other.id && type == other.type && text == other.text; }
};

class CScenario {
public:
    static std::shared_ptr<CScenario> Create() { return std::make_shared<CScenario>(); }

    // Configuration, before the doubles are used.
    void FailAt(Fault point, HRESULT hr, bool setErrorInfo = false, size_t item = 0);
    void SetTagSpecVersion(const std::wstring& version) { m_strTagSpecVersion = version; }

    // Records.
    const std::vector<std::string>& Calls() const { return m_calls; }
    // The description of the error information a failing call sets.
    static std::wstring FaultDescription(const std::string& call);

    // Used by the doubles: records the call, then gives the injected failure
    // (setting error information when asked) or S_OK; item matters for the
    // faults of one item.
    HRESULT Enter(const std::string& call, Fault point = Fault::None, size_t item = 0);
    // A call Quorvex3 does not make: recorded, and not implemented.
    HRESULT Unused(const std::string& call);
    // Next (recorded by Enter), asked for item position: S_OK, S_FALSE (early
    // end) or a failure.
    HRESULT NextOutcome(size_t position);
    bool IsDefect(Fault defect, size_t item) const { return m_fault == defect && item == m_nFaultItem; }
    const std::wstring& TagSpecVersion() const { return m_strTagSpecVersion; }

private:
    HRESULT Fail(const std::string& call);

    Fault m_fault = Fault::None;
    HRESULT m_hrFault = E_FAIL;
    bool m_bSetErrorInfo = false;
    size_t m_nFaultItem = 0;
    std::wstring m_strTagSpecVersion = L"1.0.0";
    std::vector<std::string> m_calls;
};

}  // namespace doubles
