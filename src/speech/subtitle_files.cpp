// Subtitles saved as a file: the page sends its segments, the user picks the place, the file is
// written in one piece.
#include <algorithm>
#include <cctype>
#include <system_error>

#include "bridge/app_delegate.h"
#include "bridge/script_calls.h"
#include "platform/log.h"
#include "project/atomic_file.h"
#include "speech/subtitle_writer.h"

namespace tamo {
namespace {

bool hasExtension(const std::filesystem::path& path, const std::string& extension) {
    std::string found = path.extension().string();
    std::transform(found.begin(), found.end(), found.begin(), [](unsigned char c) { return std::tolower(c); });
    return found == "." + extension;
}

void answer(const std::weak_ptr<AppDelegate>& weak, const std::string& call) {
    if (auto self = weak.lock()) self->evaluate(call);
}

}  // namespace

void AppDelegate::saveSubtitles(const nlohmann::json& segmentsJson, const std::string& format) {
    auto segments = speech::subtitleSegmentsFromJson(segmentsJson);
    const bool vtt = format == "vtt";
    std::string text = vtt ? speech::writeWebVtt(segments) : speech::writeSrt(segments);
    // The writers leave out cues without text; a file of no cues is not worth a chooser.
    if (text.empty() || text == "WEBVTT\n\n") {
        evaluate(scriptcall::onSubtitlesError("Nincs menthető felirat."));
        return;
    }
    const std::string extension = vtt ? "vtt" : "srt";
    ChooserOptions options{"Feliratok mentése", {extension}, "feliratok." + extension};
    dialogs().chooseFileToSave(options, [weak = weak_from_this(), text = std::move(text), extension](
                                            std::optional<std::filesystem::path> chosen) {
        if (!chosen) return;
        std::filesystem::path location = *chosen;
        if (!hasExtension(location, extension)) {
            location += "." + extension;
            // The chooser asked about the name as typed, not about this one: never replace it unasked.
            std::error_code ec;
            if (std::filesystem::exists(std::filesystem::symlink_status(location, ec))) {
                logLine("❌ Subtitles not saved, file exists: " + location.string());
                answer(weak, scriptcall::onSubtitlesError("Már van „" + location.filename().string() +
                                                          "” nevű fájl; válassz másik nevet."));
                return;
            }
        }
        if (auto error = replaceFileAtomically(location, text)) {
            logLine("❌ Subtitles not saved: " + *error);
            answer(weak, scriptcall::onSubtitlesError("A feliratfájl nem menthető: " + *error));
            return;
        }
        logLine("💾 Subtitles saved: " + location.string());
        answer(weak, scriptcall::onSubtitlesSaved(location.filename().string()));
    });
}

}  // namespace tamo
