// What Quorvex3 uses of the shared logging and version library (QuorvexLog.dll).
#pragma once
#include <windows.h>

#include <exception>
#include <string>
#include <type_traits>

#ifdef QUORVEX_LOG_BUILD
#define QUORVEX_LOG_API __declspec(dllexport)
#else
#define QUORVEX_LOG_API __declspec(dllimport)
#endif

namespace utilities {

// Every line goes to the debugger output (OutputDebugStringW). Environment
// variables, read when the process-wide instance is created:
//   QUORVEX_LOG        a file that every line is also appended to, as UTF-8
//                      text ending in CR LF, each line with one write under a
//                      lock, so lines of several threads never interleave.
//   QUORVEX_LOG_LEVEL  the most verbose debug level written (a decimal number);
//                      LogDebug lines with a higher level are dropped. Default 8.
// Read on every GetInstance call:
//   QUORVEX_LOG_UNAVAILABLE=1  GetInstance returns null (to exercise a
//                      component's failed-creation path).
// Line format: "2026-12-06 10:00:00.123 INFO  Quorvex  text" (local time;
// the level is INFO, ERROR or DEBUG<n>, padded to five characters).
class QUORVEX_LOG_API CLog {
public:
    // The process-wide log, or null when it is unavailable.
    static CLog* GetInstance();
    // The HRESULT a component fails its creation with when GetInstance gives
    // null: 0x80040A01 (an interface-specific failure of this library).
    static long InitError;

    class QUORVEX_LOG_API log_exception : public std::exception {
    public:
        explicit log_exception(long code);
        log_exception(const log_exception& other);
        virtual ~log_exception();
        long m_nCode;
    };

    // printf-style wide formats with Microsoft semantics ("%s" is a wide
    // string). The forms without arguments log a ready text as it stands: no
    // conversion in it is read. The forms with arguments are templates only so
    // that a call without arguments is not ambiguous; they pass the arguments
    // on unchanged.
    long LogInfo(const wchar_t* text, const wchar_t* source);
    template <class... Args>
    long LogInfo(const wchar_t* format, const wchar_t* source, Args... args) {
        AssertPlainArguments<Args...>();
        return LogInfoFormatted(format, source, args...);
    }
    long LogError(const wchar_t* text, const wchar_t* source);
    template <class... Args>
    long LogError(const wchar_t* format, const wchar_t* source, Args... args) {
        AssertPlainArguments<Args...>();
        return LogErrorFormatted(format, source, args...);
    }
    // Debug lines whose level is above QUORVEX_LOG_LEVEL are dropped.
    long LogDebug(long level, const wchar_t* text, const wchar_t* source);
    template <class... Args>
    long LogDebug(long level, const wchar_t* format, const wchar_t* source, Args... args) {
        AssertPlainArguments<Args...>();
        return LogDebugFormatted(level, format, source, args...);
    }

private:
    template <class... Args>
    static void AssertPlainArguments() {
        static_assert((std::is_scalar<Args>::value && ...),
                      "log arguments pass through '...': numbers, characters and pointers only");
    }
    long LogInfoFormatted(const wchar_t* format, const wchar_t* source, ...);
    long LogErrorFormatted(const wchar_t* format, const wchar_t* source, ...);
    long LogDebugFormatted(long level, const wchar_t* format, const wchar_t* source, ...);

    CLog();
    CLog(const CLog&) = delete;
    CLog& operator=(const CLog&) = delete;
    ~CLog();
    struct Impl;
    Impl* m_pImpl;
};

}  // namespace utilities

namespace utility {

// "0x%08X", a blank and the system's message text for hr (without its
// trailing line break); just the code when the system has no text.
QUORVEX_LOG_API std::wstring genHResultAsString(HRESULT hr);
// True when the calling thread holds error information; it is left in place.
QUORVEX_LOG_API bool testIErrorInfoGenerated();

enum eFIXED_VER_INFO {
    eFIXED_PRODUCT_VERSION = 0,
    eFIXED_FILE_VERSION = 1,
};

class QUORVEX_LOG_API CVersionInfo {
public:
    CVersionInfo();
    virtual ~CVersionInfo();
    void setModule(HMODULE& module);
    std::wstring getModuleFileName() const;
    // The fixed version field of the module's version resource as dotted
    // text, such as 3.10.0.1; empty when the module has no version resource.
    std::wstring getVersionInfoFixedValue(eFIXED_VER_INFO field) const;

private:
    HMODULE m_hModule;
};

}  // namespace utility
