// The platform calls the core relies on, with the semantics it relies on. The
// same cases run against the Linux stand-in and against Windows (Wine), so a
// difference between the two shows up here rather than deep in the reader.
// Reading, seeking, judging UTF-16 and the SAFEARRAYs of the tag value buffer
// are checked through the reader's and the buffer's own tests, which run on
// both too.
#include "platform/Bstr.h"
#include "platform/FileHandle.h"
#include "tests/support/TempFile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testsupport::CTempFile;

const WCHAR kAbc[] = {'a', 'b', 'c', 0};

TEST(Win32Subset, HresultsAndBstrs) {
    EXPECT_EQ(S_OK, HRESULT_FROM_WIN32(0));
    EXPECT_EQ(static_cast<HRESULT>(0x80070020), HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION));
    const WCHAR withNull[] = {'a', 0, 'b'};
    CBstr s(withNull, 3);
    EXPECT_EQ(3u, SysStringLen(s));  // embedded nulls count by length...
    EXPECT_EQ(6u, SysStringByteLen(s));
    EXPECT_EQ(0, s.Get()[3]);
    EXPECT_EQ(WString(1, 'a'), s.ToString());  // ...but text reads up to the first
    EXPECT_EQ(0u, SysStringLen(nullptr));
    EXPECT_EQ(nullptr, SysAllocString(nullptr));
    CBstr empty(kAbc, 0);
    ASSERT_FALSE(empty.IsNull());
    EXPECT_EQ(0u, empty.Length());
}

TEST(Win32Subset, OpeningFailuresGiveTheWin32Codes) {
    const WString missing = CTempFile::UniquePath();
    const struct {
        WString path;
        DWORD error;
    } cases[] = {
        {missing, ERROR_FILE_NOT_FOUND},
        {missing + WString{'/', 'x'}, ERROR_PATH_NOT_FOUND},
        {missing.substr(0, missing.find_last_of(WString{'/', '\\'})), ERROR_ACCESS_DENIED},  // a folder
    };
    for (const auto& c : cases) {
        CFileHandle file(CreateFileW(c.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_FALSE(file.IsValid());
        EXPECT_EQ(c.error, GetLastError());
    }
}

}  // namespace
