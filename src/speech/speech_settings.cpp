#include "speech/speech_settings.h"

#include <glib.h>

#include <cstdlib>
#include <string_view>

#include "platform/number_text.h"

namespace tamo::speech {

SpeechSettings speechSettingsFromEnvironment() {
    SpeechSettings settings;
    if (const char* base = std::getenv("TAMO_SPEECH_BASE_URL"); base && *base) settings.baseUrl = base;
    if (const char* timeout = std::getenv("TAMO_SPEECH_TIMEOUT_SECONDS"); timeout && *timeout) {
        // Read with a decimal point whatever the locale; anything unreadable or not positive keeps
        // the default rather than disabling the limit.
        double seconds = 0;
        if (parseDecimalText(timeout, seconds) && seconds > 0 && seconds < 86400) settings.idleTimeoutSeconds = seconds;
    }
    return settings;
}

std::filesystem::path temporaryDirectoryOf(const SpeechSettings& settings) {
    if (!settings.temporaryDirectory.empty()) return settings.temporaryDirectory;
    return std::filesystem::path(g_get_tmp_dir());
}

std::string serviceAddress(const SpeechSettings& settings, const std::string& path) {
    std::string_view base = settings.baseUrl;
    while (!base.empty() && base.back() == '/') base.remove_suffix(1);
    return std::string(base) + path;
}

}  // namespace tamo::speech
