// What Quorvex3 uses of the shared logging and version library (QuorvexLog.dll).
#pragma once
#include <windows.h>

#include <exception>
#include <string>

#ifdef QUORVEX_LOG_BUILD
#define QUORVEX_LOG_API __declspec(dllexport)
#else
#define QUORVEX_LOG_API __declspec(dllimport)
#endif

namespace utilities {

class QUORVEX_LOG_API CLog {
public:
    // The process-wide log, or null when it is unavailable.
    static CLog* GetInstance();
    // The HRESULT a component fails its creation with when GetInstance gives null.
    static long InitError;

    class QUORVEX_LOG_API log_exception : public std::exception {
    public:
        explicit log_exception(long code);
        log_exception(const log_exception& other);
        virtual ~log_exception();
        long m_nCode;
    };

    // printf-style wide formats ("%s" is a wide string). The two-argument forms
    // log a ready text as it stands: no conversion in it is read.
    long LogInfo(const wchar_t* text, const wchar_t* source);
    long LogInfo(const wchar_t* format, const wchar_t* source, ...);
    long LogError(const wchar_t* text, const wchar_t* source);
    long LogError(const wchar_t* format, const wchar_t* source, ...);
    long LogDebug(long level, const wchar_t* text, const wchar_t* source);
    long LogDebug(long level, const wchar_t* format, const wchar_t* source, ...);

private:
    CLog();
    CLog(const CLog&) = delete;
    CLog& operator=(const CLog&) = delete;
    ~CLog();
    struct Impl;
    Impl* m_pImpl;
};

}  // namespace utilities

namespace utility {

// "0x%08X" and the system's message text for hr.
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
    // The fixed version field as dotted text, such as 3.10.0.1.
    std::wstring getVersionInfoFixedValue(eFIXED_VER_INFO field) const;

private:
    HMODULE m_hModule;
};

}  // namespace utility
