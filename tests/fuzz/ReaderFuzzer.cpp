// libFuzzer target: arbitrary bytes through Init and Scan to the end of input
// or an exception. Beyond the sanitizers' checks it asserts what must hold for
// any input: known tokens only, non-null strings, progress on every token,
// plausible error lines and messages, and a stable end; and that reading along
// the general path only gives the same tokens, strings, lines, positions and
// error as the fast path for the usual tag assignment.
#include "platform/Bstr.h"
#include "platform/FileHandle.h"
#include "reader/ConfigReader.h"
#include "tests/reader/ReaderPaths.h"
#include "tests/support/TempFile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

namespace {

// One scratch file for the whole run, unlinked at once so that nothing is
// left behind; each input replaces its contents.
class CScratchFile {
public:
    CScratchFile() {
        const WString path = testsupport::CTempFile::UniquePath();
        m_file.Attach(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        Require(m_file.IsValid(), "cannot create the scratch file");
        DeleteFileW(path.c_str());
    }

    HANDLE Replace(const std::uint8_t* data, size_t size) {
        DWORD written = 0;
        Require(SetFilePointer(m_file.Get(), 0, nullptr, FILE_BEGIN) == 0, "seek");
        Require(SetEndOfFile(m_file.Get()), "truncate");
        Require(WriteFile(m_file.Get(), data, static_cast<DWORD>(size), &written, nullptr) && written == size, "write");
        return m_file.Get();
    }

    static void Require(bool condition, const char* what) {
        if (!condition) {
            std::fprintf(stderr, "reader fuzzer: %s\n", what);
            std::abort();
        }
    }

private:
    CFileHandle m_file;
};

bool IsToken(WCHAR token) {
    const WCHAR tokens[] = {CConfigReader::TOKEN_VERSION,     CConfigReader::TOKEN_TAG_VALUE,
                            CConfigReader::TOKEN_TAG_EMPTY,   CConfigReader::TOKEN_COMMENT,
                            CConfigReader::TOKEN_TEST_LINE,   CConfigReader::TOKEN_IGNORED_LINE};
    return std::find(std::begin(tokens), std::end(tokens), token) != std::end(tokens);
}

bool StartsWith(const WString& text, const char* prefix) {
    const WString wide(prefix, prefix + std::strlen(prefix));
    return text.compare(0, wide.size(), wide) == 0;
}

template <class E>
void CheckError(const E& e, size_t size, const char* expectedPrefix) {
    CScratchFile::Require(e.m_nLine >= 1 && e.m_nLine <= size + 1, "error line out of range");
    CScratchFile::Require(StartsWith(e.m_strMessage, expectedPrefix), "unexpected message");
}

void ScanToTheEnd(HANDLE file, size_t size) {
    CConfigReader reader(file);
    CScratchFile::Require(SUCCEEDED(reader.Init()), "Init failed on a readable file");
    size_t tokens = 0;
    try {
        for (;;) {
            CBstr name, value;
            const WCHAR token = reader.Scan(name.Out(), value.Out());
            if (token == CConfigReader::TOKEN_END_OF_FILE) {
                CScratchFile::Require(name.IsNull() && value.IsNull(), "strings written at the end");
                CScratchFile::Require(reader.Scan(name.Out(), value.Out()) == token, "end not stable");
                break;
            }
            CScratchFile::Require(IsToken(token), "unknown token");
            CScratchFile::Require(!name.IsNull() && !value.IsNull(), "null string");
            CScratchFile::Require(token == CConfigReader::TOKEN_TAG_VALUE || value.Length() == 0,
                                  "value for a token without one");
            CScratchFile::Require(++tokens <= size, "more tokens than characters");
        }
    } catch (const CConfigReader::parse_exception& e) {
        CheckError(e, size, "Expected: ");
    } catch (const CConfigReader::new_dovel_required_exception& e) {
        CheckError(e, size, "Section is not understood");
    } catch (const CConfigReader::unexpected_exception& e) {
        CheckError(e, size, "Unexpected directive");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static CScratchFile scratch;
    const HANDLE file = scratch.Replace(data, size);
    ScanToTheEnd(file, size);
    const std::string difference = readerpaths::CompareBothWays(file);
    if (!difference.empty()) std::fprintf(stderr, "reader fuzzer: the paths part at %s\n", difference.c_str());
    CScratchFile::Require(difference.empty(), "the fast path differs from the general path");
    return 0;
}
