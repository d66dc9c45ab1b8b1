#include "speech/transcription_request.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/texts/speech_texts.h"
#include "platform/uuid.h"

namespace tamo::speech {
namespace {

constexpr std::string_view kCrLf = "\r\n";

void appendField(std::string& body, std::string_view boundary, std::string_view name, std::string_view value) {
    body += "--";
    body += boundary;
    body += kCrLf;
    body += "Content-Disposition: form-data; name=\"";
    body += name;
    body += "\"\r\n\r\n";
    body += value;
    body += kCrLf;
}

// Blanks and tabs only: a line break at either end is part of the text.
std::string trimBlanksAndTabs(const std::string& text) {
    auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// The whole file, or nothing when it cannot be read or is empty.
std::optional<std::string> readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad() || data.empty()) return std::nullopt;
    return data;
}

}  // namespace

std::string buildTranscriptionBody(std::string_view boundary, std::string_view audio, std::string_view language) {
    std::string body;
    body.reserve(audio.size() + 1024);
    body += "--";
    body += boundary;
    body += kCrLf;
    body += "Content-Disposition: form-data; name=\"file\"; filename=\"audio.m4a\"\r\n";
    body += "Content-Type: audio/m4a\r\n\r\n";
    body += audio;
    body += kCrLf;
    appendField(body, boundary, "model", "whisper-1");
    appendField(body, boundary, "response_format", "verbose_json");
    appendField(body, boundary, "timestamp_granularities[]", "segment");
    if (!language.empty()) appendField(body, boundary, "language", language);
    body += "--";
    body += boundary;
    body += "--\r\n";
    return body;
}

HttpRequest makeTranscriptionRequest(const SpeechSettings& settings, const std::string& apiKey,
                                     const std::string& boundary, std::string body) {
    HttpRequest request;
    request.method = "POST";
    request.url = serviceAddress(settings, "/v1/audio/transcriptions");
    request.headers = {{"Authorization", bearer(apiKey)},
                       {"Content-Type", "multipart/form-data; boundary=" + boundary}};
    request.body = std::move(body);
    request.idleTimeoutSeconds = settings.idleTimeoutSeconds;
    request.totalTimeoutSeconds = settings.totalTimeoutSeconds;
    request.maxBodyBytes = settings.maxAnswerBytes;
    return request;
}

Outcome<nlohmann::json> interpretTranscriptionAnswer(const HttpResponse& response) {
    using nlohmann::json;
    if (!response.transportOk) return fail(response.errorText);

    // The status is not looked at: the service's error object says more than the number.
    json answer = json::parse(response.body, nullptr, /*allow_exceptions=*/false);
    if (response.body.empty() || answer.is_discarded() || !answer.is_object())
        return fail(texts::speech::kBadTranscriptionAnswer);

    if (auto error = answer.find("error"); error != answer.end() && error->is_object()) {
        if (auto message = error->find("message"); message != error->end() && message->is_string())
            return fail(message->get<std::string>());
    }

    auto segments = answer.find("segments");
    bool usable = segments != answer.end() && segments->is_array();
    if (usable)
        for (const auto& element : *segments)
            if (!element.is_object()) usable = false;
    if (!usable) return fail(texts::speech::kNoSegments);

    json result = json::array();
    for (const auto& element : *segments) {
        auto start = element.find("start");
        auto end = element.find("end");
        auto text = element.find("text");
        if (start == element.end() || !start->is_number() || end == element.end() || !end->is_number() ||
            text == element.end() || !text->is_string())
            continue;
        result.push_back({{"start", *start}, {"end", *end}, {"text", trimBlanksAndTabs(text->get<std::string>())}});
    }
    return result;
}

Outcome<nlohmann::json> transcribeAudioFile(const std::filesystem::path& audioURL, const std::string& apiKey,
                                            const std::string& language, const SpeechSettings& settings,
                                            const CancelFlag& cancel) {
    // The sound file has done its job once the service has answered (or failed to): it goes
    // before anybody hears the outcome.
    auto removeAudio = [&audioURL] { removeQuietly(audioURL); };

    // An empty upload only earns a puzzling answer from the service; say what went wrong instead.
    auto audio = readWholeFile(audioURL);
    if (!audio) {
        removeAudio();
        return fail(texts::speech::kExtractionFailed);
    }
    std::string boundary = newUuidText();
    HttpRequest request =
        makeTranscriptionRequest(settings, apiKey, boundary, buildTranscriptionBody(boundary, *audio, language));
    audio.reset();

    HttpResponse response;
    try {
        response = performHttp(request, cancel);
    } catch (const std::exception& e) {  // out of memory and the like: still one answer, no stray file
        response.transportOk = false;
        response.errorText = e.what();
    }
    removeAudio();
    if (response.cancelled) return Failure::cancel();
    return interpretTranscriptionAnswer(response);
}

}  // namespace tamo::speech
