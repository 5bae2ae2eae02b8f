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

    const bool bReadOnly = ReadOnly != 0;
    // Read-only opens share with other readers; a read-write open excludes
    // everyone and creates a missing file.
    m_hFile.Attach(CreateFileW(m_bstrPath.Get(), bReadOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
                               bReadOnly ? FILE_SHARE_READ : 0, nullptr, bReadOnly ? OPEN_EXISTING : OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (IsOpen()) return S_OK;

    // A failure without an error code is reported as the code 0 it is.
    const HRESULT hr = Fail(failure::OpenFailed, HResultFromLastError(NO_ERROR), PathText());
    m_bstrPath.Attach(nullptr);
    return hr;
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
