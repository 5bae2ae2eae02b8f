// What a set of tag server doubles does (where it fails, which items are
// defective) and what was done to it (the calls in order, what BulkLoad got).
// Shared by every double of one test.
#pragma once
#include "platform/Platform.h"

#include <memory>
#include <mutex>
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
    Next,      // Next fails when asked for item k (after k items)
    EndEarly,  // Next answers S_FALSE when asked for item k
    GetId,     // get_ID of item k fails
    GetValue,  // get_Value of item k fails
    BulkLoad,
    BeginUpdate,
    Update,
    EndUpdate,
};

enum class ItemDefect {
    None,
    NotATag,   // item k is an IDispatch that does not answer ITag
    NullItem,  // item k is VT_DISPATCH with a null pointer
};

// One tag as text: its identifier, the value's type and the value as text.
struct TagRecord {
    std::wstring id;
    VARTYPE type;
    std::wstring text;
    bool operator==(const TagRecord& other) const { return id == other.id && type == other.type && text == other.text; }
};

struct BulkLoadRecord {
    bool idsGiven = false;  // a non-null array arrived for each
    bool valuesGiven = false;
    UINT idDimensions = 0;
    LONG idLowerBound = 0;
    LONG valueLowerBound = 0;
    VARTYPE idType = VT_EMPTY;
    VARTYPE valueType = VT_EMPTY;
    std::vector<TagRecord> tags;
};

class CScenario {
public:
    static std::shared_ptr<CScenario> Create() { return std::make_shared<CScenario>(); }

    // Configuration, before the doubles are used.
    void FailAt(Fault point, HRESULT hr, bool setErrorInfo, size_t item = 0);
    void DefectiveItem(ItemDefect defect, size_t item);
    void NewCollectionsLackTagsFromConfig() { m_bNewCollectionsLoad = false; }
    void SetTagSpecVersion(const std::wstring& version) { m_strTagSpecVersion = version; }

    // Records.
    std::vector<std::string> Calls() const;
    std::vector<BulkLoadRecord> BulkLoads() const;
    // The description of the error information a failing call sets.
    static std::wstring FaultDescription(const std::string& call);

    // Used by the doubles: records the call, then gives the injected failure
    // (setting error information when asked) or S_OK.
    HRESULT Enter(const std::string& call, Fault point, size_t item = 0);
    // Next (recorded by Enter), asked for item position: S_OK, S_FALSE (early
    // end) or a failure.
    HRESULT NextOutcome(size_t position);
    ItemDefect DefectOf(size_t item) const { return item == m_nDefectItem ? m_defect : ItemDefect::None; }
    bool NewCollectionsLoad() const { return m_bNewCollectionsLoad; }
    const std::wstring& TagSpecVersion() const { return m_strTagSpecVersion; }
    void RecordBulkLoad(BulkLoadRecord record);

private:
    HRESULT Fail(const std::string& call);

    Fault m_fault = Fault::None;
    HRESULT m_hrFault = E_FAIL;
    bool m_bSetErrorInfo = false;
    size_t m_nFaultItem = 0;
    ItemDefect m_defect = ItemDefect::None;
    size_t m_nDefectItem = 0;
    bool m_bNewCollectionsLoad = true;
    std::wstring m_strTagSpecVersion = L"1.0.0";

    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
    std::vector<BulkLoadRecord> m_bulkLoads;
};

}  // namespace doubles
