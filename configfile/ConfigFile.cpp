#include "configfile/ConfigFile.h"

#include "platform/ComPtr.h"
#include "server/Resource.h"
#include "server/Win32Error.h"

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

    const bool bReadOnly = ReadOnly != 0;
    // Read-only opens share with other readers; a read-write open excludes
    // everyone and creates a missing file.
    HANDLE hFile = CreateFileW(m_bstrPath.Get(), bReadOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
                               bReadOnly ? FILE_SHARE_READ : 0, nullptr, bReadOnly ? OPEN_EXISTING : OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    m_hFile.Attach(hFile);
    if (IsOpen()) return S_OK;

    const HRESULT hr = HResultFromWin32Error(error);
    const WString hrText = utility::genHResultAsString(hr);
    m_pLog->LogError(L"Error opening file %s: %s", MODULE, PathText(), hrText.c_str());
    m_bstrPath.Attach(nullptr);
    return ReportFailure(hr, CFailureDescription::Text(hrText), GUID_NULL);
}

STDMETHODIMP ConfigFile::Close() {
    if (IsOpen()) {
        m_hFile.Close();
        m_bstrPath.Attach(SysAllocString(L""));
    }
    return S_OK;
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
    HRESULT hr = pTags->get_Database(pDatabase.Out());
    if (SUCCEEDED(hr) && !pDatabase) hr = E_POINTER;
    if (FAILED(hr)) {
        const WString hrText = utility::genHResultAsString(hr);
        m_pLog->LogError(L"Internal error 8: Failed to get database object from tags: %s", MODULE, hrText.c_str());
        return ReportKeptFailure(hr, CFailureDescription::ResourceString(IDS_INTERNAL_ERROR_8), CLSID_ConfigFile);
    }
    hr = pDatabase->get_TagSpecVersion(pbstrVersion);
    if (FAILED(hr)) {
        const WString hrText = utility::genHResultAsString(hr);
        m_pLog->LogError(L"Internal error 9: Failed to get tags version from tag database object: %s", MODULE,
                         hrText.c_str());
        return ReportKeptFailure(hr, CFailureDescription::ResourceString(IDS_INTERNAL_ERROR_9), CLSID_ConfigFile);
    }
    return S_OK;
}

HRESULT ConfigFile::ReportFailure(HRESULT hr, const CFailureDescription& description, REFIID guid) {
    return description.Set(CLSID_ConfigFile, guid, hr);
}

HRESULT ConfigFile::ReportKeptFailure(HRESULT hr, const CFailureDescription& description, REFIID guid) {
    if (utility::testIErrorInfoGenerated()) return hr;
    return ReportFailure(hr, description, guid);
}

HRESULT ConfigFile::ReportNotOpen(const wchar_t* logLine) {
    m_pLog->LogError(logLine, MODULE);
    return ReportFailure(static_cast<HRESULT>(quorvexErrFileNotOpen), CFailureDescription::StringId(IDS_FILE_NOT_OPEN),
                         IID_IConfigFile);
}
