// Read of files with more pairs than the pair buffer first holds: every tag
// arrives in order, whatever ends the lines.
#include "ReadFixture.h"

#include <cwchar>

namespace readtest {
namespace {

// Past the buffer's first size by a few of its growth steps.
constexpr ULONG kManyTags = 10000 + 3 * 500 + 7;

std::wstring ManyTagsId(ULONG i) {
    wchar_t id[24];
    std::swprintf(id, 24, L"%04lX.%04lX.0000.0001", i >> 8, i & 0xFF);
    return id;
}

using ReadManyTags = ReadFixture;

TEST_F(ReadManyTags, LoadsEveryTagInOrder) {
    struct Case {
        const char* name;
        const wchar_t* lineEnd;
        bool bEndAfterLast;
    };
    const Case cases[] = {{"CR LF", L"\r\n", true}, {"CR alone, none after the last tag", L"\r", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring text = std::wstring(L"1.0.0") + c.lineEnd;
        std::vector<doubles::TagRecord> expected;
        for (ULONG i = 0; i < kManyTags; ++i) {
            const std::wstring id = ManyTagsId(i);
            const std::wstring value = L"v" + std::to_wstring(i);
            text += i % 3 ? id + L" = \"" + value + L"\"" : id + L" =";
            if (i + 1 < kManyTags || c.bEndAfterLast) text += c.lineEnd;
            expected.push_back(i % 3 ? Text(id.c_str(), value.c_str()) : NoValue(id.c_str()));
        }
        CComPtr<ITagServer> server = NewReferenceServer();
        CComPtr<ITags> client = NewReferenceCollection(server.Get());
        CConfigFileOnDisk file(text);
        OpenReadOnly(file.Path());
        ASSERT_EQ(S_OK, Read(server.Get(), client.Get()));
        EXPECT_EQ(expected, Contents(client.Get()));
        m_pFile->Close();
    }
}

}  // namespace
}  // namespace readtest
