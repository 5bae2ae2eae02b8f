// The keys and values registering ConfigFile writes under a classes root.
#pragma once
#include "tests/support/ComTestSupport.h"

#include <gtest/gtest.h>

namespace testsupport {

inline WString ValueOf(HKEY root, const WString& path, const WCHAR* name = nullptr) {
    WString value;
    return ReadString(root, path, name, value) ? value : WString(L"<missing>");
}

// The class and both ProgID keys, with exactly the listed subkeys.
inline void ExpectConfigFileClassKeys(HKEY root, const WString& dll) {
    const WString classKey = L"CLSID\\{A7BB3EBA-C106-41c6-AC07-93578C4C33DF}";
    const WString progId = L"Brenlow.Zandel.Quorvex3.ConfigFile.1";
    const WString versionIndependent = L"Brenlow.Zandel.Quorvex3.ConfigFile";
    for (const WString& key : {progId, versionIndependent}) {
        EXPECT_EQ(L"ConfigFile Class", ValueOf(root, key));
        EXPECT_EQ(std::vector<WString>{L"CLSID"}, SubkeyNames(root, key));
        EXPECT_EQ(L"{A7BB3EBA-C106-41c6-AC07-93578C4C33DF}", ValueOf(root, key + L"\\CLSID"));
    }
    EXPECT_EQ(L"ConfigFile Class", ValueOf(root, classKey));
    EXPECT_EQ((std::vector<WString>{L"InprocServer32", L"ProgID", L"TypeLib", L"VersionIndependentProgID"}),
              SubkeyNames(root, classKey));
    EXPECT_EQ(progId, ValueOf(root, classKey + L"\\ProgID"));
    EXPECT_EQ(versionIndependent, ValueOf(root, classKey + L"\\VersionIndependentProgID"));
    EXPECT_EQ(L"{100EE405-FD8C-47c1-AB05-9560B27631CC}", ValueOf(root, classKey + L"\\TypeLib"));
    EXPECT_EQ((std::vector<WString>{L"", L"ThreadingModel"}), ValueNames(root, classKey + L"\\InprocServer32"));
    EXPECT_EQ(dll, ValueOf(root, classKey + L"\\InprocServer32"));
    EXPECT_EQ(L"both", ValueOf(root, classKey + L"\\InprocServer32", L"ThreadingModel"));
}

}  // namespace testsupport
