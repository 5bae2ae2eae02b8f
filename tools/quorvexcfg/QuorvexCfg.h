// The quorvexcfg command line: `dump FILE` prints the reader's tokens as JSON
// lines, `check FILE...` reports refused files in the FILE:LINE: form,
// `write FILE` makes a file from such JSON lines read on standard input, and
// `diff A B` lists the tags that differ.
#pragma once
#include "tools/quorvexcfg/ConfigScan.h"
#include "platform/Platform.h"

#include <ostream>
#include <string>
#include <vector>

class CQuorvexCfg {
public:
    enum EXIT_CODE { EXIT_VALID = 0, EXIT_REFUSED = 1, EXIT_DIFFERENT = 1, EXIT_CONFLICT = 1, EXIT_TROUBLE = 2 };

    CQuorvexCfg(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    // args: the arguments after the program name.
    int Run(const std::vector<WString>& args);

private:
    using Command = int (CQuorvexCfg::*)(const std::vector<WString>& operands);
    struct CommandEntry {
        const char* name;
        Command run;
    };
    static const CommandEntry s_commands[];

    int Dump(const std::vector<WString>& operands);
    int Check(const std::vector<WString>& operands);
    int Write(const std::vector<WString>& operands);
    int Diff(const std::vector<WString>& operands);
    int Merge(const std::vector<WString>& operands);
    int Version(const std::vector<WString>& operands);

    int Usage(std::ostream& to, int exitCode);
    // Why a file could not be read or written, in the system's words.
    static std::string DescribeFailure(HRESULT hr);
    static bool Is(const WString& arg, const char* word);
    void ReportUnreadable(const WString& path, HRESULT hr);
    // True, with a note, for a temporary file the component left behind.
    bool SkipTemporaryFile(const WString& path);
    void ReportRefusal(const WString& path, const ScanRefusal& refusal);
    // Scans path into sink: EXIT_VALID, or EXIT_REFUSED or EXIT_TROUBLE (said
    // on standard error) when the file was refused or could not be read.
    int ScanOrReport(const WString& path, const CConfigScan::TokenSink& sink);

    std::ostream& m_out;
    std::ostream& m_err;
};
