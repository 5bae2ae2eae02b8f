// A ConfigFile object from the registered server and the means to read a
// file into a collection with it, watching the log and error information.
#pragma once
#include "ReadTestSupport.h"
#include "Scenario.h"
#include "TagServer.h"

#include "contracts/Log.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace readtest {

constexpr const wchar_t* kProgId = L"Brenlow.Zandel.Quorvex3.ConfigFile.1";
constexpr const wchar_t* kBeginLine = L"Beginning read of configuration file...";

inline std::wstring HResultText(HRESULT hr) { return utility::genHResultAsString(hr); }

// The system's message text for code, "" when it has none.
std::wstring SystemMessage(DWORD code);

// The reference tag server, created through its registration.
CComPtr<ITagServer> NewReferenceServer();
CComPtr<ITags> NewReferenceCollection(ITagServer* server);
void SetTagSpecVersion(ITagServer* server, const wchar_t* version);
// Every tag of a collection in order, read through its enumerator.
std::vector<doubles::TagRecord> Contents(ITags* tags);

doubles::TagRecord Text(const wchar_t* id, const wchar_t* text);
doubles::TagRecord NoValue(const wchar_t* id);

class ReadFixture : public testing::Test {
protected:
    void SetUp() override {
        m_pFile = NewConfigFile();
        ASSERT_TRUE(m_pFile);
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
