// Writing a tag collection to the open configuration file: the whole text goes
// to a hidden temporary file beside it first, and only a complete text is
// copied over the configuration file, so a failed write leaves it as it was.
#include "configfile/ConfigFile.h"

#include "configfile/TagLineFormat.h"
#include "platform/ComPtr.h"
#include "platform/Variant.h"
#include "platform/Win32Error.h"

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
HRESULT LastFailure() { return HResultFromLastError(ERROR_WRITE_FAULT); }

}  // namespace

STDMETHODIMP ConfigFile::Write(IDispatch* TagCollection) {
    m_pLog->LogInfo(L"Beginning write to configuration file...", MODULE);
    if (!IsOpen()) return Fail(failure::WriteNotOpen, static_cast<HRESULT>(quorvexErrFileNotOpen));

    m_bstrTagID.Attach(SysAllocString(L""));
    m_strTagValue.clear();

    CComPtr<ITags> pTags;
    if (FAILED(QueryInterfaceOf(TagCollection, IID_ITags, pTags))) return Fail(failure::NoClientTags, E_NOINTERFACE);

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
    return Fail(failure::TempFileOpen, HResultFromLastError(), tempPath.c_str());
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
    HRESULT hr = CallTagServer([&] { return pTags->get__NewEnum(pEnum.Out()); });
    if (SUCCEEDED(hr) && !pEnum) hr = E_POINTER;
    if (FAILED(hr)) return Fail(failure::NoEnumerator, hr);

    long nCount = 0;
    hr = CallTagServer([&] { return pTags->get_Count(&nCount); });
    if (FAILED(hr)) return Fail(failure::NoCount, hr);

    CBstr bstrVersion;
    hr = GetConfigDataVersion(pTags, bstrVersion.Out());
    if (FAILED(hr)) return hr;
    m_pLog->LogInfo(L"Writing configuration version %s to file.", MODULE, bstrVersion.IsNull() ? L"" : bstrVersion.Get());

    WString buffer;
    buffer.reserve(2 * kFlushThreshold);
    CTagLineFormat::StartText(buffer, bstrVersion.Get());

    unsigned long nWritten = 0;
    CVariant item;
    WString line;  // emptied for every tag, its memory kept
    for (;;) {
        item.Clear();
        ULONG nFetched = 0;
        hr = CallTagServer([&] { return pEnum->Next(1, item.Get(), &nFetched); });
        if (FAILED(hr)) return Fail(failure::Enumeration, hr, static_cast<int>(nWritten), static_cast<int>(nCount));
        if (hr != S_OK) break;

        hr = GetTagData(ObjectOf(*item.Get()));
        if (FAILED(hr)) return hr;
        line.clear();
        hr = AssembleLine(line);
        if (FAILED(hr)) return hr;
        buffer += line;
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

HRESULT ConfigFile::WriteConfigBufferToFile(const WString& strBuffer) {
    DWORD nBytesWritten = 0;
    if (WriteFile(m_hTempFile.Get(), strBuffer.data(), static_cast<DWORD>(strBuffer.size() * sizeof(WCHAR)),
                  &nBytesWritten, nullptr))
        return S_OK;
    return Fail(failure::TempFileWrite, HResultFromLastError());
}

HRESULT ConfigFile::CopyTempFileOverConfigFile() {
    if (!RewindFile(m_hTempFile.Get()) || !RewindFile(m_hFile.Get()))
        return Fail(failure::CopyBack, LastFailure(), PathText());

    BYTE block[kCopyBlockBytes];
    DWORD nRead = 0;
    do {
        if (!ReadFile(m_hTempFile.Get(), block, kCopyBlockBytes, &nRead, nullptr))
            return Fail(failure::CopyBack, LastFailure(), PathText());
        DWORD nWritten = 0;
        if (nRead > 0 && (!WriteFile(m_hFile.Get(), block, nRead, &nWritten, nullptr) || nWritten != nRead))
            return Fail(failure::CopyBack, LastFailure(), PathText());
    } while (nRead == kCopyBlockBytes);

    // Cut whatever the former contents had beyond the new text, and make a
    // success mean that the bytes are on disk.
    if (!SetEndOfFile(m_hFile.Get()) || !FlushFileBuffers(m_hFile.Get()))
        return Fail(failure::CopyBack, LastFailure(), PathText());
    return S_OK;
}
