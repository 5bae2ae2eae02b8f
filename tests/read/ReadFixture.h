// A ConfigFile object from the registered server and the means to read a
// file into a collection with it, watching the log, the debugger output and
// the error information.
#pragma once
#include "Quorvex3.h"
#include "Scenario.h"
#include "TagServer.h"

#include "contracts/Log.h"
#include "platform/Bstr.h"
#include "tests/support/ComTestSupport.h"
#include "tests/support/ReferenceTagServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace readtest {

using testsupport::CAdvisedSink;
using testsupport::CErrorSnapshot;
using testsupport::CLogLine;
using testsupport::CLogWatch;
using testsupport::ClearErrorInfo;
using testsupport::CRecordingSink;
using testsupport::Error;
using testsupport::Contents;
using testsupport::Info;
using testsupport::NewReferenceCollection;
using testsupport::NewReferenceServer;
using testsupport::SetTagSpecVersion;
using testsupport::TakeErrorInfo;

constexpr const wchar_t* kProgId = L"Brenlow.Zandel.Quorvex3.ConfigFile.1";
constexpr const wchar_t* kBeginLine = L"Beginning read of configuration file...";

inline std::wstring HResultText(HRESULT hr) { return utility::genHResultAsString(hr); }

// The system's message text for code, "" when it has none.
std::wstring SystemMessage(DWORD code);

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

// A configuration file in a fresh folder: the text as UTF-16LE with the mark.
class CConfigFileOnDisk {
public:
    explicit CConfigFileOnDisk(const std::wstring& text);
    const std::wstring& Path() const { return m_strPath; }

private:
    testsupport::CTempFolder m_folder{L"qcf"};
    std::wstring m_strPath = m_folder.File(L"read.cfg");
};

// A sink advised on ConfigFile's events that answers QueryLoad with bCancel
// and leaves hrResult in the call's result.
CComPtr<CRecordingSink> QueryLoadSink(bool bCancel, HRESULT hrResult = S_OK);

doubles::TagRecord Text(const wchar_t* id, const wchar_t* text);
doubles::TagRecord NoValue(const wchar_t* id);

class ReadFixture : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ConfigFile, nullptr, CLSCTX_INPROC_SERVER, IID_IConfigFile,
                                         reinterpret_cast<void**>(m_pFile.Out())));
    }

    void OpenReadOnly(const std::wstring& path) {
        CBstr bstrPath(path.c_str());
        ASSERT_EQ(S_OK, m_pFile->Open(bstrPath, 1));
    }

    // Read with the thread's error information cleared first, so that what
    // is found afterwards was set by this call.
    HRESULT Read(IDispatch* server, IDispatch* collection) {
        IDispatch* inOut = collection;
        ClearErrorInfo();
        const HRESULT hr = m_pFile->Read(server, &inOut);
        EXPECT_EQ(collection, inOut) << "Read must never write TagCollection";
        return hr;
    }

    CComPtr<IConfigFile> m_pFile;
};

}  // namespace readtest
