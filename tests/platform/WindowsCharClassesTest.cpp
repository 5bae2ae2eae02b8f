// The Linux layer's copy of the Windows runtime's character classes against
// the component's own classification on Windows, for every 16-bit code: the
// copy can never drift from what the component does.
#include "platform/posix/WindowsCharClasses.h"
#include "platform/CharClass.h"

#include <gtest/gtest.h>

namespace {

std::uint8_t ComponentClasses(WCHAR ch) {
    const std::pair<bool (*)(WCHAR), std::uint8_t> tests[] = {
        {CCharClass::IsSpace, WCC_SPACE}, {CCharClass::IsAlpha, WCC_ALPHA}, {CCharClass::IsDigit, WCC_DIGIT},
        {CCharClass::IsXDigit, WCC_XDIGIT}, {CCharClass::IsCntrl, WCC_CNTRL}, {CCharClass::IsPrint, WCC_PRINT},
    };
    std::uint8_t classes = 0;
    for (const auto& test : tests) classes |= test.first(ch) ? test.second : 0;
    return classes;
}

TEST(WindowsCharClasses, EveryCodeAsTheComponentClassifiesIt) {
    unsigned differing = 0;
    unsigned first = 0;
    for (unsigned code = 0; code <= 0xFFFF; ++code) {
        const WCHAR ch = static_cast<WCHAR>(code);
        if (WindowsCharClasses(ch) == ComponentClasses(ch)) continue;
        if (differing++ == 0) first = code;
    }
    EXPECT_EQ(0u, differing) << "first at code " << first << ": write the table again with write_char_class_runs.exe";
}

}  // namespace
