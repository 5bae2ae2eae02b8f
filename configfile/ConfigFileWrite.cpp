// Writing a tag collection to the open configuration file: the whole text goes
// to a hidden temporary file beside it first, is flushed to disk, and then
// takes the configuration file's place in one rename, so at every instant the
// file on disk holds either its former text or the whole new one.
#include "configfile/ConfigFile.h"

#include "configfile/TagLineFormat.h"
#include "platform/ComPtr.h"
#include "platform/Variant.h"
#include "platform/Win32Error.h"

#include <algorithm>
#include <exception>
#include <initializer_list>
#include <vector>

namespace {

// The text buffer goes to the temporary file whenever it has grown past this
// many code units, so it never holds more than one chunk and one line.
const size_t kFlushThreshold = 2040;
// DELETE lets the open temporary file be renamed; the object keeps that
// handle as its hold on the configuration file afterwards.
const DWORD kTempFileAccess = GENERIC_READ | GENERIC_WRITE | DELETE;
const DWORD kTempFileAttributes = FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN;

// The object an enumerated item holds, or null when it holds none.
IDispatch* ObjectOf(VARIANT& item) {
    return V_VT(&item) == VT_DISPATCH || V_VT(&item) == VT_UNKNOWN ? V_DISPATCH(&item) : nullptr;
}

// Marks the file to be deleted when its last handle closes (a killed
// process's too), or takes the mark back. FILE_FLAG_DELETE_ON_CLOSE could not
// be taken back before the rename.
bool DeleteOnClose(HANDLE hFile, bool bDelete) {
    FILE_DISPOSITION_INFO info = {static_cast<BOOLEAN>(bDelete)};
    return SetFileInformationByHandle(hFile, FileDispositionInfo, &info, sizeof info) != FALSE;
}

// Gives the open file the attributes of another, so the configuration file
// does not become hidden or temporary.
bool CopyAttributes(HANDLE hFrom, HANDLE hTo) {
    BY_HANDLE_FILE_INFORMATION from;
    if (!GetFileInformationByHandle(hFrom, &from)) return false;
    FILE_BASIC_INFO basic = {};  // zero times stay as they are
    basic.FileAttributes = from.dwFileAttributes;
    return SetFileInformationByHandle(hTo, FileBasicInfo, &basic, sizeof basic) != FALSE;
}

// Renames the open file to path, replacing the file there in one step.
bool RenameOverPath(HANDLE hFile, const wchar_t* path) {
    const size_t nameBytes = wcslen(path) * sizeof(wchar_t);
    std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    memcpy(info->FileName, path, nameBytes);
    return SetFileInformationByHandle(hFile, FileRenameInfo, info, static_cast<DWORD>(buffer.size())) != FALSE;
}

// How long a replace waits for other programs that have the configuration
// file open (a reader polling it, a scanner) to let go of it.
const ULONGLONG kHeldElsewhereMilliseconds = 1000;

// Tries again, with short pauses, while the file is refused because another
// program has it open, until the deadline. False with the last refusal's
// error set.
template <class Attempt>
bool RetryWhileHeldElsewhere(ULONGLONG deadline, Attempt attempt) {
    for (DWORD pause = 1;; pause = std::min<DWORD>(2 * pause, 4)) {
        if (attempt()) return true;
        const DWORD error = GetLastError();
        const bool bHeld = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
        if (!bHeld || GetTickCount64() >= deadline) {
            SetLastError(error);
            return false;
        }
        Sleep(pause);
    }
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
    if (SUCCEEDED(hr)) hr = ReplaceConfigFile();
    m_hTempFile.Close();  // deletes the temporary file unless it has become the configuration file
    return FAILED(hr) ? hr : S_OK;
}

HRESULT ConfigFile::CreateTempFile() {
    const WString tempPath = GetTempPathW();
    m_hTempFile.Attach(
        CreateFileW(tempPath.c_str(), kTempFileAccess, 0, nullptr, CREATE_ALWAYS, kTempFileAttributes, nullptr));
    if (m_hTempFile.IsValid() && DeleteOnClose(m_hTempFile.Get(), true)) return S_OK;

    const HRESULT hr = HResultFromLastError();
    if (m_hTempFile.IsValid()) {
        m_hTempFile.Close();
        DeleteFileW(tempPath.c_str());
    }
    return Fail(failure::TempFileOpen, hr, tempPath.c_str());
}

WString ConfigFile::GetTempPathW() const {
    WString path = m_bstrPath.ToString();
    const size_t lastSeparator = path.find_last_of(L"\\/");
    const size_t nameStart = lastSeparator == WString::npos ? 0 : lastSeparator + 1;
    // A path that ends in a separator has no name: the tilde then extends it.
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
    for (;;) {
        item.Clear();
        ULONG nFetched = 0;
        hr = CallTagServer([&] { return pEnum->Next(1, item.Get(), &nFetched); });
        if (FAILED(hr)) return Fail(failure::Enumeration, hr, static_cast<int>(nWritten), static_cast<int>(nCount));
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

// A write that comes back short found the disk full.
HRESULT ConfigFile::WriteConfigBufferToFile(const WString& strBuffer) {
    const DWORD nBytes = static_cast<DWORD>(strBuffer.size() * sizeof(WCHAR));
    DWORD nBytesWritten = 0;
    const bool bWritten = WriteFile(m_hTempFile.Get(), strBuffer.data(), nBytes, &nBytesWritten, nullptr) != FALSE;
    if (bWritten && nBytesWritten == nBytes) return S_OK;
    const HRESULT hr =
        bWritten ? HResultFromWin32Error(ERROR_HANDLE_DISK_FULL) : HResultFromLastError(ERROR_HANDLE_DISK_FULL);
    return Fail(failure::TempFileWrite, hr);
}

// The complete text is made durable before it takes the configuration file's
// place. The object's own handle excludes everyone, and an open file cannot be
// replaced: it is closed for the rename, and the renamed temporary file's
// handle, opened the same way, becomes the object's hold on its file. The
// file's lock keeps other ConfigFile objects out of that instant; another
// program that opens the file in it makes the rename wait.
HRESULT ConfigFile::ReplaceConfigFile() {
    if (!m_bWritable) return Fail(failure::CopyBack, HResultFromWin32Error(ERROR_ACCESS_DENIED), PathText());
    if (!FlushFileBuffers(m_hTempFile.Get()) || !CopyAttributes(m_hFile.Get(), m_hTempFile.Get()))
        return Fail(failure::CopyBack, LastFailure(), PathText());

    const CFileLock::CHold hold(m_fileLock);
    if (!hold.IsHeld() || !DeleteOnClose(m_hTempFile.Get(), false))
        return Fail(failure::CopyBack, LastFailure(), PathText());
    const ULONGLONG deadline = GetTickCount64() + kHeldElsewhereMilliseconds;
    m_hFile.Close();
    if (!RetryWhileHeldElsewhere(deadline, [&] { return RenameOverPath(m_hTempFile.Get(), m_bstrPath.Get()); })) {
        const HRESULT hr = LastFailure();
        DeleteOnClose(m_hTempFile.Get(), true);
        const HRESULT reported = Fail(failure::CopyBack, hr, PathText());
        return HoldFormerFile(deadline) ? reported : LoseFile();
    }
    m_hFile = std::move(m_hTempFile);
    // Flushing the renamed file also makes its new directory entry durable.
    if (!FlushFileBuffers(m_hFile.Get())) return Fail(failure::CopyBack, LastFailure(), PathText());
    return S_OK;
}

// After a failed rename the former file is held again as Open held it. While
// another program still has it open past the deadline, the object holds it
// for reading, sharing it with that program (with its reads, and only if need
// be with its writes) but never with a rename or delete, until the next write
// replaces it.
bool ConfigFile::HoldFormerFile(ULONGLONG deadline) {
    RetryWhileHeldElsewhere(deadline, [&] {
        m_hFile.Attach(CreateFileW(m_bstrPath.Get(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        return IsOpen();
    });
    for (const DWORD share : {FILE_SHARE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE}) {
        if (IsOpen()) break;
        m_hFile.Attach(
            CreateFileW(m_bstrPath.Get(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    return IsOpen();
}

// The file cannot be held in any way (it is gone, or its holder shares no
// reading): the object is closed, and says so with a result of its own.
HRESULT ConfigFile::LoseFile() {
    const HRESULT hr = Fail(failure::FileLost, LastFailure(), PathText());
    LetGo();
    return hr;
}
