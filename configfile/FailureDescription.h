// The description that a reported failure carries in its error information:
// a string-table id (loaded when the information is built) or a ready text.
#pragma once
#include "configfile/FailureTable.h"
#include "platform/Platform.h"

class CFailureDescription {
public:
    // Handed over as an id; its text comes from the module's string table.
    static CFailureDescription StringId(UINT id);
    // A copy of the module's string-table text id, taken now.
    static CFailureDescription ResourceString(int id);
    // The log library's description of hr.
    static CFailureDescription HResultText(HRESULT hr);
    // The system's message text of hr, "Unknown Error" when it has none.
    static CFailureDescription SystemMessage(HRESULT hr);
    static CFailureDescription Text(const WString& text);
    // The description row gives a failure with HRESULT hr met on line.
    static CFailureDescription Of(const CFailureRow& row, HRESULT hr, ULONG line);

    // The ready text; empty for a string id.
    const WString& GetText() const { return m_strText; }

    // Sets the calling thread's error information for class clsid; returns
    // hr (or what the setter made of 0).
    HRESULT Set(const CLSID& clsid, REFIID guid, HRESULT hr) const;

private:
    CFailureDescription(UINT id, WString text) : m_nStringId(id), m_strText(std::move(text)) {}

    UINT m_nStringId;  // 0 when the description is m_strText
    WString m_strText;
};
