// Every test program takes its locale from the environment before main(), as the window does
// through GTK: under LANG=hu_HU.UTF-8 a number written with the locale's decimal comma, or a
// platform text compared in English, fails the test that would otherwise miss it.
#include <clocale>

namespace {
const bool kLocaleTaken = std::setlocale(LC_ALL, "") != nullptr;
}  // namespace
