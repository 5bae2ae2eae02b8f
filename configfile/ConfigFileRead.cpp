// Read: loads the open configuration file into the client's tag collection.
// The file is scanned token by token into a buffer of pairs, the client may
// veto the load when the version statement arrives, and the pairs reach the
// client's collection through one bulk load and one bracketed update.
#include "configfile/ConfigFile.h"

#include "platform/ComPtr.h"
#include "reader/ConfigReader.h"
#include "reader/TagValueBuffer.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

// Pairs the buffer holds at least before it first grows.
constexpr ULONG kMinimumPairCount = 10000;

}  // namespace

STDMETHODIMP ConfigFile::Read(IDispatch* TagServer, IDispatch** TagCollection) {
    m_pLog->LogInfo(L"Beginning read of configuration file...", MODULE);
    if (!IsOpen()) return Fail(failure::ReadNotOpen, static_cast<HRESULT>(quorvexErrFileNotOpen));
    if (!TagCollection || !TagServer) return Fail(failure::NullReadArgument, E_POINTER);
    // Nothing thrown may cross the interface: out of memory and anything
    // unforeseen become failures with nothing loaded.
    try {
        return ReadInto(TagServer, *TagCollection);
    } catch (const std::bad_alloc&) {
        return Fail(failure::ReadException, E_OUTOFMEMORY, PathText());
    } catch (...) {
        return Fail(failure::ReadException, E_UNEXPECTED, PathText());
    }
}

HRESULT ConfigFile::ReadInto(IDispatch* pServerObject, IDispatch* pClientObject) {
    CComPtr<ITagServer> pServer;
    HRESULT hr = QueryInterfaceOf(pServerObject, IID_ITagServer, pServer);
    if (FAILED(hr)) return Fail(failure::NoTagServer, hr);
    CComPtr<ITags> pClientTags;
    hr = QueryInterfaceOf(pClientObject, IID_ITags, pClientTags);
    if (FAILED(hr)) return Fail(failure::NoClientTags, hr);

    CComPtr<ITags> pNewTags;
    hr = CallTagServer([&] { return pServer->CreateTags(pNewTags.Out()); });
    if (FAILED(hr)) return Fail(failure::CreateTags, hr, static_cast<unsigned>(hr));
    pServer.Release();

    auto reader = std::make_unique<CConfigReader>(m_hFile.Get());
    hr = reader->Init();
    if (FAILED(hr)) return Fail(failure::ReaderInit, hr, PathText());

    // Room for a pair per line from the start: growing by small steps would
    // copy the arrays again and again on a large file.
    CTagValueBuffer buffer(std::max(kMinimumPairCount, reader->CountLineEnds()));
    bool bCancelled = false;
    hr = ScanIntoBuffer(*reader, buffer, pClientTags.Get(), bCancelled);
    if (FAILED(hr) || bCancelled) return hr;
    // The file's text is let go before the tag server holds the tags twice.
    reader.reset();

    hr = CallTagServer([&] { return BulkLoadFromBuf(pNewTags.Get(), &buffer); });
    if (FAILED(hr)) return Fail(failure::BulkLoad, hr);

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
        return FailAt(failure::ParseError, E_FAIL, e);
    } catch (const CConfigReader::new_dovel_required_exception& e) {
        return FailAt(failure::NewerVersionRequired, E_FAIL, e);
    } catch (const CConfigReader::unexpected_exception& e) {
        return FailAt(failure::UnexpectedDirective, E_UNEXPECTED, e);
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
    HRESULT hr = QueryInterfaceOf(tags, IID_ITagsFromConfig, pLoader);
    if (FAILED(hr)) return hr;
    SAFEARRAY* psaIds = nullptr;
    SAFEARRAY* psaValues = nullptr;
    hr = buffer->DetachSafeArrays(&psaIds, &psaValues);
    if (FAILED(hr)) return hr;
    // Both arrays belong to the tag server from here on.
    return pLoader->BulkLoad(&psaIds, &psaValues);
}
