#include "WriteTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace writetest {

std::wstring CLogFile::s_strPath;

std::string Utf16Bytes(const std::wstring& text) {
    std::string bytes;
    for (wchar_t ch : text) {
        bytes.push_back(static_cast<char>(ch & 0xFF));
        bytes.push_back(static_cast<char>((ch >> 8) & 0xFF));
    }
    return bytes;
}

std::string FileBytes(const std::wstring& version, const std::vector<std::wstring>& lines) {
    std::wstring text = L"\xFEFF" + version + L"\r\n";
    for (const std::wstring& line : lines) text += line + L"\r\n";
    return Utf16Bytes(text);
}

void CLogFile::UseFor(const std::wstring& path) {
    s_strPath = path;
    SetEnvironmentVariableW(L"QUORVEX_LOG", path.c_str());
}

void CLogFile::Mark() { m_nOffset = testsupport::ReadBytes(s_strPath).size(); }

std::vector<std::wstring> CLogFile::Since() const {
    const std::string all = testsupport::ReadBytes(s_strPath);
    const std::string added = all.size() > m_nOffset ? all.substr(m_nOffset) : std::string();
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < added.size()) {
        size_t end = added.find('\n', start);
        if (end == std::string::npos) end = added.size();
        std::string line = added.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::wstring wide(line.size(), L'\0');
        wide.resize(MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), &wide[0],
                                        static_cast<int>(wide.size())));
        lines.push_back(wide);
        start = end + 1;
    }
    return lines;
}

CWriteSetup::CWriteSetup(const std::wstring& fileName) : m_folder(L"qvwrite"), m_strPath(m_folder.File(fileName)) {
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_ConfigFile, nullptr, CLSCTX_INPROC_SERVER, IID_IConfigFile,
                                     reinterpret_cast<void**>(config.Out())));
}

HRESULT CWriteSetup::Open(bool readOnly) { return config->Open(CBstr(m_strPath.c_str()), readOnly ? 1 : 0); }

HRESULT CWriteSetup::Write(IDispatch* collection, bool afterUnfetchedFailure) {
    testsupport::ClearErrorInfo();
    if (afterUnfetchedFailure) EXPECT_EQ(E_NOINTERFACE, config->Write(nullptr));
    CLogFile logFile;
    logFile.Mark();
    const HRESULT hr = config->Write(collection);
    log = logFile.Since();
    error = testsupport::TakeErrorInfo();
    return hr;
}

std::vector<std::wstring> CWriteSetup::TildeFiles() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((m_folder.Path() + L"\\~*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do names.push_back(data.cFileName);
    while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

bool HasLineContaining(const std::vector<std::wstring>& lines, const std::wstring& text) {
    for (const std::wstring& line : lines)
        if (line.find(text) != std::wstring::npos) return true;
    return false;
}

namespace {

void** FindImportSlot(HMODULE module, const char* function) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); dll->Name; ++dll) {
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
        for (; name->u1.AddressOfData; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slot->u1.Function);
        }
    }
    return nullptr;
}

}  // namespace

CImportPatch::CImportPatch(const wchar_t* module, const char* function, void* replacement) {
    if (HMODULE loaded = GetModuleHandleW(module)) m_slot = FindImportSlot(loaded, function);
    if (!m_slot) return;
    m_original = *m_slot;
    Store(m_slot, replacement);
}

CImportPatch::~CImportPatch() {
    if (m_slot) Store(m_slot, m_original);
}

void CImportPatch::Store(void** slot, void* value) {
    DWORD protection = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, protection, &protection);
}

}  // namespace writetest
