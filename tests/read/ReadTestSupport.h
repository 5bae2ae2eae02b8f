// What the Read tests observe a ConfigFile object by: the log file, the
// debugger output, the calling thread's error information, configuration
// files on disk and an event sink that answers QueryLoad.
#pragma once
#include "Quorvex3.h"
#include "platform/Bstr.h"
#include "platform/ComPtr.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace readtest {

// COM (a single-threaded apartment, as most clients have) for the program, and a log file that the
// logging library is told about before it makes its instance.
class CReadTestEnvironment : public testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
};

struct CLogLine {
    std::wstring level;  // INFO, ERROR, DEBUG8 ...
    std::wstring text;
    bool operator==(const CLogLine& other) const { return level == other.level && text == other.text; }
};
void PrintTo(const CLogLine& line, std::ostream* os);

CLogLine Info(const std::wstring& text);
CLogLine Error(const std::wstring& text);

// The log lines written after construction.
class CLogWatch {
public:
    CLogWatch();
    std::vector<CLogLine> NewLines() const;

private:
    ULONGLONG m_nStart;
};

// Every OutputDebugString message of the process while it lives, as sent.
class CDebugOutputCapture {
public:
    CDebugOutputCapture();
    ~CDebugOutputCapture();
    CDebugOutputCapture(const CDebugOutputCapture&) = delete;
    CDebugOutputCapture& operator=(const CDebugOutputCapture&) = delete;
    std::vector<std::wstring> Messages() const;

private:
    void* m_hHandler;
};

// The calling thread's error information, taken (and so cleared).
struct CErrorSnapshot {
    bool bPresent = false;
    std::wstring strDescription;
    std::wstring strSource;
    GUID guid = GUID_NULL;
};
CErrorSnapshot TakeErrorInfo();
void ClearErrorInfo();

// A configuration file in the temporary folder, deleted at the end.
class CConfigFileOnDisk {
public:
    // The text is written as UTF-16 little-endian with the byte-order mark.
    explicit CConfigFileOnDisk(const std::wstring& text);
    ~CConfigFileOnDisk();
    CConfigFileOnDisk(const CConfigFileOnDisk&) = delete;
    CConfigFileOnDisk& operator=(const CConfigFileOnDisk&) = delete;
    const std::wstring& Path() const { return m_strPath; }
    std::string Bytes() const;

private:
    std::wstring m_strPath;
};

// A new ConfigFile object from the registered server.
CComPtr<IConfigFile> NewConfigFile();

// One call of QueryLoad as the sink saw it.
struct CQueryLoadCall {
    std::wstring fileVersion;
    std::wstring dbVersion;
    bool bCancelOnEntry;
};

// An _IConfigFileEvents sink that records QueryLoad, sets Cancel when told,
// and may leave a code in the call's result.
class CQueryLoadSink : public IDispatch {
public:
    static CComPtr<CQueryLoadSink> Create(bool bCancel, LONG resultCode = 0);
    const std::vector<CQueryLoadCall>& Calls() const { return m_calls; }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override;

private:
    CQueryLoadSink(bool bCancel, LONG resultCode) : m_bCancel(bCancel), m_nResultCode(resultCode) {}
    virtual ~CQueryLoadSink() = default;

    LONG m_nRefs = 0;
    bool m_bCancel;
    LONG m_nResultCode;
    std::vector<CQueryLoadCall> m_calls;
};

// A sink advised on a ConfigFile object until the end of scope.
class CAdvisedSink {
public:
    CAdvisedSink(IConfigFile* file, IDispatch* sink);
    ~CAdvisedSink();
    CAdvisedSink(const CAdvisedSink&) = delete;
    CAdvisedSink& operator=(const CAdvisedSink&) = delete;

private:
    CComPtr<IConnectionPoint> m_pPoint;
    DWORD m_nCookie = 0;
};

}  // namespace readtest
