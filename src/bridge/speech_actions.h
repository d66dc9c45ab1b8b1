#pragma once
// The speech actions with their settings passed in. The application object's whisperTranscribe
// and generateTTS call them with the settings from the environment; tests call them with a
// loopback server, a short timeout and a private temporary directory.
#include <nlohmann/json.hpp>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/background_work.h"
#include "platform/outcome.h"
#include "speech/speech_settings.h"

namespace tamo {
class AppDelegate;
}  // namespace tamo

namespace tamo::speech {

// Main thread. Extracts the current video's sound and has it transcribed (on a worker thread).
void startTranscription(AppDelegate& app, const std::string& apiKey, const std::string& language,
                        const SpeechSettings& settings);

// Main thread. Asks the service to speak the text and keeps the answer as the narration.
void startSpeechSynthesis(AppDelegate& app, const std::string& text, const std::string& voice, double speed,
                          const std::string& apiKey, const SpeechSettings& settings);

// What a transcription's outcome means for the page: exactly one script call (absent only when
// the result cannot be written as JSON), and the log line of a success.
struct TranscriptionAnswer {
    std::optional<std::string> scriptCall;
    std::optional<std::string> logLine;
};
TranscriptionAnswer transcriptionPageAnswer(const Outcome<nlohmann::json>& segments);

// Worker thread. Uploads the sound file, answers the page once, and deletes the file whatever happens.
void callWhisperAPI(const std::weak_ptr<AppDelegate>& app, const WorkToken& token,
                    const std::filesystem::path& audioURL, const std::string& apiKey, const std::string& language,
                    const SpeechSettings& settings, const CancelFlag& cancel = CancelFlag());

}  // namespace tamo::speech
