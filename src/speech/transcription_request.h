#pragma once
#include <nlohmann/json.hpp>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/http.h"
#include "platform/outcome.h"
#include "speech/speech_settings.h"

namespace tamo::speech {

// The multipart form the transcription service takes: the sound as "audio.m4a", the model, the
// verbose JSON format with segment timestamps, and the language when one is given.
std::string buildTranscriptionBody(std::string_view boundary, std::string_view audio, std::string_view language);

// The whole request, ready to send.
HttpRequest makeTranscriptionRequest(const SpeechSettings& settings, const std::string& apiKey,
                                     const std::string& boundary, std::string body);

// The segments of one answer of the service ({"start","end","text"} each, text trimmed of blanks
// and tabs, malformed ones left out), or why there are none: the transport's error, the
// service's own error message, or a Hungarian text for an answer that is not one.
Outcome<nlohmann::json> interpretTranscriptionAnswer(const HttpResponse& response);

// Uploads the sound file and deletes it whatever happens. Blocks the calling (worker) thread
// until the service has answered, the request has failed, or the cancel flag was raised.
Outcome<nlohmann::json> transcribeAudioFile(const std::filesystem::path& audioURL, const std::string& apiKey,
                                            const std::string& language, const SpeechSettings& settings,
                                            const CancelFlag& cancel = CancelFlag());

}  // namespace tamo::speech
