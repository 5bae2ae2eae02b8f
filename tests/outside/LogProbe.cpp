// Writes a known set of log lines, so that tests can check what reached the
// log file under the environment they started this program with.
//   LogProbe lines     one line of each kind, then debug levels 1 to 10
//   LogProbe threads   4 threads writing 250 long lines each
#include "contracts/Log.h"

#include <cstring>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    utilities::CLog* log = utilities::CLog::GetInstance();
    if (!log) return 3;
    if (argc > 1 && std::strcmp(argv[1], "threads") == 0) {
        const std::wstring filler(300, L'x');
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([log, &filler, t] {
                for (int i = 0; i < 250; ++i) log->LogInfo(L"thread %d line %d %s end", L"Quorvex", t, i, filler.c_str());
            });
        for (std::thread& thread : threads) thread.join();
        return 0;
    }
    log->LogInfo(L"ready text 100%s %d stays as it is", L"Quorvex");
    log->LogInfo(L"Opening/Creating configuration file %s", L"Quorvex", L"C:\\data\\a b.cfg");
    log->LogError(L"d=%d u=%u c=%c x=%08x", L"Quorvex", -42, 4000000000u, L'Z', 0xBEEFu);
    log->LogError(L"plain error", L"Other");
    for (long level = 1; level <= 10; ++level) log->LogDebug(level, L"debug at %d", L"Quorvex", level);
    return 0;
}
