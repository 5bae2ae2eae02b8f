// What the Write tests share: a ConfigFile opened on a file in a fresh
// folder, the log lines a call adds, and the bytes of expected file texts.
#pragma once
#include "Quorvex3.h"
#include "TagDoubles.h"
#include "platform/ComPtr.h"
#include "tests/server/ComTestSupport.h"

#include <string>
#include <vector>

namespace writetest {

// The UTF-16LE bytes of the mark, the version line and each line, all ending in CR LF.
std::string FileBytes(const std::wstring& version, const std::vector<std::wstring>& lines);
std::string Utf16Bytes(const std::wstring& text);

// The log file every ConfigFile of this program writes to (set before the first one exists).
class CLogFile {
public:
    static void UseFor(const std::wstring& path);
    // Marks the current end of the log; Since() gives the lines added after it.
    void Mark();
    std::vector<std::wstring> Since() const;

private:
    static std::wstring s_strPath;
    size_t m_nOffset = 0;
};

// A file in a fresh folder and a ConfigFile that opens it.
class CWriteSetup {
public:
    explicit CWriteSetup(const std::wstring& fileName = L"radio.cfg");
    HRESULT Open(bool readOnly = false);
    // Write through the interface, with the log lines and error information it left;
    // optionally after a failed Write whose error information nobody fetched.
    HRESULT Write(IDispatch* collection, bool afterUnfetchedFailure = false);

    const std::wstring& Path() const { return m_strPath; }
    std::wstring Folder() const { return m_folder.Path(); }
    // Names in the folder that begin with "~" (a left-behind temporary file).
    std::vector<std::wstring> TildeFiles() const;
    std::string Bytes() const { return testsupport::ReadBytes(m_strPath); }

    CComPtr<IConfigFile> config;
    std::vector<std::wstring> log;
    testsupport::CErrorSnapshot error;

private:
    testsupport::CTempFolder m_folder;
    std::wstring m_strPath;
};

bool HasLineContaining(const std::vector<std::wstring>& lines, const std::wstring& text);

// Points one entry of a loaded module's import table at a replacement for as
// long as it lives: the platform calls that module makes, with faults injected.
class CImportPatch {
public:
    CImportPatch(const wchar_t* module, const char* function, void* replacement);
    ~CImportPatch();
    CImportPatch(const CImportPatch&) = delete;
    CImportPatch& operator=(const CImportPatch&) = delete;
    bool IsSet() const { return m_slot != nullptr; }

private:
    static void Store(void** slot, void* value);
    void** m_slot = nullptr;
    void* m_original = nullptr;
};

}  // namespace writetest
