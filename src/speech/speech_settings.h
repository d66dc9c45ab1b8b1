#pragma once
#include <cstddef>
#include <filesystem>
#include <string>

namespace tamo::speech {

// Where and how the speech operations talk to the service and keep their files.
// The application's speech actions read it from the environment each time they run;
// tests hand their own values to the functions below (a loopback server, a short timeout,
// a private temporary directory).
struct SpeechSettings {
    std::string baseUrl = "https://api.openai.com";
    // No byte moving for this long ends a request; the whole request is capped at totalTimeoutSeconds.
    double idleTimeoutSeconds = 60;
    double totalTimeoutSeconds = 900;
    std::size_t maxAnswerBytes = 64u * 1024 * 1024;
    std::filesystem::path temporaryDirectory;  // empty: the platform's temporary directory
};

// The defaults, with two overrides from the environment:
//   TAMO_SPEECH_BASE_URL          another OpenAI-compatible server (self-hosted, or a test server)
//   TAMO_SPEECH_TIMEOUT_SECONDS   the idle timeout in seconds (testing and operations knob)
SpeechSettings speechSettingsFromEnvironment();

// The temporary directory to use: the settings' own, else the platform's.
std::filesystem::path temporaryDirectoryOf(const SpeechSettings& settings);

// Base address + path, without doubling the slash between them.
std::string serviceAddress(const SpeechSettings& settings, const std::string& path);

// The API key goes into the Authorization header only. Line breaks would let a pasted key add
// headers of its own, so they are dropped; a real key never holds one.
inline std::string bearer(const std::string& apiKey) {
    std::string value = "Bearer ";
    for (char c : apiKey)
        if (c != '\r' && c != '\n' && c != '\0') value += c;
    return value;
}

}  // namespace tamo::speech
