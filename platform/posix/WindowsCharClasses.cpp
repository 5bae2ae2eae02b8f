#include "platform/posix/WindowsCharClasses.h"

#include <algorithm>
#include <iterator>

namespace {

// From its first code up to the next run's first code every code has these classes.
struct CharClassRun {
    std::uint16_t first;
    std::uint8_t classes;
};

// Written by write_char_class_runs.exe from the Windows runtime; the platform
// tests compare it with that runtime for every code.
const CharClassRun kRuns[] = {
#include "platform/posix/WindowsCharClassRuns.inc"
};

}  // namespace

std::uint8_t WindowsCharClasses(WCHAR ch) {
    const auto after = std::upper_bound(std::begin(kRuns), std::end(kRuns), ch,
                                        [](WCHAR code, const CharClassRun& run) { return code < run.first; });
    return std::prev(after)->classes;
}
