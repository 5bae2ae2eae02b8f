// `quorvexcfg write OUT` : JSON Lines of the dump form on standard input
// become a configuration file in exactly the bytes the component writes.
#include "tools/quorvexcfg/QuorvexCfg.h"

#include "tools/quorvexcfg/ConfigTextAssembler.h"
#include "tools/quorvexcfg/JsonLine.h"
#include "platform/Utf8.h"

#include "platform/FileHandle.h"
#include "platform/Win32Error.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace {

bool IsBlank(const std::string& line) { return line.find_first_not_of(" \t\r\n") == std::string::npos; }

// Nothing is created unless the whole input was good, and then in one write.
HRESULT WriteWholeFile(const WString& path, const std::string& bytes) {
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    if (!file.IsValid()) return HResultFromLastError();
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        return HResultFromLastError(ERROR_WRITE_FAULT);
    if (written != bytes.size()) return E_FAIL;
    return S_OK;
}

}  // namespace

int CQuorvexCfg::Write(const std::vector<WString>& operands) {
    if (operands.size() != 1) return Usage(m_err, EXIT_TROUBLE);
    CConfigTextAssembler text;
    CJsonLine record;
    std::string line;
    std::string error;
    for (unsigned long number = 1; std::getline(std::cin, line); ++number) {
        if (IsBlank(line)) continue;
        if (!record.Parse(line, error) || !text.Add(record, error)) {
            m_err << "quorvexcfg: standard input line " << number << ": " << error << "\n";
            return EXIT_REFUSED;
        }
    }
    error = text.Incomplete();
    if (!error.empty()) {
        m_err << "quorvexcfg: standard input: " << error << "\n";
        return EXIT_REFUSED;
    }
    const HRESULT hr = WriteWholeFile(operands[0], text.Bytes());
    if (FAILED(hr)) {
        char code[24];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
        m_err << "quorvexcfg: " << CUtf8::FromUtf16(operands[0]) << ": cannot be written (" << code << ")\n";
        return EXIT_TROUBLE;
    }
    return EXIT_VALID;
}
