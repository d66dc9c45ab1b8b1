// Page actions of the speech service: subtitles from the clip's speech, and a spoken narration.
#include "bridge/speech_actions.h"

#include <system_error>

#include "bridge/app_delegate.h"
#include "bridge/script_calls.h"
#include "platform/atomic_file.h"
#include "platform/log.h"
#include "platform/number_text.h"
#include "platform/texts/speech_texts.h"
#include "platform/texts/transport_texts.h"
#include "platform/texts/video_texts.h"
#include "platform/uuid.h"
#include "speech/audio_extraction.h"
#include "speech/narration_answer.h"
#include "speech/transcription_request.h"

namespace tamo {
namespace speech {
namespace {

constexpr const char* kTranscriptionLabel = "hu.tamovideoeditor.whisper";
constexpr const char* kSynthesisLabel = "hu.tamovideoeditor.tts";

// Queues one script call for the main thread; the work counts as in flight until the page has it.
void answerPage(const std::weak_ptr<AppDelegate>& app, const WorkToken& token, std::string scriptCall) {
    AppDelegate::evaluateOnMain(app, std::move(scriptCall), token);
}

// A saved narration that never becomes the current one (the application object went away
// before the success step ran) is removed instead of being left behind.
struct UnclaimedNarration {
    std::filesystem::path path;
    bool claimed = false;
    ~UnclaimedNarration() {
        if (!claimed) removeQuietly(path);
    }
};

void adoptNarration(const std::weak_ptr<AppDelegate>& weak, const WorkToken& token, const Narration& narration) {
    auto saved = std::make_shared<UnclaimedNarration>();
    saved->path = narration.file;
    const double seconds = narration.seconds;
    AppDelegate::onMain(weak, [token, saved, seconds](AppDelegate& app) {
        saved->claimed = true;
        // The narration it replaces goes, unless a project names it.
        if (app.narrationAudioURL && *app.narrationAudioURL != saved->path &&
            !app.narrationsInProjects.count(*app.narrationAudioURL))
            removeQuietly(*app.narrationAudioURL);
        app.narrationAudioURL = saved->path;
        if (app.webView) app.webView->shareFile(saved->path);  // the page may preview it
        app.evaluate(scriptcall::onNarrationReady(seconds));
    });
    logLine("🔊 TTS narration saved: " + fixedDecimalText(seconds, 1) + "s");
}

}  // namespace

TranscriptionAnswer transcriptionPageAnswer(const Outcome<nlohmann::json>& segments) {
    if (!segments) return {scriptcall::onWhisperError(segments.error()), std::nullopt};
    return {scriptcall::onWhisperResult(*segments),
            "🎤 Whisper: " + std::to_string(segments->size()) + " segments found"};
}

void callWhisperAPI(const std::weak_ptr<AppDelegate>& app, const WorkToken& token,
                    const std::filesystem::path& audioURL, const std::string& apiKey, const std::string& language,
                    const SpeechSettings& settings, const CancelFlag& cancel) {
    Outcome<nlohmann::json> segments = transcribeAudioFile(audioURL, apiKey, language, settings, cancel);
    if (segments.cancelled()) return;
    TranscriptionAnswer answer = transcriptionPageAnswer(segments);
    if (answer.scriptCall) answerPage(app, token, std::move(*answer.scriptCall));
    if (answer.logLine) logLine(*answer.logLine);
}

void startTranscription(AppDelegate& app, const std::string& apiKey, const std::string& language,
                        const SpeechSettings& settings) {
    if (!app.currentVideoURL) {
        app.evaluate(scriptcall::onWhisperError(texts::video::kNoVideoLoaded));
        return;
    }
    Outcome<ExtractionPlan> planned = planAudioExtraction(*app.currentVideoURL);
    if (!planned) {
        app.evaluate(scriptcall::onWhisperError(planned.error()));
        return;
    }
    ExtractionPlan plan = std::move(*planned);
    std::filesystem::path audioURL = temporaryDirectoryOf(settings) / ("whisper_" + newUuidText() + ".m4a");

    app.evaluate(scriptcall::showWhisperStatus(texts::speech::kExtractingStatus));

    std::weak_ptr<AppDelegate> weak = app.weak_from_this();
    auto task = [weak, token = app.beginWork(), plan = std::move(plan), audioURL, apiKey, language,
                 settings](const CancelFlag& cancel) {
        Outcome<> extracted = fail("not extracted");
        try {
            extracted = extractAudio(plan, audioURL, cancel);
        } catch (const std::exception& e) {
            extracted = fail(e.what());
        }
        if (!extracted || cancel.raised()) {
            removeQuietly(audioURL);  // a half-written file is of no use to anyone
            if (!cancel.raised()) answerPage(weak, token, scriptcall::onWhisperError(texts::speech::kExtractionFailed));
            return;
        }
        logLine("🎤 Audio extracted, calling Whisper API...");
        answerPage(weak, token, scriptcall::showWhisperStatus(texts::speech::kCallingServiceStatus));
        if (weak.expired()) {
            removeQuietly(audioURL);  // nobody is left to hear the result
            return;
        }
        callWhisperAPI(weak, token, audioURL, apiKey, language, settings, cancel);
    };
    // No thread to be had: the extraction never starts.
    if (!app.services().work->start(kTranscriptionLabel, WorkKind::Speech, std::move(task)))
        app.evaluate(scriptcall::onWhisperError(texts::speech::kExtractionRefused));
}

void startSpeechSynthesis(AppDelegate& app, const std::string& text, const std::string& voice, double speed,
                          const std::string& apiKey, const SpeechSettings& settings) {
    HttpRequest request = makeSpeechRequest(settings, apiKey, buildSpeechRequestBody(text, voice, speed));
    auto task = [weak = app.weak_from_this(), token = app.beginWork(), request = std::move(request),
                 settings](const CancelFlag& cancel) {
        try {
            Outcome<Narration> narration = keepNarration(performHttp(request, cancel), settings);
            if (narration.cancelled()) return;
            if (!narration) {
                answerPage(weak, token, scriptcall::onNarrationError(narration.error()));
                return;
            }
            adoptNarration(weak, token, *narration);
        } catch (const std::exception& e) {  // out of memory or a full disk thrown at us: still one answer
            answerPage(weak, token, scriptcall::onNarrationError(e.what()));
        }
    };
    // No thread to be had: the request never starts.
    if (!app.services().work->start(kSynthesisLabel, WorkKind::Speech, std::move(task)))
        app.evaluate(scriptcall::onNarrationError(texts::transport::kCannotStart));
}

}  // namespace speech

void AppDelegate::whisperTranscribe(const std::string& apiKey, const std::string& language) {
    speech::startTranscription(*this, apiKey, language, speech::speechSettingsFromEnvironment());
}

void AppDelegate::generateTTS(const std::string& text, const std::string& voice, double speed,
                              const std::string& apiKey) {
    speech::startSpeechSynthesis(*this, text, voice, speed, apiKey, speech::speechSettingsFromEnvironment());
}

}  // namespace tamo
