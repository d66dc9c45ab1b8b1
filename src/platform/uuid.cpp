#include "platform/uuid.h"

#include <glib.h>

#include <algorithm>
#include <cctype>

namespace tamo {

std::string newUuidText() {
    gchar* raw = g_uuid_string_random();
    std::string text(raw);
    g_free(raw);
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

}  // namespace tamo
