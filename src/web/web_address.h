#pragma once
#include <string_view>

namespace tamo {

// True when the text parses as an absolute URL (it has a scheme). The text is taken as it is:
// a leading blank makes it unparsable.
bool isParsableUrl(std::string_view text);

// True when the text parses as an absolute URL whose scheme, ignoring case, is http or https.
bool isWebAddress(std::string_view text);

}  // namespace tamo
