// Turning one tag of a collection into its line of the configuration file.
#include "configfile/ConfigFile.h"

#include "configfile/TagLineFormat.h"
#include "platform/ComPtr.h"
#include "platform/Variant.h"

#include <stdexcept>

HRESULT ConfigFile::GetTagData(IDispatch* pTagObject) {
    CComPtr<ITag> pTag;
    HRESULT hr = CallTagServer([&] { return QueryInterfaceOf(pTagObject, IID_ITag, pTag); });
    if (FAILED(hr)) return Fail(failure::TagInterface, E_INVALIDARG);

    hr = CallTagServer([&] { return pTag->get_ID(m_bstrTagID.Out()); });
    if (FAILED(hr)) return Fail(failure::TagId, hr);

    CVariant value;
    hr = CallTagServer([&] { return pTag->get_Value(value.Get()); });
    if (FAILED(hr)) return Fail(failure::TagValue, hr, TagIdText());

    if (value.Type() == VT_EMPTY) {
        m_strTagValue.clear();
        return S_OK;
    }
    // No flags: the platform's default rules (booleans as -1 and 0). A string
    // is already in its form; converting it would only copy it. An object held
    // as a value is asked for its value: a call into the tag server.
    if (value.Type() != VT_BSTR) {
        hr = CallTagServer([&] { return VariantChangeType(value.Get(), value.Get(), 0, VT_BSTR); });
        if (FAILED(hr)) return Fail(failure::TagValueToString, hr, TagIdText());
    }

    const BSTR text = V_BSTR(value.Get());
    m_strTagValue.assign(text ? text : L"");  // up to the first null
    hr = TagValueToTextFileFormat(m_strTagValue);
    if (hr != S_OK) return Fail(failure::TagValueToText, hr, TagIdText());
    return S_OK;
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
        return Fail(failure::TagLineAssembly, E_UNEXPECTED, TagIdText());
    }
}
