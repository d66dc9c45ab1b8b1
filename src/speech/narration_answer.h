#pragma once
#include <optional>
#include <string>

#include <filesystem>

#include "platform/http.h"
#include "platform/outcome.h"
#include "speech/speech_settings.h"

namespace tamo::speech {

// {"model":"tts-1","input":…,"voice":…,"speed":…,"response_format":"mp3"}
std::string buildSpeechRequestBody(const std::string& text, const std::string& voice, double speed);

HttpRequest makeSpeechRequest(const SpeechSettings& settings, const std::string& apiKey, std::string body);

// Why the answer is not a narration, as the text for the page; nothing when the body is worth
// trying as audio. A failed transfer, an HTTP error status, a JSON object (the service's error
// report, whatever its length) and a body of 1000 bytes or less are all refusals.
std::optional<std::string> narrationRefusal(const HttpResponse& response);

// A narration kept as a sound file, with its decoded length.
struct Narration {
    std::filesystem::path file;
    double seconds = 0;
};

// Keeps the service's answer as "narration_<UUID>.mp3" — in the user's media folder (projects
// keep its path, and a reboot empties the temporary one), or the settings' own folder — when it
// is a narration that plays; otherwise the page's text for why not, and no file stays.
Outcome<Narration> keepNarration(const HttpResponse& response, const SpeechSettings& settings);

}  // namespace tamo::speech
