#include "contracts/Log.h"

#include "Environment.h"
#include "LogFile.h"
#include "LogLine.h"

#include "platform/CriticalSection.h"

#include <cstdarg>
#include <memory>

namespace utilities {
namespace {

constexpr long kDefaultDebugLevel = 8;

bool LogIsUnavailable() {
    return ReadEnvironment(L"QUORVEX_LOG_UNAVAILABLE") == L"1";
}

SYSTEMTIME Now() {
    SYSTEMTIME time;
    GetLocalTime(&time);
    return time;
}

// The one log, made on first use (the environment is read then) and deleted
// when the DLL unloads. Not a guarded local static: the runtime's lock behind
// one stays behind at every unload.
CComAutoCriticalSection g_instanceLock;
std::unique_ptr<CLog, void (*)(CLog*)> g_instance{nullptr, nullptr};

WString DebugLevelName(long level) {
    return L"DEBUG" + std::to_wstring(level);
}

}  // namespace

long CLog::InitError = static_cast<long>(MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0A01));

struct CLog::Impl {
    Impl()
        : m_file(ReadEnvironment(L"QUORVEX_LOG")),
          m_nMaxDebugLevel(ReadEnvironmentNumber(L"QUORVEX_LOG_LEVEL", kDefaultDebugLevel)) {}

    long Write(const WString& level, const wchar_t* source, const WString& text) {
        const WString line = ComposeLogLine(Now(), level, source, text);
        OutputDebugStringW(line.c_str());
        m_file.Append(line);
        return static_cast<long>(text.size());
    }

    long WriteFormatted(const WString& level, const wchar_t* format, const wchar_t* source, va_list args) {
        return Write(level, source, FormatLogText(format, args));
    }

    bool Writes(long debugLevel) const { return debugLevel <= m_nMaxDebugLevel; }

    CLogFile m_file;
    long m_nMaxDebugLevel;
};

CLog* CLog::GetInstance() {
    if (LogIsUnavailable()) return nullptr;
    CCriticalSectionLock lock(g_instanceLock);
    if (!g_instance) g_instance = {new CLog, [](CLog* log) { delete log; }};
    return g_instance.get();
}

CLog::CLog() : m_pImpl(new Impl) {}

CLog::~CLog() { delete m_pImpl; }

long CLog::LogInfo(const wchar_t* text, const wchar_t* source) {
    return m_pImpl->Write(L"INFO", source, text ? text : L"");
}

long CLog::LogError(const wchar_t* text, const wchar_t* source) {
    return m_pImpl->Write(L"ERROR", source, text ? text : L"");
}

long CLog::LogDebug(long level, const wchar_t* text, const wchar_t* source) {
    if (!m_pImpl->Writes(level)) return 0;
    return m_pImpl->Write(DebugLevelName(level), source, text ? text : L"");
}

long CLog::LogInfoFormatted(const wchar_t* format, const wchar_t* source, ...) {
    va_list args;
    va_start(args, source);
    const long result = m_pImpl->WriteFormatted(L"INFO", format, source, args);
    va_end(args);
    return result;
}

long CLog::LogErrorFormatted(const wchar_t* format, const wchar_t* source, ...) {
    va_list args;
    va_start(args, source);
    const long result = m_pImpl->WriteFormatted(L"ERROR", format, source, args);
    va_end(args);
    return result;
}

long CLog::LogDebugFormatted(long level, const wchar_t* format, const wchar_t* source, ...) {
    if (!m_pImpl->Writes(level)) return 0;
    va_list args;
    va_start(args, source);
    const long result = m_pImpl->WriteFormatted(DebugLevelName(level), format, source, args);
    va_end(args);
    return result;
}

CLog::log_exception::log_exception(long code) : m_nCode(code) {}

CLog::log_exception::log_exception(const log_exception& other)
    : std::exception(other), m_nCode(other.m_nCode) {}

CLog::log_exception::~log_exception() = default;

}  // namespace utilities
