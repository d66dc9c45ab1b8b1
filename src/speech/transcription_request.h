#pragma once
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/http.h"
#include "platform/background_work.h"
#include "speech/speech_settings.h"

namespace tamo {
class AppDelegate;
}

namespace tamo::speech {

// The multipart form the transcription service takes: the sound as "audio.m4a", the model, the
// verbose JSON format with segment timestamps, and the language when one is given.
std::string buildTranscriptionBody(std::string_view boundary, std::string_view audio, std::string_view language);

// The whole request, ready to send.
HttpRequest makeTranscriptionRequest(const SpeechSettings& settings, const std::string& apiKey,
                                     const std::string& boundary, std::string body);

// What one answer of the service means for the page: exactly one script call (absent only when
// the result cannot be written as JSON), and the log line of a success.
struct TranscriptionAnswer {
    std::optional<std::string> scriptCall;
    std::optional<std::string> logLine;
};
TranscriptionAnswer interpretTranscriptionAnswer(const HttpResponse& response);

// Uploads the sound file, answers the page once, and deletes the file whatever happens.
// Blocks the calling (worker) thread until the service has answered or the request has failed.
void callWhisperAPI(const std::weak_ptr<AppDelegate>& app, const WorkToken& token, const std::filesystem::path& audioURL,
                    const std::string& apiKey, const std::string& language, const SpeechSettings& settings);

}  // namespace tamo::speech
