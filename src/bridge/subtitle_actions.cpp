// Subtitles saved as a file: the page sends its segments, the user picks the place, the file is
// written in one piece.
#include <system_error>

#include "bridge/app_delegate.h"
#include "bridge/script_calls.h"
#include "platform/atomic_file.h"
#include "platform/log.h"
#include "platform/save_location.h"
#include "platform/texts/subtitle_texts.h"
#include "speech/subtitle_writer.h"

namespace tamo {
namespace {

void answer(const std::weak_ptr<AppDelegate>& weak, const std::string& call) {
    if (auto self = weak.lock()) self->evaluate(call);
}

void writeSubtitleFile(const std::weak_ptr<AppDelegate>& weak, const std::filesystem::path& location,
                       const std::string& text) {
    if (auto error = replaceFileAtomically(location, text)) {
        logLine("❌ Subtitles not saved: " + *error);
        answer(weak, scriptcall::onSubtitlesError(texts::subtitle::kNotSavedPrefix + *error));
        return;
    }
    logLine("💾 Subtitles saved: " + location.string());
    answer(weak, scriptcall::onSubtitlesSaved(location.filename().string()));
}

}  // namespace

void AppDelegate::saveSubtitles(const nlohmann::json& segmentsJson, const std::string& format) {
    auto segments = speech::subtitleSegmentsFromJson(segmentsJson);
    const bool vtt = format == "vtt";
    std::string text = vtt ? speech::writeWebVtt(segments) : speech::writeSrt(segments);
    // The writers leave out cues without text; a file of no cues is not worth a chooser.
    if (text.empty() || text == "WEBVTT\n\n") {
        evaluate(scriptcall::onSubtitlesError(texts::subtitle::kNothingToSave));
        return;
    }
    const std::string extension = vtt ? "vtt" : "srt";
    const std::string suggested = std::string(texts::subtitle::kSuggestedStem) + "." + extension;
    ChooserOptions options{texts::subtitle::kChooserTitle, {extension}, suggested};
    std::shared_ptr<Dialogs> dialogs = services().dialogs;
    dialogs->chooseFileToSave(options, [weak = weak_from_this(), dialogs, text = std::move(text),
                                        extension](std::optional<std::filesystem::path> chosen) {
        // A name typed without the extension gets it; a file already there under that name is
        // replaced only after a yes, as for projects and exports.
        settleSaveLocation(*dialogs, chosen, extension, [weak, text](std::optional<std::filesystem::path> settled) {
            if (settled) writeSubtitleFile(weak, *settled, text);
        });
    });
}

}  // namespace tamo
