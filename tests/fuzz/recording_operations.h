#pragma once
// Page operations that only remember what they were asked, for the dispatcher targets.
#include <string>
#include <vector>

#include "bridge/editor_operations.h"
#include "fuzz_check.h"
#include "platform/json_depth.h"

namespace tamo::fuzz {

class RecordingOperations : public EditorOperations {
public:
    std::vector<std::string> calls;
    using S = const std::string&;

    void openVideo() override { calls.push_back("openVideo"); }
    void exportVideo(const nlohmann::json& params) override { record("exportVideo", params); }
    void saveProject(const nlohmann::json& params) override { record("saveProject", params); }
    void loadProject() override { calls.push_back("loadProject"); }
    void pickImage() override { calls.push_back("pickImage"); }
    void whisperTranscribe(S apiKey, S language) override { calls.push_back("whisper:" + apiKey + ":" + language); }
    void reloadImage(S imageId) override { calls.push_back("reloadImage:" + imageId); }
    void fetchUrl(S url) override { calls.push_back("fetchUrl:" + url); }
    void generateBackgroundVideo(std::int64_t width, std::int64_t height, double duration, S colorHex,
                                 const std::optional<std::string>& imageUrl) override {
        calls.push_back("generateBackground:" + std::to_string(width) + "x" + std::to_string(height) + ":" +
                        std::to_string(duration) + ":" + colorHex + ":" + imageUrl.value_or("-"));
    }
    void downloadProductImage(S url) override { calls.push_back("download:" + url); }
    void cancelExport() override { calls.push_back("cancelExport"); }
    void openExportResult(S target) override { calls.push_back("openExportResult:" + target); }
    void chooseImageAgain(S imageId) override { calls.push_back("chooseImageAgain:" + imageId); }
    void saveSubtitles(const nlohmann::json&, S format) override { calls.push_back("saveSubtitles:" + format); }
    void restoreVideo(S fileUrl) override { calls.push_back("restoreVideo:" + fileUrl); }
    void generateTTS(S text, S voice, double speed, S apiKey) override {
        calls.push_back("tts:" + text + ":" + voice + ":" + std::to_string(speed) + ":" + apiKey);
    }

private:
    // The real operations refuse values past the depth limit before copying them, and so does this.
    void record(const char* name, const nlohmann::json& params) {
        FUZZ_CHECK(params.is_object());
        calls.push_back(std::string(name) + ":" +
                        (json_depth::valueTooDeep(params)
                             ? "too deep"
                             : params.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)));
    }
};

}  // namespace tamo::fuzz
