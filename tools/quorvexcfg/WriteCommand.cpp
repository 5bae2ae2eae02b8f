// `quorvexcfg write OUT` : JSON Lines of the dump form on standard input
// become a configuration file in exactly the bytes the component writes.
#include "tools/quorvexcfg/QuorvexCfg.h"

#include "tools/quorvexcfg/ConfigTextAssembler.h"
#include "tools/quorvexcfg/FileBytes.h"
#include "tools/quorvexcfg/JsonLine.h"
#include "platform/Utf8.h"

#include <iostream>
#include <string>

namespace {

bool IsBlank(const std::string& line) { return line.find_first_not_of(" \t\r\n") == std::string::npos; }

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
    const HRESULT hr = CFileBytes::Write(operands[0], text.Bytes());
    if (FAILED(hr)) {
        m_err << "quorvexcfg: " << CUtf8::FromUtf16(operands[0]) << ": " << DescribeFailure(hr) << "\n";
        return EXIT_TROUBLE;
    }
    return EXIT_VALID;
}
