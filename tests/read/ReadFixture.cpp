#include "ReadFixture.h"

#include "platform/CriticalSection.h"
#include "platform/Variant.h"

#include <algorithm>

namespace readtest {
namespace {

// Sinks are advised through the type library, which Wine finds only under locale 0.
class CReadTestEnvironment : public testsupport::CComTestEnvironment {
public:
    void SetUp() override {
        CComTestEnvironment::SetUp();
        m_pEntry = std::make_unique<testsupport::CNeutralLocaleTypeLibEntry>(LIBID_Quorvex3);
    }
    void TearDown() override {
        m_pEntry.reset();
        CComTestEnvironment::TearDown();
    }

private:
    std::unique_ptr<testsupport::CNeutralLocaleTypeLibEntry> m_pEntry;
};
testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new CReadTestEnvironment);

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
    const int length = std::max(0, static_cast<int>(record.ExceptionInformation[0]) - 1);
    const void* text = reinterpret_cast<const void*>(record.ExceptionInformation[1]);
    std::wstring message;
    if (code == kPrintWide) {
        message.assign(static_cast<const wchar_t*>(text), length);
    } else if (length > 0) {
        message.resize(MultiByteToWideChar(CP_ACP, 0, static_cast<const char*>(text), length, nullptr, 0));
        MultiByteToWideChar(CP_ACP, 0, static_cast<const char*>(text), length, &message[0],
                            static_cast<int>(message.size()));
    }
    CCriticalSectionLock lock(g_captureLock);
    g_messages.push_back(std::move(message));
    // Handled: a system that raised the wide form does not repeat it as 8-bit text.
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

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

CConfigFileOnDisk::CConfigFileOnDisk(const std::wstring& text) {
    const std::wstring content = L"\xFEFF" + text;
    EXPECT_TRUE(testsupport::WriteBytes(
        m_strPath, std::string(reinterpret_cast<const char*>(content.data()), content.size() * sizeof(wchar_t))));
}

CComPtr<CRecordingSink> QueryLoadSink(bool bCancel, HRESULT hrResult) {
    CComPtr<CRecordingSink> sink = CRecordingSink::Create(DIID__IConfigFileEvents);
    sink->OnCall(testsupport::Answer(bCancel, hrResult));
    return sink;
}

std::wstring SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    return text;
}

doubles::TagRecord Text(const wchar_t* id, const wchar_t* text) { return {id, VT_BSTR, text}; }
doubles::TagRecord NoValue(const wchar_t* id) { return {id, VT_EMPTY, L""}; }

}  // namespace readtest
