#include <fstream>
#include <system_error>
#include <thread>

#include "bridge/app_delegate.h"
#include "bridge/script_calls.h"
#include "platform/log.h"
#include "platform/number_text.h"
#include "platform/user_media_folder.h"
#include "platform/work_gate.h"
#include "platform/uuid.h"
#include "speech/audio_duration.h"
#include "speech/narration_answer.h"
#include "speech/page_answer.h"
#include "speech/speech_operations.h"

namespace tamo {
namespace speech {
namespace {

bool writeWholeFile(const std::filesystem::path& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.close();
    return static_cast<bool>(out);
}

void removeQuietly(const std::filesystem::path& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
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

void receiveNarration(const std::weak_ptr<AppDelegate>& weak, const WorkToken& token, const HttpResponse& response,
                      const SpeechSettings& settings) {
    if (auto refusal = narrationRefusal(response)) {
        answerPage(weak, token, scriptcall::onNarrationError(*refusal));
        return;
    }
    // A narration is part of the work (projects keep its path), so by default it lives in the user's
    // media folder, not in the temporary one that a reboot empties.
    std::filesystem::path folder = settings.temporaryDirectory.empty() ? userMediaFolder() : settings.temporaryDirectory;
    std::filesystem::path file = folder / ("narration_" + newUuidText() + ".mp3");
    if (!writeWholeFile(file, response.body)) {
        removeQuietly(file);
        answerPage(weak, token, scriptcall::onNarrationError("Mentés hiba!"));
        return;
    }
    // Only sound that plays is kept: an answer that does not decode is not a narration.
    auto duration = decodedAudioDuration(file);
    if (!duration) {
        removeQuietly(file);
        answerPage(weak, token, scriptcall::onNarrationError("Üres vagy hibás válasz!"));
        return;
    }
    double seconds = *duration;
    auto saved = std::make_shared<UnclaimedNarration>();
    saved->path = file;
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

void startSpeechSynthesis(AppDelegate& app, const std::string& text, const std::string& voice, double speed,
                          const std::string& apiKey, const SpeechSettings& settings) {
    HttpRequest request = makeSpeechRequest(settings, apiKey, buildSpeechRequestBody(text, voice, speed));
    std::weak_ptr<AppDelegate> weak = app.weak_from_this();
    try {
        std::thread([weak, token = app.beginWork(), request = std::move(request), settings] {
            auto turn = workGate(WorkKind::Speech).enter();  // syntheses past the bound wait their turn
            HttpResponse response;
            try {
                response = performHttp(request);
                receiveNarration(weak, token, response, settings);
            } catch (const std::exception& e) {  // out of memory or a full disk thrown at us: still one answer
                answerPage(weak, token, scriptcall::onNarrationError(e.what()));
            }
        }).detach();
    } catch (const std::system_error& e) {  // no thread to be had: the request never starts
        app.evaluate(scriptcall::onNarrationError(e.what()));
    }
}

}  // namespace speech

void AppDelegate::generateTTS(const std::string& text, const std::string& voice, double speed, const std::string& apiKey) {
    speech::startSpeechSynthesis(*this, text, voice, speed, apiKey, speech::speechSettingsFromEnvironment());
}

}  // namespace tamo
