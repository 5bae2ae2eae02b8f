#include "ReadTestSupport.h"

#include "platform/CriticalSection.h"
#include "platform/FileHandle.h"

#include <cwchar>
#include <ostream>

namespace readtest {
namespace {

std::wstring& LogPath() {
    static std::wstring path;
    return path;
}

std::wstring TempFileName(const wchar_t* prefix) {
    wchar_t folder[MAX_PATH];
    wchar_t file[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, prefix, 0, file);
    return file;
}

std::wstring FromCodePage(UINT codePage, const char* text, int length) {
    if (length <= 0) return std::wstring();
    std::wstring wide(MultiByteToWideChar(codePage, 0, text, length, nullptr, 0), L'\0');
    MultiByteToWideChar(codePage, 0, text, length, &wide[0], static_cast<int>(wide.size()));
    return wide;
}

std::wstring TextOf(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

ULONGLONG FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string ReadFrom(const std::wstring& path, ULONGLONG offset) {
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return std::string();
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    SetFilePointerEx(file.Get(), position, nullptr, FILE_BEGIN);
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    return bytes;
}

// "2026-12-06 10:00:00.123 INFO  Quorvex  text": the level, then the text
// after the source.
CLogLine ParseLogLine(const std::wstring& line) {
    const size_t stampLength = 24;
    const std::wstring source = L" Quorvex  ";
    CLogLine parsed;
    const size_t sourceAt = line.find(source, stampLength);
    if (line.size() < stampLength || sourceAt == std::wstring::npos) {
        parsed.text = line;
        return parsed;
    }
    parsed.level = line.substr(stampLength, sourceAt - stampLength);
    while (!parsed.level.empty() && parsed.level.back() == L' ') parsed.level.pop_back();
    parsed.text = line.substr(sourceAt + source.size());
    return parsed;
}

// Debugger output: the platform raises one of these for every message.
constexpr DWORD kPrintAnsi = 0x40010006;  // DBG_PRINTEXCEPTION_C
constexpr DWORD kPrintWide = 0x4001000A;  // DBG_PRINTEXCEPTION_WIDE_C

CComAutoCriticalSection g_captureLock;
std::vector<std::wstring> g_messages;

LONG CALLBACK CaptureDebugOutput(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    const DWORD code = record.ExceptionCode;
    if ((code != kPrintAnsi && code != kPrintWide) || record.NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
    // The first parameter counts the terminator.
    const int length = static_cast<int>(record.ExceptionInformation[0]) - 1;
    const void* text = reinterpret_cast<const void*>(record.ExceptionInformation[1]);
    std::wstring message = code == kPrintWide
                               ? std::wstring(static_cast<const wchar_t*>(text), length > 0 ? length : 0)
                               : FromCodePage(CP_ACP, static_cast<const char*>(text), length);
    CCriticalSectionLock lock(g_captureLock);
    g_messages.push_back(std::move(message));
    // Handled: a system that raised the wide form does not repeat it as 8-bit text.
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new CReadTestEnvironment);

// Wine's marshaler for interfaces described by a type library looks for the
// library's path under locale 0 only, and this library is registered under
// 0x0409: advising a sink (which marshals it into the global interface table)
// fails there with E_FAIL. While the tests run, the registered path is given
// under locale 0 as well; Windows needs no such entry.
class CNeutralLocaleTypeLibEntry {
public:
    void Add() {
        const std::wstring version = LibraryKey() + L"\\1.0";
        wchar_t path[MAX_PATH] = {};
        LONG size = sizeof path;
        if (RegQueryValueW(HKEY_CLASSES_ROOT, (version + L"\\409\\" + Platform()).c_str(), path, &size) != ERROR_SUCCESS)
            return;
        m_strLocaleKey = version + L"\\0";
        m_strKey = m_strLocaleKey + L"\\" + Platform();
        HKEY key = nullptr;
        DWORD disposition = 0;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, m_strKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            &disposition) != ERROR_SUCCESS)
            return;
        if (disposition == REG_CREATED_NEW_KEY) {
            m_bCreated = true;
            RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                           static_cast<DWORD>((wcslen(path) + 1) * sizeof(wchar_t)));
        }
        RegCloseKey(key);
    }

    void Remove() {
        if (!m_bCreated) return;
        RegDeleteKeyW(HKEY_CLASSES_ROOT, m_strKey.c_str());
        RegDeleteKeyW(HKEY_CLASSES_ROOT, m_strLocaleKey.c_str());  // only when nothing else is under it
        m_bCreated = false;
    }

private:
    static std::wstring LibraryKey() {
        wchar_t libid[40] = {};
        StringFromGUID2(LIBID_Quorvex3, libid, 40);
        return std::wstring(L"TypeLib\\") + libid;
    }
    static std::wstring Platform() { return sizeof(void*) == 8 ? L"win64" : L"win32"; }

    std::wstring m_strLocaleKey;
    std::wstring m_strKey;
    bool m_bCreated = false;
};

CNeutralLocaleTypeLibEntry g_typeLibEntry;

void CReadTestEnvironment::SetUp() {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    LogPath() = TempFileName(L"qlg");
    SetEnvironmentVariableW(L"QUORVEX_LOG", LogPath().c_str());
    g_typeLibEntry.Add();
}

void CReadTestEnvironment::TearDown() {
    g_typeLibEntry.Remove();
    CoUninitialize();
    DeleteFileW(LogPath().c_str());
}

void PrintTo(const CLogLine& line, std::ostream* os) {
    const std::wstring text = line.level + L" " + line.text;
    *os << std::string(text.begin(), text.end());
}

CLogLine Info(const std::wstring& text) { return {L"INFO", text}; }
CLogLine Error(const std::wstring& text) { return {L"ERROR", text}; }

CLogWatch::CLogWatch() : m_nStart(FileSize(LogPath())) {}

std::vector<CLogLine> CLogWatch::NewLines() const {
    const std::string bytes = ReadFrom(LogPath(), m_nStart);
    std::vector<CLogLine> lines;
    size_t begin = 0;
    for (size_t end = bytes.find("\r\n"); end != std::string::npos; end = bytes.find("\r\n", begin)) {
        lines.push_back(ParseLogLine(FromCodePage(CP_UTF8, bytes.data() + begin, static_cast<int>(end - begin))));
        begin = end + 2;
    }
    return lines;
}

CDebugOutputCapture::CDebugOutputCapture() {
    {
        CCriticalSectionLock lock(g_captureLock);
        g_messages.clear();
    }
    m_hHandler = AddVectoredExceptionHandler(1, CaptureDebugOutput);
}

CDebugOutputCapture::~CDebugOutputCapture() { RemoveVectoredExceptionHandler(m_hHandler); }

std::vector<std::wstring> CDebugOutputCapture::Messages() const {
    CCriticalSectionLock lock(g_captureLock);
    return g_messages;
}

CErrorSnapshot TakeErrorInfo() {
    CErrorSnapshot snapshot;
    CComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Out()) != S_OK || !info) return snapshot;
    snapshot.bPresent = true;
    CBstr description, source;
    info->GetDescription(description.Out());
    info->GetSource(source.Out());
    info->GetGUID(&snapshot.guid);
    snapshot.strDescription = description.ToString();
    snapshot.strSource = source.ToString();
    return snapshot;
}

void ClearErrorInfo() { SetErrorInfo(0, nullptr); }

CConfigFileOnDisk::CConfigFileOnDisk(const std::wstring& text) : m_strPath(TempFileName(L"qcf")) {
    const std::wstring content = L"\xFEFF" + text;
    CFileHandle file(CreateFileW(m_strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size() * sizeof(wchar_t)), &written,
                          nullptr));
}

CConfigFileOnDisk::~CConfigFileOnDisk() { DeleteFileW(m_strPath.c_str()); }

std::string CConfigFileOnDisk::Bytes() const { return ReadFrom(m_strPath, 0); }

CComPtr<IConfigFile> NewConfigFile() {
    CComPtr<IConfigFile> file;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_ConfigFile, nullptr, CLSCTX_INPROC_SERVER, IID_IConfigFile,
                                     reinterpret_cast<void**>(file.Out())));
    return file;
}

CComPtr<CQueryLoadSink> CQueryLoadSink::Create(bool bCancel, LONG resultCode) {
    return CComPtr<CQueryLoadSink>(new CQueryLoadSink(bCancel, resultCode));
}

STDMETHODIMP CQueryLoadSink::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) &&
        !IsEqualIID(riid, DIID__IConfigFileEvents))
        return E_NOINTERFACE;
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CQueryLoadSink::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_nRefs)); }

STDMETHODIMP_(ULONG) CQueryLoadSink::Release() {
    const LONG count = InterlockedDecrement(&m_nRefs);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

STDMETHODIMP CQueryLoadSink::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CQueryLoadSink::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                    EXCEPINFO*, UINT*) {
    // QueryLoad(Cancel, FileVersion, DbVersion), arguments last first.
    if (id != 1 || !(flags & DISPATCH_METHOD) || !params || params->cArgs != 3) return DISP_E_MEMBERNOTFOUND;
    VARIANT* args = params->rgvarg;
    if (V_VT(&args[2]) != (VT_BYREF | VT_BOOL) || V_VT(&args[1]) != VT_BSTR || V_VT(&args[0]) != VT_BSTR)
        return DISP_E_TYPEMISMATCH;
    m_calls.push_back({TextOf(V_BSTR(&args[1])), TextOf(V_BSTR(&args[0])), *V_BOOLREF(&args[2]) != 0});
    if (m_bCancel) *V_BOOLREF(&args[2]) = VARIANT_TRUE;
    if (m_nResultCode != 0 && result) {
        V_VT(result) = VT_ERROR;
        V_ERROR(result) = m_nResultCode;
    }
    return S_OK;
}

CAdvisedSink::CAdvisedSink(IConfigFile* file, IDispatch* sink) {
    CComPtr<IConnectionPointContainer> container;
    EXPECT_EQ(S_OK, file->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container.Out())));
    if (!container) return;
    EXPECT_EQ(S_OK, container->FindConnectionPoint(DIID__IConfigFileEvents, m_pPoint.Out()));
    if (!m_pPoint) return;
    EXPECT_EQ(S_OK, m_pPoint->Advise(sink, &m_nCookie));
}

CAdvisedSink::~CAdvisedSink() {
    if (m_pPoint && m_nCookie) m_pPoint->Unadvise(m_nCookie);
}

}  // namespace readtest
