#pragma once
// Page operations that only remember what they were asked, and a check of the log, for the dispatcher
// targets and the dispatcher test.
#include <string>
#include <vector>

#include "bridge/editor_operations.h"
#include "fuzz_check.h"
#include "platform/json_depth.h"
#include "platform/log.h"

namespace tamo::fuzz {

class RecordingOperations : public EditorOperations {
public:
    std::vector<std::string> calls;

    void openVideo() override { calls.push_back("openVideo"); }
    void exportVideo(const nlohmann::json& params) override { record("exportVideo", params); }
    void saveProject(const nlohmann::json& params) override { record("saveProject", params); }
    void loadProject() override { calls.push_back("loadProject"); }
    void pickImage() override { calls.push_back("pickImage"); }
    void whisperTranscribe(const std::string& apiKey, const std::string& language) override {
        calls.push_back("whisperTranscribe:" + apiKey + ":" + language);
    }
    void reloadImage(const std::string& imageId) override { calls.push_back("reloadImage:" + imageId); }
    void fetchUrl(const std::string& urlString) override { calls.push_back("fetchUrl:" + urlString); }
    void generateBackgroundVideo(std::int64_t width, std::int64_t height, double duration, const std::string& colorHex,
                                 const std::optional<std::string>& imageURLString) override {
        calls.push_back("generateBackground:" + std::to_string(width) + "x" + std::to_string(height) + ":" +
                        std::to_string(duration) + ":" + colorHex + ":" + imageURLString.value_or("-"));
    }
    void downloadProductImage(const std::string& urlString) override { calls.push_back("download:" + urlString); }
    void cancelExport() override { calls.push_back("cancelExport"); }
    void openExportResult(const std::string& target) override { calls.push_back("openExportResult:" + target); }
    void chooseImageAgain(const std::string& imageId) override { calls.push_back("chooseImageAgain:" + imageId); }
    void saveSubtitles(const nlohmann::json&, const std::string& format) override {
        calls.push_back("saveSubtitles:" + format);
    }
    void restoreVideo(const std::string& fileUrl) override { calls.push_back("restoreVideo:" + fileUrl); }
    void generateTTS(const std::string& text, const std::string& voice, double speed,
                     const std::string& apiKey) override {
        calls.push_back("tts:" + text + ":" + voice + ":" + std::to_string(speed) + ":" + apiKey);
    }

private:
    // Parameters travel by reference; the real operations refuse values past the depth limit before
    // copying them, and so does this record.
    void record(const char* name, const nlohmann::json& params) {
        FUZZ_CHECK(params.is_object());
        if (json_depth::valueTooDeep(params))
            calls.push_back(std::string(name) + ":too deep");
        else
            calls.push_back(std::string(name) + ":" +
                            params.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    }
};

// Every log line stays one line, whatever the input.
inline void checkLogLines() {
    static const bool set =
        (setLogSink([](const std::string& l) { FUZZ_CHECK(l.find('\n') == std::string::npos); }), true);
    (void)set;
}

}  // namespace tamo::fuzz
