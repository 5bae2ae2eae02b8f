#include "configfile/ConfigFile.h"

#include "configfile/FailureDescription.h"
#include "configfile/QuorvexUtils.h"
#include "platform/ComPtr.h"
#include "platform/Win32Error.h"
#include "server/Resource.h"

#include <new>

const wchar_t* const MODULE = L"Quorvex";

ConfigFile::ConfigFile() : m_bstrPath(L""), m_bstrTagID(L"") {}

ConfigFile::~ConfigFile() = default;

HRESULT WINAPI ConfigFile::UpdateRegistry(BOOL bRegister) {
    return _Module.UpdateRegistryFromResource(IDR_QUORVEX3, bRegister);
}

HRESULT ConfigFile::FinalConstruct() {
    try {
        m_pLog = utilities::CLog::GetInstance();
        if (!m_pLog) throw utilities::CLog::log_exception(utilities::CLog::InitError);
        m_pLog->LogInfo(GetModuleVersion().c_str(), MODULE);
        return S_OK;
    } catch (const utilities::CLog::log_exception& e) {
        return e.m_nCode;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

void ConfigFile::FinalRelease() {
    static_cast<IConfigFile*>(this)->Close();
    if (m_pLog) m_pLog->LogDebug(8, L"Terminated", MODULE);
}

STDMETHODIMP ConfigFile::InterfaceSupportsErrorInfo(REFIID riid) {
    return InlineIsEqualGUID(riid, IID_IConfigFile) ? S_OK : S_FALSE;
}

STDMETHODIMP ConfigFile::Open(BSTR FilePath, long ReadOnly) {
    if (IsOpen()) Close();
    m_bstrPath.Attach(FilePath ? SysAllocString(FilePath) : nullptr);
    m_pLog->LogInfo(L"Opening/Creating configuration file %s", MODULE, PathText());

    m_bWritable = ReadOnly == 0;
    m_hFile.Attach(OpenConfigFile());
    if (IsOpen()) return S_OK;

    // A failure without an error code is reported as the code 0 it is.
    const HRESULT hr = Fail(failure::OpenFailed, HResultFromLastError(NO_ERROR), PathText());
    m_fileLock.Close();
    m_bstrPath.Attach(nullptr);
    return hr;
}

// Read-only opens share with other readers; a read-write open excludes
// everyone and creates a missing file. Under the file's lock, so that it
// never falls in the instant another object replaces the file.
HANDLE ConfigFile::OpenConfigFile() {
    if (!m_fileLock.Create(m_bstrPath.Get())) return INVALID_HANDLE_VALUE;
    const CFileLock::CHold hold(m_fileLock);
    if (!hold.IsHeld()) return INVALID_HANDLE_VALUE;
    return CreateFileW(m_bstrPath.Get(), m_bWritable ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                       m_bWritable ? 0 : FILE_SHARE_READ, nullptr, m_bWritable ? OPEN_ALWAYS : OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

STDMETHODIMP ConfigFile::Close() {
    if (IsOpen()) LetGo();
    return S_OK;
}

void ConfigFile::LetGo() {
    m_hFile.Close();
    m_fileLock.Close();
    m_bstrPath.Attach(SysAllocString(L""));
}

STDMETHODIMP ConfigFile::get_Path(BSTR* pVal) {
    if (!pVal) return E_INVALIDARG;
    BSTR copy = SysAllocStringLen(m_bstrPath.Get(), m_bstrPath.Length());
    if (!copy) return E_OUTOFMEMORY;
    *pVal = copy;
    return S_OK;
}

STDMETHODIMP ConfigFile::get_IsOpen(VARIANT_BOOL* pVal) {
    if (!pVal) return E_INVALIDARG;
    *pVal = IsOpen() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

WString ConfigFile::GetModuleVersion() const {
    try {
        utility::CVersionInfo versionInfo;
        HMODULE hModule = _Module.GetModuleInstance();
        versionInfo.setModule(hModule);
        WString text = versionInfo.getModuleFileName();
        text += L". Ver product info: ";
        text += versionInfo.getVersionInfoFixedValue(utility::eFIXED_PRODUCT_VERSION);
        text += L".  Ver file info: ";
        text += versionInfo.getVersionInfoFixedValue(utility::eFIXED_FILE_VERSION);
        text += L".";
        return text;
    } catch (const std::bad_alloc&) {
        return WString();
    }
}

HRESULT ConfigFile::GetConfigDataVersion(ITags* pTags, BSTR* pbstrVersion) {
    CComPtr<ITagDatabase> pDatabase;
    HRESULT hr = CallTagServer([&] { return pTags->get_Database(pDatabase.Out()); });
    if (SUCCEEDED(hr) && !pDatabase) hr = E_POINTER;
    if (FAILED(hr)) return Fail(failure::NoDatabase, hr);
    hr = CallTagServer([&] { return pDatabase->get_TagSpecVersion(pbstrVersion); });
    if (FAILED(hr)) return Fail(failure::NoTagSpecVersion, hr);
    return S_OK;
}

HRESULT ConfigFile::DescribeFailure(const CFailureRow& row, HRESULT hr, ULONG line) {
    const HRESULT result = row.result ? row.result : hr;
    if (row.description == FailureText::None) return result;
    const CFailureDescription description = CFailureDescription::Of(row, result, line);
    if (row.logsDescription) m_pLog->LogError(description.GetText().c_str(), MODULE);
    if (row.keepsTagServerInfo && utility::testIErrorInfoGenerated()) return result;
    return description.Set(CLSID_ConfigFile, *row.guid, result);
}

void ConfigFile::LogSystemMessage(HRESULT hr) {
    Quorvex_Utils::CSysErrorMessage message;
    if (const wchar_t* text = message.GetMessageString(static_cast<unsigned long>(HRESULT_CODE(hr))))
        m_pLog->LogError(text, MODULE);
}
