// Read: loads the open configuration file into the client's tag collection.
// The file is scanned token by token into a buffer of pairs, the client may
// veto the load when the version statement arrives, and the pairs reach the
// client's collection through one bulk load and one bracketed update.
#include "configfile/ConfigFile.h"

#include "configfile/QuorvexUtils.h"
#include "platform/ComPtr.h"
#include "reader/ConfigReader.h"
#include "reader/TagValueBuffer.h"
#include "server/Resource.h"

#include <algorithm>
#include <cwchar>
#include <memory>
#include <new>

namespace {

// Pairs the buffer holds at least before it first grows.
constexpr ULONG kMinimumPairCount = 10000;

// The interface iid of object, or E_NOINTERFACE when there is no object or it
// hands out a null pointer.
template <class Q>
HRESULT QueryFrom(IUnknown* object, const IID& iid, CComPtr<Q>& result) {
    if (!object) return E_NOINTERFACE;
    HRESULT hr = object->QueryInterface(iid, reinterpret_cast<void**>(result.Out()));
    if (SUCCEEDED(hr) && !result) hr = E_NOINTERFACE;
    return hr;
}

}  // namespace

STDMETHODIMP ConfigFile::Read(IDispatch* TagServer, IDispatch** TagCollection) {
    m_pLog->LogInfo(L"Beginning read of configuration file...", MODULE);
    if (!IsOpen()) return ReportNotOpen(L"Read failed because file has not been opened.");
    if (!TagCollection || !TagServer) return ReportNullReadArgument();
    // Nothing thrown may cross the interface: out of memory and anything
    // unforeseen become failures with nothing loaded.
    try {
        return ReadInto(TagServer, *TagCollection);
    } catch (const std::bad_alloc&) {
        return ReportReadException(E_OUTOFMEMORY);
    } catch (...) {
        return ReportReadException(E_UNEXPECTED);
    }
}

HRESULT ConfigFile::ReadInto(IDispatch* pServerObject, IDispatch* pClientObject) {
    CComPtr<ITagServer> pServer;
    HRESULT hr = QueryFrom(pServerObject, IID_ITagServer, pServer);
    if (FAILED(hr)) return ReportNoTagServer(hr);
    CComPtr<ITags> pClientTags;
    hr = QueryFrom(pClientObject, IID_ITags, pClientTags);
    if (FAILED(hr)) return ReportNoClientTags(hr);

    CComPtr<ITags> pNewTags;
    hr = pServer->CreateTags(pNewTags.Out());
    if (FAILED(hr)) return ReportCreateTagsFailure(hr);
    pServer.Release();

    auto reader = std::make_unique<CConfigReader>(m_hFile.Get());
    hr = reader->Init();
    if (FAILED(hr)) return ReportInitFailure(hr);

    // Room for a pair per line from the start: growing by small steps would
    // copy the arrays again and again on a large file.
    CTagValueBuffer buffer(std::max(kMinimumPairCount, reader->CountLineEnds()));
    bool bCancelled = false;
    hr = ScanIntoBuffer(*reader, buffer, pClientTags.Get(), bCancelled);
    if (FAILED(hr) || bCancelled) return hr;
    // The file's text is let go before the tag server holds the tags twice.
    reader.reset();

    hr = BulkLoadFromBuf(pNewTags.Get(), &buffer);
    if (FAILED(hr)) return ReportBulkLoadFailure(hr);

    // The results of the bracket are not the read's: the data is loaded.
    pClientTags->BeginUpdate();
    pClientTags->Update(pNewTags.Get());
    pClientTags->EndUpdate();
    return hr;
}

HRESULT ConfigFile::ScanIntoBuffer(CConfigReader& reader, CTagValueBuffer& buffer, ITags* pClientTags,
                                   bool& bCancelled) {
    try {
        HRESULT hr = S_OK;
        WCHAR token = 0;
        while (token != CConfigReader::TOKEN_END_OF_FILE && SUCCEEDED(hr)) {
            CBstr name;
            CBstr value;
            token = reader.Scan(name.Out(), value.Out());
            switch (token) {
            case CConfigReader::TOKEN_END_OF_FILE:
            case CConfigReader::TOKEN_COMMENT:
            case CConfigReader::TOKEN_IGNORED_LINE:
                break;
            case CConfigReader::TOKEN_TAG_VALUE:
                hr = buffer.Add(name.Get(), value.Get());
                break;
            case CConfigReader::TOKEN_TAG_EMPTY:
                hr = buffer.Add(name.Get(), nullptr);
                break;
            case CConfigReader::TOKEN_TEST_LINE:
                // Test sections speak to a developer's debugger, never to the log.
                OutputDebugStringW(name.IsNull() ? L"" : name.Get());
                break;
            case CConfigReader::TOKEN_VERSION:
                hr = CheckVersion(name, pClientTags, bCancelled);
                if (bCancelled) return S_OK;
                break;
            default:
                m_pLog->LogInfo(L"Unexpected token returned by parser: '%c'", MODULE, token);
                return E_UNEXPECTED;
            }
        }
        return hr;
    } catch (const CConfigReader::parse_exception& e) {
        return ReportParseError(e);
    } catch (const CConfigReader::new_dovel_required_exception& e) {
        return ReportNewerVersionRequired(e);
    } catch (const CConfigReader::unexpected_exception& e) {
        return ReportUnexpectedDirective(e);
    }
}

HRESULT ConfigFile::CheckVersion(const CBstr& fileVersionToken, ITags* pClientTags, bool& bCancelled) {
    CBstr fileVersion(fileVersionToken.Get(), fileVersionToken.Length());
    CBstr dbVersion;
    HRESULT hr = GetConfigDataVersion(pClientTags, dbVersion.Out());
    if (FAILED(hr)) return hr;

    // Whether the versions match is for the client's sinks to judge.
    VARIANT_BOOL cancel = VARIANT_FALSE;
    hr = Fire_QueryLoad(&cancel, fileVersion.Get(), dbVersion.Get());
    if (FAILED(hr)) return hr;
    if (cancel != VARIANT_FALSE) {
        m_pLog->LogInfo(L"The read operation was cancelled by the user.", MODULE);
        bCancelled = true;
        return S_OK;
    }
    m_pLog->LogInfo(L"Reading configuration version %s from file.", MODULE,
                    dbVersion.IsNull() ? L"" : dbVersion.Get());
    return hr;
}

HRESULT ConfigFile::BulkLoadFromBuf(ITags* tags, CTagValueBuffer* buffer) {
    CComPtr<ITagsFromConfig> pLoader;
    HRESULT hr = QueryFrom(tags, IID_ITagsFromConfig, pLoader);
    if (FAILED(hr)) return hr;
    SAFEARRAY* psaIds = nullptr;
    SAFEARRAY* psaValues = nullptr;
    hr = buffer->DetachSafeArrays(&psaIds, &psaValues);
    if (FAILED(hr)) return hr;
    // Both arrays belong to the tag server from here on.
    return pLoader->BulkLoad(&psaIds, &psaValues);
}

HRESULT ConfigFile::ReportNullReadArgument() {
    Quorvex_Utils::CSysErrorMessage message;
    if (const wchar_t* text = message.GetMessageString(HRESULT_CODE(E_POINTER))) m_pLog->LogError(text, MODULE);
    return E_POINTER;
}

HRESULT ConfigFile::ReportNoTagServer(HRESULT hr) {
    const WString hrText = utility::genHResultAsString(hr);
    m_pLog->LogError(L"No tag server interface available from given tag server (%s)", MODULE, hrText.c_str());
    return ReportFailure(hr, CFailureDescription::Text(hrText), IID_IConfigFile);
}

HRESULT ConfigFile::ReportNoClientTags(HRESULT hr) {
    const WString hrText = utility::genHResultAsString(hr);
    m_pLog->LogError(L"Internal error 7: No interface available to given tags collection (%s)", MODULE,
                     hrText.c_str());
    return ReportFailure(hr, CFailureDescription::StringId(IDS_INTERNAL_ERROR_7), IID_IConfigFile);
}

HRESULT ConfigFile::ReportCreateTagsFailure(HRESULT hr) {
    m_pLog->LogError(L"Error creating tags collection. HRESULT(0x%08x)", MODULE, static_cast<unsigned>(hr));
    return ReportFailure(hr, CFailureDescription::SystemMessage(hr), IID_ITags);
}

HRESULT ConfigFile::ReportInitFailure(HRESULT hr) {
    const WString hrText = utility::genHResultAsString(hr);
    m_pLog->LogError(L"Error reading file %s: %s", MODULE, PathText(), hrText.c_str());
    return ReportFailure(hr, CFailureDescription::Text(hrText), GUID_NULL);
}

HRESULT ConfigFile::ReportParseError(const CConfigReader::parse_exception& e) {
    m_pLog->LogError(L"Parse error on line %u: \"%s\", %s", MODULE, static_cast<unsigned>(e.m_nLine),
                     e.m_strLineText.c_str(), e.m_strMessage.c_str());
    wchar_t description[256];
    _snwprintf(description, 256, Quorvex_Utils::GetResourceString(IDS_INVALID_FORMAT_ON_LINE),
               static_cast<unsigned>(e.m_nLine));
    description[255] = L'\0';
    m_pLog->LogError(description, MODULE);
    return ReportFailure(E_FAIL, CFailureDescription::Text(description), IID_IConfigFile);
}

HRESULT ConfigFile::ReportNewerVersionRequired(const CConfigReader::new_dovel_required_exception& e) {
    m_pLog->LogError(L"Line %u: \"%s\", %s", MODULE, static_cast<unsigned>(e.m_nLine), e.m_strLineText.c_str(),
                     e.m_strMessage.c_str());
    const WString description = Quorvex_Utils::GetResourceString(IDS_NEWER_VERSION_REQUIRED);
    m_pLog->LogError(description.c_str(), MODULE);
    return ReportFailure(E_FAIL, CFailureDescription::Text(description), IID_IConfigFile);
}

HRESULT ConfigFile::ReportUnexpectedDirective(const CConfigReader::unexpected_exception& e) {
    m_pLog->LogError(L"Fatal error at line %u: \"%s\", %s", MODULE, static_cast<unsigned>(e.m_nLine),
                     e.m_strLineText.c_str(), e.m_strMessage.c_str());
    return ReportFailure(E_UNEXPECTED, CFailureDescription::HResultText(E_UNEXPECTED), CLSID_ConfigFile);
}

HRESULT ConfigFile::ReportBulkLoadFailure(HRESULT hr) {
    // What the tag server said about its own failure is the better description.
    hr = ReportKeptFailure(hr, CFailureDescription::HResultText(hr), CLSID_ConfigFile);
    m_pLog->LogError(L"Bulk load process failed.", MODULE);
    return hr;
}

HRESULT ConfigFile::ReportReadException(HRESULT hr) {
    // Reporting must not throw in turn: without memory for the texts the
    // bare HRESULT is all the caller gets.
    try {
        const WString hrText = utility::genHResultAsString(hr);
        m_pLog->LogError(L"Read of configuration file %s failed: %s", MODULE, PathText(), hrText.c_str());
        return ReportFailure(hr, CFailureDescription::Text(hrText), CLSID_ConfigFile);
    } catch (...) {
        return hr;
    }
}
