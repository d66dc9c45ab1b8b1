#pragma once
// The two speech operations with their settings passed in. The application object's
// whisperTranscribe and generateTTS call them with the settings from the environment;
// tests call them with a loopback server, a short timeout and a private temporary directory.
#include <string>

#include "speech/speech_settings.h"

namespace tamo {
class AppDelegate;
}

namespace tamo::speech {

// Main thread. Extracts the current video's sound and has it transcribed (on a worker thread).
void startTranscription(AppDelegate& app, const std::string& apiKey, const std::string& language,
                        const SpeechSettings& settings);

// Main thread. Asks the service to speak the text and keeps the answer as the narration.
void startSpeechSynthesis(AppDelegate& app, const std::string& text, const std::string& voice, double speed,
                          const std::string& apiKey, const SpeechSettings& settings);

}  // namespace tamo::speech
