// Native test programs classify characters beyond ASCII as the component does
// on Windows: with the C library's UTF-8 character tables.
#include <gtest/gtest.h>

#include <clocale>

namespace {

class CNativeLocale : public ::testing::Environment {
public:
    void SetUp() override {
#ifndef _WIN32
        std::setlocale(LC_CTYPE, "C.UTF-8");
#endif
    }
};

[[maybe_unused]] ::testing::Environment* const g_locale = ::testing::AddGlobalTestEnvironment(new CNativeLocale);

}  // namespace
