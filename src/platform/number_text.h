#pragma once
#include <string>

namespace tamo {

// A real number as decimal text with a point and exactly fractionDigits digits after it
// ("3.0", "2.35"), whatever LC_NUMERIC the process runs with: GTK sets the locale from the
// environment, and a Hungarian desktop would otherwise turn 3.0 into "3,0" inside script calls.
// Infinite or NaN values are written as zero, so the text is always a valid number.
std::string fixedDecimalText(double value, int fractionDigits);

// Reads a whole text as a real number with a decimal point, independent of the locale.
// False for anything else (empty, trailing characters, a comma as the decimal mark).
bool parseDecimalText(const char* text, double& value);

}  // namespace tamo
