#include <system_error>
#include <thread>
#include <variant>

#include "bridge/app_delegate.h"
#include "bridge/script_calls.h"
#include "platform/log.h"
#include "platform/work_gate.h"
#include "platform/uuid.h"
#include "speech/audio_extraction.h"
#include "speech/page_answer.h"
#include "speech/speech_operations.h"
#include "speech/transcription_request.h"

namespace tamo {
namespace speech {

void startTranscription(AppDelegate& app, const std::string& apiKey, const std::string& language,
                        const SpeechSettings& settings) {
    if (!app.currentVideoURL) {
        app.evaluate(scriptcall::onWhisperError("Nincs videó betöltve!"));
        return;
    }
    auto planned = planAudioExtraction(*app.currentVideoURL);
    if (auto* refusal = std::get_if<ExtractionRefusal>(&planned)) {
        app.evaluate(scriptcall::onWhisperError(*refusal == ExtractionRefusal::NoSoundTrack ? "Nincs hangsáv a videóban!"
                                                                                            : "Nem sikerült a hang kinyerése!"));
        return;
    }
    ExtractionPlan plan = std::get<ExtractionPlan>(std::move(planned));
    std::filesystem::path audioURL = temporaryDirectoryOf(settings) / ("whisper_" + newUuidText() + ".m4a");

    app.evaluate(scriptcall::showWhisperStatus("<span class=\"ai-loading\"></span> Hang kinyerése..."));

    std::weak_ptr<AppDelegate> weak = app.weak_from_this();
    try {
        std::thread([weak, token = app.beginWork(), plan = std::move(plan), audioURL, apiKey, language, settings] {
            auto turn = workGate(WorkKind::Speech).enter();  // transcriptions past the bound wait their turn
            ExtractionResult extracted;
            try {
                extracted = extractAudio(plan, audioURL);
            } catch (const std::exception& e) {
                extracted = {false, e.what()};
            }
            if (!extracted.ok) {
                std::error_code ignored;
                std::filesystem::remove(audioURL, ignored);  // a half-written file is of no use to anyone
                answerPage(weak, token, scriptcall::onWhisperError("Hang kinyerés hiba!"));
                return;
            }
            logLine("🎤 Audio extracted, calling Whisper API...");
            answerPage(weak, token, scriptcall::showWhisperStatus("<span class=\"ai-loading\"></span> Whisper API hívás..."));
            if (weak.expired()) {
                std::error_code ignored;
                std::filesystem::remove(audioURL, ignored);  // nobody is left to hear the result
                return;
            }
            callWhisperAPI(weak, token, audioURL, apiKey, language, settings);
        }).detach();
    } catch (const std::system_error&) {  // no thread to be had: the extraction never starts
        app.evaluate(scriptcall::onWhisperError("Nem sikerült a hang kinyerése!"));
    }
}

}  // namespace speech

void AppDelegate::whisperTranscribe(const std::string& apiKey, const std::string& language) {
    speech::startTranscription(*this, apiKey, language, speech::speechSettingsFromEnvironment());
}

}  // namespace tamo
