// quorvexcfg entry point: the command line as 16-bit text on every platform,
// and byte-for-byte output (no CR LF translation on Windows).
#include "tools/quorvexcfg/QuorvexCfg.h"
#include "platform/Utf8.h"

#include <exception>
#include <iostream>
#include <new>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

int RunTool(const std::vector<WString>& args) {
    std::ios::sync_with_stdio(false);
    try {
        CQuorvexCfg tool(std::cout, std::cerr);
        const int exitCode = tool.Run(args);
        std::cout.flush();
        return exitCode;
    } catch (const std::bad_alloc&) {
        std::cerr << "quorvexcfg: out of memory\n";
    } catch (const std::exception& e) {
        std::cerr << "quorvexcfg: " << e.what() << "\n";
    }
    return CQuorvexCfg::EXIT_TROUBLE;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdin), _O_BINARY);  // write reads JSON lines: no Ctrl-Z end
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<WString> args(argv + 1, argv + argc);
    return RunTool(args);
}
#else
int main(int argc, char** argv) {
    std::vector<WString> args;
    for (int i = 1; i < argc; ++i) args.push_back(CUtf8::ToUtf16(argv[i]));
    return RunTool(args);
}
#endif
