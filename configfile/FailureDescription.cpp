#include "configfile/FailureDescription.h"

#include "configfile/QuorvexUtils.h"
#include "contracts/Log.h"
#include "server/ErrorInfo.h"
#include "server/Module.h"

#include <cwchar>

CFailureDescription CFailureDescription::StringId(UINT id) { return CFailureDescription(id, WString()); }

CFailureDescription CFailureDescription::ResourceString(int id) {
    return Text(Quorvex_Utils::GetResourceString(id));
}

CFailureDescription CFailureDescription::HResultText(HRESULT hr) { return Text(utility::genHResultAsString(hr)); }

CFailureDescription CFailureDescription::SystemMessage(HRESULT hr) {
    Quorvex_Utils::CSysErrorMessage message;
    const wchar_t* text = message.GetMessageString(static_cast<unsigned long>(hr));
    return Text(text ? text : L"Unknown Error");
}

CFailureDescription CFailureDescription::Text(const WString& text) { return CFailureDescription(0, text); }

CFailureDescription CFailureDescription::Of(const CFailureRow& row, HRESULT hr, ULONG line) {
    switch (row.description) {
    case FailureText::StringId:
        return StringId(row.stringId);
    case FailureText::ResourceString:
        return ResourceString(static_cast<int>(row.stringId));
    case FailureText::ResourceLineFormat: {
        wchar_t text[256];
        _snwprintf(text, 256, Quorvex_Utils::GetResourceString(static_cast<int>(row.stringId)),
                   static_cast<unsigned>(line));
        text[255] = L'\0';
        return Text(text);
    }
    case FailureText::SystemMessage:
        return SystemMessage(hr);
    case FailureText::HResultText:
    case FailureText::None:
        break;
    }
    return HResultText(hr);
}

HRESULT CFailureDescription::Set(const CLSID& clsid, REFIID guid, HRESULT hr) const {
    if (m_nStringId != 0) return AtlReportError(clsid, m_nStringId, guid, hr, _Module.GetResourceInstance());
    return AtlSetErrorInfo(clsid, m_strText.c_str(), 0, nullptr, guid, hr, _Module.GetResourceInstance());
}
