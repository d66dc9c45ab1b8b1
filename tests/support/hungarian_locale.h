#pragma once
// Puts the whole process under hu_HU.UTF-8 while the guard lives, as GTK does for the window on a
// Hungarian desktop, and checks that the C library really writes decimal commas then: a test that
// means to catch locale faults must not pass because the locale is missing.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

namespace tamo::test {

class HungarianLocale {
public:
    HungarianLocale() : previous_(std::setlocale(LC_ALL, nullptr)) {
        if (!std::setlocale(LC_ALL, "hu_HU.UTF-8"))
            ADD_FAILURE() << "the hu_HU.UTF-8 locale is not installed (scripts/install-deps.sh generates it)";
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", 3.0);
        EXPECT_STREQ(text, "3,0") << "the Hungarian locale does not use a decimal comma";
    }
    ~HungarianLocale() { std::setlocale(LC_ALL, previous_.c_str()); }
    HungarianLocale(const HungarianLocale&) = delete;
    HungarianLocale& operator=(const HungarianLocale&) = delete;

private:
    std::string previous_;
};

}  // namespace tamo::test
