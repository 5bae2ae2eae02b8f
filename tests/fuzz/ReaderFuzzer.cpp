// libFuzzer target: arbitrary bytes through Init and Scan to the end of input
// or an exception. Beyond the sanitizers' checks it asserts what must hold for
// any input: known tokens only, non-null strings, progress on every token,
// plausible error lines and messages, and a stable end; and it reads every
// input a second time along the general path only, which must give the same
// tokens, strings, lines, positions and error.
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

const char* MessagePrefix(const std::string& kind) {
    if (kind == "parse") return "Expected: ";
    if (kind == "newer-version") return "Section is not understood";
    if (kind == "unexpected") return "Unexpected directive";
    return nullptr;
}

void CheckReading(const readerpaths::Reading& reading, size_t size) {
    const readerpaths::Ending& ending = reading.ending;
    CScratchFile::Require(ending.kind != "init", "Init failed on a readable file");
    CScratchFile::Require(ending.kind != "end, unsettled", "the end wrote the strings or did not stay the end");
    CScratchFile::Require(reading.steps.size() <= size, "more tokens than characters");
    for (const readerpaths::Step& step : reading.steps) {
        CScratchFile::Require(IsToken(step.token), "unknown token");
        CScratchFile::Require(!step.nameIsNull && !step.valueIsNull, "null string");
        CScratchFile::Require(step.token == CConfigReader::TOKEN_TAG_VALUE || step.value.empty(),
                              "value for a token without one");
    }
    if (const char* prefix = MessagePrefix(ending.kind)) {
        CScratchFile::Require(ending.line >= 1 && ending.line <= size + 1, "error line out of range");
        CScratchFile::Require(StartsWith(ending.message, prefix), "unexpected message");
    }
}

// The fast path must give what the general path gives, step for step.
void CompareThePaths(HANDLE file, const readerpaths::Reading& fast) {
    const std::string difference = readerpaths::FirstDifference(fast, readerpaths::Read(file, readerpaths::Path::GeneralOnly));
    if (difference.empty()) return;
    std::fprintf(stderr, "reader fuzzer: the paths differ at %s\n", difference.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static CScratchFile scratch;
    const HANDLE file = scratch.Replace(data, size);
    const readerpaths::Reading fast = readerpaths::Read(file, readerpaths::Path::All);
    CheckReading(fast, size);
    CompareThePaths(file, fast);
    return 0;
}
