// A ConfigFile object from the registered server and the means to read a
// file into a collection with it, watching the log and the error information.
#pragma once
#include "Quorvex3.h"
#include "TagDoubles.h"

#include "contracts/Log.h"
#include "tests/support/ComTestSupport.h"
#include "tests/support/ConfigFileObject.h"
#include "tests/support/ReferenceTagServer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace readtest {

using namespace testsupport;
using doubles::CScenario;
using doubles::CTagServerDouble;
using doubles::CTagsDouble;
using doubles::Fault;
using doubles::TagRecord;
using Calls = std::vector<std::string>;

constexpr const wchar_t* kProgId = L"Brenlow.Zandel.Quorvex3.ConfigFile.1";
constexpr const wchar_t* kBeginLine = L"Beginning read of configuration file...";
inline const Calls kUpToVersion = {"CreateTags", "get_Database", "get_TagSpecVersion"};

inline std::wstring HResultText(HRESULT hr) { return utility::genHResultAsString(hr); }
inline TagRecord Text(const wchar_t* id, const wchar_t* text) { return {id, VT_BSTR, text}; }
inline TagRecord NoValue(const wchar_t* id) { return {id, VT_EMPTY, L""}; }

// A sink advised on ConfigFile's events that answers QueryLoad with bCancel
// and leaves hrResult in the call's result.
inline CComPtr<CRecordingSink> QueryLoadSink(bool bCancel, HRESULT hrResult = S_OK) {
    CComPtr<CRecordingSink> sink = CRecordingSink::Create(DIID__IConfigFileEvents);
    sink->OnCall(Answer(bCancel, hrResult));
    return sink;
}

class ReadFixture : public testing::Test {
protected:
    void SetUp() override {
        m_pFile = NewConfigFile();
        ASSERT_TRUE(m_pFile);
    }

    // Writes text, as UTF-16LE with the mark, to a file in the test's folder and opens it read-only.
    void OpenReadOnly(const std::wstring& text) {
        m_pFile->Close();
        ASSERT_TRUE(WriteBytes(m_strPath, Utf16FileBytes(text)));
        OpenPath(m_strPath, 1);
    }
    void OpenPath(const std::wstring& path, LONG readOnly) { ASSERT_EQ(S_OK, m_pFile->Open(CBstr(path.c_str()), readOnly)); }

    // Read with the thread's error information cleared first, so that what
    // is found afterwards was set by this call.
    HRESULT Read(IDispatch* server, IDispatch* collection) {
        IDispatch* inOut = collection;
        ClearErrorInfo();
        const HRESULT hr = m_pFile->Read(server, &inOut);
        EXPECT_EQ(collection, inOut) << "Read must never write TagCollection";
        return hr;
    }

    // Fresh doubles: the database at dbVersion, the client holding one tag.
    void StartScenario(const wchar_t* dbVersion) {
        m_pScenario = CScenario::Create();
        m_pScenario->SetTagSpecVersion(dbVersion);
        m_pServer = CTagServerDouble::Create(m_pScenario);
        m_pClient = CTagsDouble::Create(m_pScenario);
        m_pClient->AddText(L"FFFF.0000.0000.0001", L"kept");
    }

    // Sinks are advised through the type library, which Wine finds only under locale 0.
    CNeutralLocaleTypeLibEntry m_typeLibEntry{LIBID_Quorvex3};
    CTempFolder m_folder{L"qcf"};
    std::wstring m_strPath = m_folder.File(L"read.cfg");
    CComPtr<IConfigFile> m_pFile;
    std::shared_ptr<CScenario> m_pScenario;
    CComPtr<CTagServerDouble> m_pServer;
    CComPtr<CTagsDouble> m_pClient;
};

}  // namespace readtest
