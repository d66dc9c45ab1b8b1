#include "platform/number_text.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace tamo {

std::string fixedDecimalText(double value, int fractionDigits) {
    if (!std::isfinite(value)) value = 0;
    if (fractionDigits < 0) fractionDigits = 0;
    if (value == 0) value = 0;  // -0.0 would be written "-0.0"
    char buf[400];              // DBL_MAX in fixed notation is 309 digits
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, fractionDigits);
    if (ec != std::errc()) return "0";
    std::string text(buf, end);
    // A value that rounds to zero keeps no sign either ("-0.0" from -0.04).
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return text;
}

bool parseDecimalText(const char* text, double& value) {
    if (!text || !*text) return false;
    const char* end = text + std::strlen(text);
    double parsed = 0;
    auto [stop, ec] = std::from_chars(text, end, parsed);
    if (ec != std::errc() || stop != end) return false;
    value = parsed;
    return true;
}

}  // namespace tamo
