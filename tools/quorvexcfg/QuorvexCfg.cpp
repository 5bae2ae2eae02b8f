#include "tools/quorvexcfg/QuorvexCfg.h"

#include "tools/quorvexcfg/ConfigScan.h"
#include "tools/quorvexcfg/JsonString.h"
#include "platform/Utf8.h"

#include "reader/ConfigReader.h"

#include "QuorvexVersion.h"

#include <algorithm>
#include <cstdio>

namespace {

const char kUsage[] =
    "Usage: quorvexcfg dump FILE\n"
    "       quorvexcfg check FILE...\n"
    "       quorvexcfg write FILE < tags.jsonl\n"
    "       quorvexcfg diff [--json] OLD NEW\n"
    "       quorvexcfg merge BASE OURS THEIRS [-o OUT]\n"
    "       quorvexcfg --help | --version\n"
    "\n"
    "Reads Quorvex3 configuration files with the component's own reader. A FILE\n"
    "may be a pipe or a FIFO; - is standard input.\n"
    "\n"
    "  dump FILE      Prints each statement of FILE as one JSON object per line,\n"
    "                 {\"token\":T,\"name\":N}, plus \"value\":V for token \"p\". Tokens:\n"
    "                 v version, p tag with a quoted value, s tag without a value,\n"
    "                 ; comment, t test line, i ignored line. A refused file ends\n"
    "                 with {\"error\":{\"kind\":K,\"line\":L,\"text\":S,\"message\":M}},\n"
    "                 K being parse, newer-version or unexpected. Every character\n"
    "                 outside U+0020..U+007E in a string is written \\uXXXX.\n"
    "  check FILE...  Silent for valid files; for each refused one prints\n"
    "                 FILE:LINE: MESSAGE and then the line's text on standard error.\n"
    "  write FILE     Reads JSON lines of the dump form on standard input (a v line\n"
    "                 first, then p and s lines; ;, t and i lines are skipped) and\n"
    "                 writes FILE as the component would: UTF-16LE with the mark,\n"
    "                 the version, one line per tag, every line ending in CR LF;\n"
    "                 FILE - writes those bytes to standard output.\n"
    "  diff OLD NEW   Prints the difference of the two files' tags: a version change\n"
    "                 first (version \"OLD\" -> \"NEW\"), then one line per tag,\n"
    "                 - ID VALUE removed, ~ ID OLD -> NEW changed, + ID VALUE added;\n"
    "                 values are quoted as in dump, a tag without one shows\n"
    "                 (no value). --json prints {\"change\":C,\"id\":I,\"old\":O,\"new\":N}\n"
    "                 lines instead (C version, removed, changed or added; no\n"
    "                 value is null; a side that is absent is left out).\n"
    "  merge BASE OURS THEIRS\n"
    "                 Merges the changes THEIRS made to BASE into OURS, tag by tag,\n"
    "                 and writes the result over OURS (or to OUT; - is standard\n"
    "                 output). A tag (or the version) changed, added or removed on\n"
    "                 one side takes that change; the same change on both sides is\n"
    "                 taken once. A tag changed differently on both sides, or changed\n"
    "                 on one and removed on the other, is a conflict: it is listed\n"
    "                 on standard error with the three values and written as git's\n"
    "                 <<<<<<< ||||||| ======= >>>>>>> lines, which the reader\n"
    "                 refuses until a person resolves them. OURS' comments, test\n"
    "                 lines and sections stay where they stand; a changed tag line\n"
    "                 is written as the component writes it; a tag OURS lacks goes\n"
    "                 after the tag before it in THEIRS. Comments, test lines and\n"
    "                 sections only THEIRS has are left out, and their number said.\n"
    "                 Besides the reader's forms, merge reads UTF-8 without a mark\n"
    "                 (LF or CR LF line ends), the form git gives a merge driver,\n"
    "                 and writes the result in the form OURS came in: UTF-8 as it\n"
    "                 came, anything else UTF-16LE with the mark and CR LF.\n"
    "\n"
    "A name beginning with ~ is the component's temporary file, left by a write\n"
    "that was cut off: check skips it and dump refuses it.\n"
    "\n"
    "git: keep configuration files as UTF-8 text in the repository, converted on\n"
    "checkout back to the exact bytes, and merge them tag by tag:\n"
    "  echo '*.cfg text working-tree-encoding=UTF-16LE-BOM eol=crlf merge=quorvexcfg' >> .gitattributes\n"
    "  git config merge.quorvexcfg.driver 'quorvexcfg merge %O %A %B'\n"
    "git refuses to add a file it cannot convert (one holding a lone surrogate);\n"
    "for such files use  *.cfg diff=quorvexcfg  instead, with\n"
    "  git config diff.quorvexcfg.textconv 'quorvexcfg dump'\n"
    "which shows the dump in git diff while the files are kept as binary.\n"
    "\n"
    "Exit status: 0 every file is valid (or was written, or the two are equal, or\n"
    "merged without conflict), 1 a file (or the input of write) was refused, or diff\n"
    "found differences, or merge found conflicts, 2 a file could not be read or\n"
    "written (or diff or merge met a refused file) or the command line was wrong.\n"
    "An unreadable file is named with the system's reason.\n";

std::string Ascii(const WString& text) { return CUtf8::FromUtf16(text); }

// The component writes through a file named with "~" in place of the first
// character of the name; one that outlived its write is never a configuration.
bool IsTemporaryFile(const WString& path) {
    const WCHAR separators[] = {'\\', '/', 0};
    const size_t separator = path.find_last_of(separators);
    const size_t nameStart = separator == WString::npos ? 0 : separator + 1;
    return nameStart < path.size() && path[nameStart] == '~';
}

}  // namespace

// The system's own text for a Win32 failure; the bare code for anything else.
std::string CQuorvexCfg::DescribeFailure(HRESULT hr) {
    const unsigned code = static_cast<unsigned>(hr);
    if ((code & 0xFFFF0000u) == 0x80070000u) {
        WCHAR text[512];
        DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code & 0xFFFF,
                                      0, text, sizeof text / sizeof text[0], nullptr);
        while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ')) --length;
        if (length > 0) return CUtf8::FromUtf16(WString(text, length));
    }
    char number[32];
    std::snprintf(number, sizeof number, "error 0x%08X", code);
    return number;
}

bool CQuorvexCfg::Is(const WString& arg, const char* word) { return arg == CUtf8::ToUtf16(word); }

const CQuorvexCfg::CommandEntry CQuorvexCfg::s_commands[] = {
    {"dump", &CQuorvexCfg::Dump},
    {"check", &CQuorvexCfg::Check},
    {"write", &CQuorvexCfg::Write},
    {"diff", &CQuorvexCfg::Diff},
    {"merge", &CQuorvexCfg::Merge},
    {"--version", &CQuorvexCfg::Version},
};

int CQuorvexCfg::Run(const std::vector<WString>& args) {
    if (args.empty()) return Usage(m_err, EXIT_TROUBLE);
    if (Is(args[0], "--help") || Is(args[0], "-h")) return Usage(m_out, EXIT_VALID);
    for (const CommandEntry& command : s_commands) {
        if (Is(args[0], command.name)) {
            return (this->*command.run)(std::vector<WString>(args.begin() + 1, args.end()));
        }
    }
    m_err << "quorvexcfg: unknown command " << Ascii(args[0]) << "\n";
    return Usage(m_err, EXIT_TROUBLE);
}

int CQuorvexCfg::Usage(std::ostream& to, int exitCode) {
    to << kUsage;
    return exitCode;
}

void CQuorvexCfg::ReportUnreadable(const WString& path, HRESULT hr) {
    m_err << "quorvexcfg: " << Ascii(path) << ": " << DescribeFailure(hr) << "\n";
}

bool CQuorvexCfg::SkipTemporaryFile(const WString& path) {
    if (!IsTemporaryFile(path)) return false;
    m_err << "quorvexcfg: " << Ascii(path) << ": skipped, the temporary file of a write that was cut off\n";
    return true;
}

void CQuorvexCfg::ReportRefusal(const WString& path, const ScanRefusal& refusal) {
    m_err << Ascii(path) << ":" << refusal.line << ": " << Ascii(refusal.message) << "\n" << Ascii(refusal.text) << "\n";
}

int CQuorvexCfg::ScanOrReport(const WString& path, const CConfigScan::TokenSink& sink) {
    CConfigScan scan;
    const HRESULT hr = scan.Run(path, sink);
    if (FAILED(hr)) {
        ReportUnreadable(path, hr);
        return EXIT_TROUBLE;
    }
    if (scan.Refusal()) {
        ReportRefusal(path, *scan.Refusal());
        return EXIT_REFUSED;
    }
    return EXIT_VALID;
}

int CQuorvexCfg::Version(const std::vector<WString>& operands) {
    if (!operands.empty()) return Usage(m_err, EXIT_TROUBLE);
    m_out << "quorvexcfg " << QUORVEX_FILE_VERSION_TEXT << "\n";
    return EXIT_VALID;
}

int CQuorvexCfg::Dump(const std::vector<WString>& operands) {
    if (operands.size() != 1) return Usage(m_err, EXIT_TROUBLE);
    if (SkipTemporaryFile(operands[0])) return EXIT_TROUBLE;
    CConfigScan scan;
    const HRESULT hr = scan.Run(operands[0], [this](WCHAR token, const CBstr& name, const CBstr& value) {
        m_out << "{\"token\":" << CJsonString::Quote(WString(1, token))
              << ",\"name\":" << CJsonString::Quote(name.Get(), name.Length());
        if (token == CConfigReader::TOKEN_TAG_VALUE) m_out << ",\"value\":" << CJsonString::Quote(value.Get(), value.Length());
        m_out << "}\n";
    });
    if (FAILED(hr)) {
        m_out.flush();
        ReportUnreadable(operands[0], hr);
        return EXIT_TROUBLE;
    }
    if (!scan.Refusal()) return EXIT_VALID;
    const ScanRefusal& refusal = *scan.Refusal();
    m_out << "{\"error\":{\"kind\":\"" << refusal.kind << "\",\"line\":" << refusal.line
          << ",\"text\":" << CJsonString::Quote(refusal.text) << ",\"message\":" << CJsonString::Quote(refusal.message)
          << "}}\n";
    return EXIT_REFUSED;
}

int CQuorvexCfg::Check(const std::vector<WString>& operands) {
    if (operands.empty()) return Usage(m_err, EXIT_TROUBLE);
    int worst = EXIT_VALID;  // unreadable outranks refused
    for (const WString& path : operands) {
        if (SkipTemporaryFile(path)) continue;
        worst = std::max(worst, ScanOrReport(path, [](WCHAR, const CBstr&, const CBstr&) {}));
    }
    return worst;
}
