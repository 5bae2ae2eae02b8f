// Writes one line of each kind, then debug levels 1 to 10, so that tests can
// check what reached the log file under the environment they started this
// program with.
#include "contracts/Log.h"

int main() {
    utilities::CLog* log = utilities::CLog::GetInstance();
    if (!log) return 3;
    log->LogInfo(L"ready text 100%s %d stays as it is", L"Quorvex");
    log->LogInfo(L"Opening/Creating configuration file %s", L"Quorvex", L"C:\\data\\a b.cfg");
    log->LogError(L"d=%d u=%u c=%c x=%08x", L"Quorvex", -42, 4000000000u, L'Z', 0xBEEFu);
    log->LogError(L"plain error", L"Other");
    for (long level = 1; level <= 10; ++level) log->LogDebug(level, L"debug at %d", L"Quorvex", level);
    return 0;
}
