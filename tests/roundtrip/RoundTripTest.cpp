// Collections of the reference tag server written by ConfigFile and read back
// through it into a fresh collection: every tag must return, in order, with
// its text, and a tag without a value must stay without.
// The collections are random from a printed seed; QUORVEX_ROUNDTRIP_SEED
// replays one. Then every UTF-16 code unit in a value, in files that
// every_character.py compares with the bytes it expects.
#include "Quorvex3.h"
#include "TagServer.h"
#include "platform/CharClass.h"
#include "platform/Variant.h"
#include "tests/support/ComTestSupport.h"
#include "tests/support/ReferenceTagServer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <iostream>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using doubles::TagRecord;
using testsupport::Contents;
using testsupport::CTempFolder;
using testsupport::NewReferenceCollection;
using testsupport::NewReferenceServer;

testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new testsupport::CComTestEnvironment);

uint32_t Seed() {
    wchar_t text[32] = {};
    const DWORD length = GetEnvironmentVariableW(L"QUORVEX_ROUNDTRIP_SEED", text, 32);
    return length > 0 && length < 32 ? static_cast<uint32_t>(wcstoul(text, nullptr, 0)) : 20240611u;
}

class CTagGenerator {
public:
    explicit CTagGenerator(uint32_t seed) : m_random(seed) {}

    int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

    // Four groups of hex digits, each of a random length and letter case,
    // different from every identifier made before.
    std::wstring NewId() {
        for (;;) {
            std::wstring id;
            for (int group = 0; group < 4; ++group) {
                if (group) id += L'.';
                for (int n = Between(1, 8); n > 0; --n) {
                    const wchar_t digit = L"0123456789abcdef"[Between(0, 15)];
                    id += Between(0, 1) ? static_cast<wchar_t>(towupper(digit)) : digit;
                }
            }
            if (m_ids.insert(id).second) return id;
        }
    }

    // A new tag with a value: text most of the time, now and then an empty
    // text or no value at all.
    TagRecord NewTag() {
        const std::wstring id = NewId();
        if (Between(0, 9) == 0) return {id, VT_EMPTY, L""};
        return {id, VT_BSTR, Between(0, 9) ? Text() : std::wstring()};
    }

private:
    // Mostly short, now and then longer than a write's buffer.
    std::wstring Text() {
        std::wstring text;
        for (int n = Between(0, 9) ? Between(1, 24) : Between(200, 3000); n > 0; --n) {
            const int kind = Between(0, 9);
            if (kind < 5) {
                text += static_cast<wchar_t>(Between(0x20, 0x7E));
            } else if (kind < 7) {
                text += L"\t\r\n\"\\"[Between(0, 4)];
            } else if (kind < 9) {
                text += NonAsciiCharacter();
            } else {
                const int point = Between(0x10000, 0x10FFFF) - 0x10000;
                text += static_cast<wchar_t>(0xD800 + (point >> 10));
                text += static_cast<wchar_t>(0xDC00 + (point & 0x3FF));
            }
        }
        return text;
    }

    // Any character of the basic plane beyond ASCII that the platform does
    // not class as a control character (those take the \x form).
    wchar_t NonAsciiCharacter() {
        for (;;) {
            const wchar_t ch = static_cast<wchar_t>(Between(0xA0, 0xFFFD));
            if ((ch < 0xD800 || ch > 0xDFFF) && !CCharClass::IsCntrl(ch)) return ch;
        }
    }

    std::mt19937 m_random;
    std::set<std::wstring> m_ids;
};

// A ConfigFile, and the reference server that makes the collections it writes and reads.
class RoundTrip : public testing::Test {
protected:
    void SetUp() override {
        m_server = NewReferenceServer();
        ASSERT_TRUE(m_server);
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ConfigFile, nullptr, CLSCTX_INPROC_SERVER, IID_IConfigFile,
                                         reinterpret_cast<void**>(m_config.Out())));
    }

    // Writes the tags to path and reads the file back into m_read; the result
    // of Read, with its error information in m_readError.
    HRESULT WriteAndReadBack(const std::wstring& path, const std::vector<TagRecord>& tags) {
        CComPtr<ITags> source = NewReferenceCollection(m_server.Get());
        for (const TagRecord& record : tags) {
            CVariant value;
            if (record.type == VT_BSTR) {
                V_VT(value.Get()) = VT_BSTR;
                V_BSTR(value.Get()) = SysAllocStringLen(record.text.data(), static_cast<UINT>(record.text.size()));
            }
            CComPtr<ITag> tag;
            EXPECT_EQ(S_OK, source->Add(CBstr(record.id.c_str()), *value.Get(), tag.Out()));
        }
        EXPECT_EQ(S_OK, m_config->Open(CBstr(path.c_str()), 0));
        EXPECT_EQ(S_OK, m_config->Write(source.Get()));
        EXPECT_EQ(S_OK, m_config->Close());
        m_read = NewReferenceCollection(m_server.Get());
        EXPECT_EQ(S_OK, m_config->Open(CBstr(path.c_str()), 1));
        IDispatch* inOut = m_read.Get();
        const HRESULT hr = m_config->Read(m_server.Get(), &inOut);
        m_readError = testsupport::TakeErrorInfo();
        EXPECT_EQ(S_OK, m_config->Close());
        return hr;
    }

    void ExpectReadBack(const std::vector<TagRecord>& tags) {
        const std::vector<TagRecord> actual = Contents(m_read.Get());
        ASSERT_EQ(tags.size(), actual.size());
        for (size_t i = 0; i < tags.size(); ++i) ASSERT_EQ(tags[i], actual[i]) << "tag " << i;
    }

    CComPtr<ITagServer> m_server;
    CComPtr<IConfigFile> m_config;
    CComPtr<ITags> m_read;
    testsupport::CErrorSnapshot m_readError;
};

TEST_F(RoundTrip, RandomCollectionsComeBackTagForTagInOrder) {
    testsupport::SetTagSpecVersion(m_server.Get(), L"4.1.7");
    CTempFolder folder{L"qvrt"};
    const uint32_t seed = Seed();
    std::cout << "round trip seed " << seed << " (set QUORVEX_ROUNDTRIP_SEED to replay)" << std::endl;
    RecordProperty("seed", std::to_string(seed));
    CTagGenerator generate(seed);
    size_t total = 0;
    for (int collection = 0; collection < 12; ++collection) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", collection " + std::to_string(collection));
        std::vector<TagRecord> tags;
        for (int n = generate.Between(1, 300); n > 0; --n) tags.push_back(generate.NewTag());
        ASSERT_EQ(S_OK, WriteAndReadBack(folder.File(L"roundtrip.cfg"), tags));
        ExpectReadBack(tags);
        total += tags.size();
    }
    std::cout << total << " tags written and read back" << std::endl;
}

// The files of every_character.py: every code unit but U+0000 (a value ends
// at its first null) in a value between two letters, a file per 4,096 codes,
// with the high surrogates apart and the controls apart that take the \x form
// (all but TAB, LF and CR), as no reader takes that form back.
struct CharacterFile {
    std::wstring name;
    std::vector<wchar_t> codes;
};

std::vector<CharacterFile> CharacterFiles() {
    std::vector<CharacterFile> files;
    for (const wchar_t* digit = L"0123456789ABCDEF"; *digit; ++digit)
        files.push_back({L"chars-" + std::wstring(1, *digit) + L".cfg", {}});
    files.push_back({L"high-surrogates.cfg", {}});
    files.push_back({L"controls.cfg", {}});
    for (unsigned code = 1; code <= 0xFFFF; ++code) {
        const wchar_t ch = static_cast<wchar_t>(code);
        const bool named = ch == L'\t' || ch == L'\n' || ch == L'\r';
        if (code >= 0xD800 && code < 0xDC00) {
            files[16].codes.push_back(ch);
        } else if (CCharClass::IsCntrl(ch) && !named) {
            files[17].codes.push_back(ch);
        } else {
            files[code >> 12].codes.push_back(ch);
        }
    }
    return files;
}

TEST_F(RoundTrip, EveryCodeUnitComesBackButTheControlsThatTakeTheEscapeNoReaderTakes) {
    testsupport::SetTagSpecVersion(m_server.Get(), L"1.0");
    const std::wstring folder = QUORVEX_EVERY_CHARACTER_DIR;
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    size_t readBack = 0;
    for (const CharacterFile& file : CharacterFiles()) {
        SCOPED_TRACE(file.name);
        std::vector<TagRecord> tags;
        for (const wchar_t ch : file.codes) {
            wchar_t id[16];
            std::swprintf(id, 16, L"0.0.0.%04X", static_cast<unsigned>(ch));
            tags.push_back({id, VT_BSTR, {L'a', ch, L'b'}});
        }
        const HRESULT read = WriteAndReadBack(folder + L"\\" + file.name, tags);
        if (file.name == L"controls.cfg") {
            EXPECT_EQ(E_FAIL, read);
            EXPECT_EQ(L"Invalid file format detected on line 2.", m_readError.strDescription);
            continue;
        }
        ASSERT_EQ(S_OK, read) << m_readError.strDescription;
        ExpectReadBack(tags);
        readBack += tags.size();
    }
    std::cout << readBack << " values written and read back" << std::endl;
}

}  // namespace
