// Writing a tag collection to the open configuration file: the whole text goes
// to a hidden temporary file beside it first, and only a complete text is
// copied over the configuration file, so a failed write leaves it as it was.
#include "configfile/ConfigFile.h"

#include "configfile/QuorvexUtils.h"
#include "configfile/TagLineFormat.h"
#include "platform/ComPtr.h"
#include "platform/Variant.h"
#include "server/Resource.h"
#include "server/Win32Error.h"

#include <exception>

namespace {

// The text buffer goes to the temporary file whenever it has grown past this
// many code units, so it never holds more than one chunk and one line.
const size_t kFlushThreshold = 2040;
// The copy back moves the temporary file's bytes in blocks of this size.
const DWORD kCopyBlockBytes = 4096;
// Deleted when its last handle closes, so it never outlives the write.
const DWORD kTempFileFlags = FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN;

// The object an enumerated item holds, or null when it holds none.
IDispatch* ObjectOf(VARIANT& item) {
    return V_VT(&item) == VT_DISPATCH || V_VT(&item) == VT_UNKNOWN ? V_DISPATCH(&item) : nullptr;
}

bool RewindFile(HANDLE hFile) {
    return SetFilePointer(hFile, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

// The HRESULT of the failure the platform just reported; a step that failed
// without an error code counts as a write fault.
HRESULT LastFailure() {
    const DWORD error = GetLastError();
    return HResultFromWin32Error(error != NO_ERROR ? error : ERROR_WRITE_FAULT);
}

}  // namespace

STDMETHODIMP ConfigFile::Write(IDispatch* TagCollection) {
    m_pLog->LogInfo(L"Beginning write to configuration file...", MODULE);
    if (!IsOpen()) return ReportNotOpen(L"Write failed because file has not been opened.");

    m_bstrTagID.Attach(SysAllocString(L""));
    m_strTagValue.clear();

    CComPtr<ITags> pTags;
    if (!TagCollection || FAILED(TagCollection->QueryInterface(IID_ITags, reinterpret_cast<void**>(pTags.Out()))) ||
        !pTags) {
        const WString hrText = utility::genHResultAsString(E_NOINTERFACE);
        m_pLog->LogError(L"Internal error 7: No interface available to given tags collection (%s)", MODULE,
                         hrText.c_str());
        return ReportFailure(E_NOINTERFACE, CFailureDescription::StringId(IDS_INTERNAL_ERROR_7), IID_IConfigFile);
    }

    HRESULT hr = CreateTempFile();
    if (FAILED(hr)) return hr;
    hr = WriteConfigFile(pTags.Get());
    if (SUCCEEDED(hr)) hr = CopyTempFileOverConfigFile();
    m_hTempFile.Close();  // deletes the temporary file
    return FAILED(hr) ? hr : S_OK;
}

HRESULT ConfigFile::CreateTempFile() {
    const WString tempPath = GetTempPathW();
    m_hTempFile.Attach(CreateFileW(tempPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   kTempFileFlags, nullptr));
    if (m_hTempFile.IsValid()) return S_OK;

    const HRESULT hr = HResultFromLastError();
    const WString hrText = utility::genHResultAsString(hr);
    m_pLog->LogError(L"Error opening file %s: %s", MODULE, tempPath.c_str(), hrText.c_str());
    return ReportFailure(hr, CFailureDescription::StringId(IDS_ERROR_OPENING_FILE), GUID_NULL);
}

WString ConfigFile::GetTempPathW() const {
    WString path = m_bstrPath.ToString();
    const size_t lastBackslash = path.rfind(L'\\');
    const size_t nameStart = lastBackslash == WString::npos ? 0 : lastBackslash + 1;
    // A path that ends in a backslash has no name: the tilde then extends it.
    if (nameStart < path.size())
        path[nameStart] = L'~';
    else
        path.push_back(L'~');
    return path;
}

HRESULT ConfigFile::WriteConfigFile(ITags* pTags) {
    try {
        return WriteCollectionText(pTags);
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

HRESULT ConfigFile::WriteCollectionText(ITags* pTags) {
    CComPtr<IEnumVARIANT> pEnum;
    HRESULT hr = pTags->get__NewEnum(pEnum.Out());
    if (SUCCEEDED(hr) && !pEnum) hr = E_POINTER;
    if (FAILED(hr)) {
        const WString hrText = utility::genHResultAsString(hr);
        m_pLog->LogError(L"No enumerator interface available to given tags collection (%s)", MODULE, hrText.c_str());
        return ReportKeptFailure(hr, CFailureDescription::Text(hrText), CLSID_ConfigFile);
    }

    long nCount = 0;
    hr = pTags->get_Count(&nCount);
    if (FAILED(hr)) {
        const WString hrText = utility::genHResultAsString(hr);
        m_pLog->LogError(L"Error getting number of tags in collection. (%s)", MODULE, hrText.c_str());
        return ReportKeptFailure(hr, CFailureDescription::Text(hrText), CLSID_ConfigFile);
    }

    CBstr bstrVersion;
    hr = GetConfigDataVersion(pTags, bstrVersion.Out());
    if (FAILED(hr)) return hr;
    m_pLog->LogInfo(L"Writing configuration version %s to file.", MODULE, bstrVersion.IsNull() ? L"" : bstrVersion.Get());

    WString buffer;
    buffer.reserve(2 * kFlushThreshold);
    CTagLineFormat::StartText(buffer, bstrVersion.Get());

    unsigned long nWritten = 0;
    CVariant item;
    for (;;) {
        item.Clear();
        ULONG nFetched = 0;
        hr = pEnum->Next(1, item.Get(), &nFetched);
        if (FAILED(hr)) return ReportEnumerationFailure(hr, nWritten, nCount);
        if (hr != S_OK) break;

        hr = GetTagData(ObjectOf(*item.Get()));
        if (FAILED(hr)) return hr;
        hr = AssembleLine(buffer);  // a failure abandons the buffer
        if (FAILED(hr)) return hr;
        CTagLineFormat::AppendLineEnd(buffer);
        if (buffer.size() > kFlushThreshold) {
            hr = WriteConfigBufferToFile(buffer);
            if (FAILED(hr)) return hr;
            buffer.clear();
        }
        ++nWritten;
    }
    if (!buffer.empty()) {
        hr = WriteConfigBufferToFile(buffer);
        if (FAILED(hr)) return hr;
    }
    m_pLog->LogInfo(L"Finished writing to config file.  Total number of Tags written: %u", MODULE, nWritten);
    return S_OK;
}

HRESULT ConfigFile::ReportEnumerationFailure(HRESULT hr, unsigned long nWritten, long nCount) {
    const WString hrText = utility::genHResultAsString(hr);
    m_pLog->LogError(L"Failed to enumerate all tag objects in collection. %d out of %d processed. %s", MODULE,
                     static_cast<int>(nWritten), static_cast<int>(nCount), hrText.c_str());
    return ReportKeptFailure(hr, CFailureDescription::ResourceString(IDS_NOT_ALL_TAGS_USED), CLSID_ConfigFile);
}

HRESULT ConfigFile::WriteConfigBufferToFile(const WString& strBuffer) {
    DWORD nBytesWritten = 0;
    if (WriteFile(m_hTempFile.Get(), strBuffer.data(), static_cast<DWORD>(strBuffer.size() * sizeof(WCHAR)),
                  &nBytesWritten, nullptr))
        return S_OK;
    const HRESULT hr = HResultFromLastError();
    LogSystemMessage(hr);
    return hr;
}

HRESULT ConfigFile::CopyTempFileOverConfigFile() {
    if (!RewindFile(m_hTempFile.Get()) || !RewindFile(m_hFile.Get())) return ReportCopyBackFailure(LastFailure());

    BYTE block[kCopyBlockBytes];
    DWORD nRead = 0;
    do {
        if (!ReadFile(m_hTempFile.Get(), block, kCopyBlockBytes, &nRead, nullptr))
            return ReportCopyBackFailure(LastFailure());
        DWORD nWritten = 0;
        if (nRead > 0 && (!WriteFile(m_hFile.Get(), block, nRead, &nWritten, nullptr) || nWritten != nRead))
            return ReportCopyBackFailure(LastFailure());
    } while (nRead == kCopyBlockBytes);

    // Cut whatever the former contents had beyond the new text, and make a
    // success mean that the bytes are on disk.
    if (!SetEndOfFile(m_hFile.Get()) || !FlushFileBuffers(m_hFile.Get())) return ReportCopyBackFailure(LastFailure());
    return S_OK;
}

HRESULT ConfigFile::ReportCopyBackFailure(HRESULT hr) {
    const WString hrText = utility::genHResultAsString(hr);
    m_pLog->LogError(L"Error writing configuration file %s: %s", MODULE, PathText(), hrText.c_str());
    return ReportFailure(hr, CFailureDescription::Text(hrText), GUID_NULL);
}

void ConfigFile::LogSystemMessage(HRESULT hr) {
    Quorvex_Utils::CSysErrorMessage message;
    if (const wchar_t* text = message.GetMessageString(static_cast<unsigned long>(hr) & 0xFFFF))
        m_pLog->LogError(text, MODULE);
}
