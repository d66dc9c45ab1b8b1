#include "speech/narration_answer.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/texts/speech_texts.h"
#include "platform/user_media_folder.h"
#include "platform/uuid.h"
#include "speech/audio_duration.h"

namespace tamo::speech {
namespace {

constexpr std::size_t kSmallestAudioBytes = 1001;  // anything shorter cannot be a spoken narration

// The service's own error text, when the body is a JSON object with "error"."message".
std::optional<std::string> serviceErrorMessage(const nlohmann::json& answer) {
    if (!answer.is_object()) return std::nullopt;
    auto error = answer.find("error");
    if (error == answer.end() || !error->is_object()) return std::nullopt;
    auto message = error->find("message");
    if (message == error->end() || !message->is_string()) return std::nullopt;
    return message->get<std::string>();
}

bool writeWholeFile(const std::filesystem::path& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

std::string buildSpeechRequestBody(const std::string& text, const std::string& voice, double speed) {
    nlohmann::json body = {
        {"model", "tts-1"}, {"input", text}, {"voice", voice}, {"speed", speed}, {"response_format", "mp3"}};
    // Texts from the page are valid UTF-8; should one not be, it is mended rather than dropped.
    return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

HttpRequest makeSpeechRequest(const SpeechSettings& settings, const std::string& apiKey, std::string body) {
    HttpRequest request;
    request.method = "POST";
    request.url = serviceAddress(settings, "/v1/audio/speech");
    request.headers = {{"Authorization", bearer(apiKey)}, {"Content-Type", "application/json"}};
    request.body = std::move(body);
    request.idleTimeoutSeconds = settings.idleTimeoutSeconds;
    request.totalTimeoutSeconds = settings.totalTimeoutSeconds;
    request.maxBodyBytes = settings.maxAnswerBytes;
    return request;
}

std::optional<std::string> narrationRefusal(const HttpResponse& response) {
    static const std::string kEmptyOrBad = texts::speech::kBadNarrationAnswer;
    if (!response.transportOk) return response.errorText;
    // An MP3 never parses as a JSON object, so a parsed object is always an error report.
    auto answer = nlohmann::json::parse(response.body, nullptr, /*allow_exceptions=*/false);
    if (!answer.is_discarded() && answer.is_object()) return serviceErrorMessage(answer).value_or(kEmptyOrBad);
    if (response.status >= 400 || response.body.size() < kSmallestAudioBytes) return kEmptyOrBad;
    return std::nullopt;
}

Outcome<Narration> keepNarration(const HttpResponse& response, const SpeechSettings& settings) {
    if (response.cancelled) return Failure::cancel();
    if (auto refusal = narrationRefusal(response)) return fail(*refusal);
    std::filesystem::path folder =
        settings.temporaryDirectory.empty() ? userMediaFolder() : settings.temporaryDirectory;
    std::filesystem::path file = folder / ("narration_" + newUuidText() + ".mp3");
    if (!writeWholeFile(file, response.body)) {
        removeQuietly(file);
        return fail(texts::speech::kNarrationNotSaved);
    }
    // Only sound that plays is kept: an answer that does not decode is not a narration.
    auto duration = decodedAudioDuration(file);
    if (!duration) {
        removeQuietly(file);
        return fail(texts::speech::kBadNarrationAnswer);
    }
    return Narration{file, *duration};
}

}  // namespace tamo::speech
