// Turning one tag of a collection into its line of the configuration file.
#include "configfile/ConfigFile.h"

#include "configfile/TagLineFormat.h"
#include "platform/ComPtr.h"
#include "platform/Variant.h"
#include "server/Resource.h"

#include <stdexcept>

HRESULT ConfigFile::GetTagData(IDispatch* pTagObject) {
    CComPtr<ITag> pTag;
    HRESULT hr = pTagObject ? pTagObject->QueryInterface(IID_ITag, reinterpret_cast<void**>(pTag.Out()))
                            : E_NOINTERFACE;
    if (FAILED(hr) || !pTag) return ReportTagFault(1, L"Couldn't get tag interface", E_INVALIDARG, E_INVALIDARG);

    hr = pTag->get_ID(m_bstrTagID.Out());
    if (FAILED(hr)) return ReportTagFault(2, L"Couldn't get tag ID", hr, hr);

    CVariant value;
    hr = pTag->get_Value(value.Get());
    if (FAILED(hr)) return ReportTagFault(4, L"Couldn't get value", hr, hr);

    if (value.Type() == VT_EMPTY) {
        m_strTagValue.clear();
        return S_OK;
    }
    // No flags: the platform's default rules (booleans as -1 and 0). A string
    // is already in its form; converting it would only copy it.
    if (value.Type() != VT_BSTR) {
        hr = VariantChangeType(value.Get(), value.Get(), 0, VT_BSTR);
        if (FAILED(hr)) return ReportTagFault(5, L"Couldn't convert value to string", hr, hr);
    }

    const BSTR text = V_BSTR(value.Get());
    m_strTagValue.assign(text ? text : L"");  // up to the first null
    hr = TagValueToTextFileFormat(m_strTagValue);
    if (hr != S_OK) return ReportTagFault(6, L"Couldn't convert value to text", hr, E_FAIL);
    return S_OK;
}

HRESULT ConfigFile::ReportTagFault(int fault, const wchar_t* faultText, HRESULT stepResult, HRESULT hr) {
    static const int kResourceOfFault[] = {0, IDS_INTERNAL_ERROR_1, IDS_INTERNAL_ERROR_2, IDS_INTERNAL_ERROR_3,
                                           IDS_INTERNAL_ERROR_4, IDS_INTERNAL_ERROR_5, IDS_INTERNAL_ERROR_6};
    const WString hrText = utility::genHResultAsString(stepResult);
    if (fault <= 2) {
        m_pLog->LogError(L"Internal Error %d while getting tag data. Fault: %s. Error: %s", MODULE, fault, faultText,
                         hrText.c_str());
    } else {
        m_pLog->LogError(L"Internal Error %d while getting data for tag %s. Fault: %s. Error: %s", MODULE, fault,
                         TagIdText(), faultText, hrText.c_str());
    }
    return ReportKeptFailure(hr, CFailureDescription::ResourceString(kResourceOfFault[fault]), CLSID_ConfigFile);
}

HRESULT ConfigFile::TagValueToTextFileFormat(WString& strValue) {
    try {
        HRESULT hr = S_OK;
        CTagLineFormat::QuoteWith(strValue, [this, &hr](WCHAR ch, WString& out) {
            hr = PutCharHexValueToString(ch, &out);
            return SUCCEEDED(hr);
        });
        return hr;
    } catch (const std::exception&) {
        return E_UNEXPECTED;
    }
}

HRESULT ConfigFile::PutCharHexValueToString(WCHAR ch, WString* pstrOut) {
    try {
        CTagLineFormat::AppendEscape(ch, *pstrOut);
        return S_OK;
    } catch (const std::exception&) {
        return E_UNEXPECTED;
    }
}

HRESULT ConfigFile::AssembleLine(WString& strLine) {
    try {
        CTagLineFormat::AppendAssignment(strLine, m_bstrTagID.Get(), m_strTagValue);
        return S_OK;
    } catch (const std::length_error&) {
        m_pLog->LogError(L"Failed to assemble data for tag %s", MODULE, TagIdText());
        return E_UNEXPECTED;
    }
}
