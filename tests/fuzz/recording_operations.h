#pragma once
// Page operations that only count how often they were asked, and a check of the log, for the dispatcher targets.
#include "bridge/editor_operations.h"
#include "fuzz_check.h"
#include "platform/json_depth.h"
#include "platform/log.h"

namespace tamo::fuzz {

class RecordingOperations : public EditorOperations {
public:
    int calls = 0;
    using S = const std::string&;

    void openVideo() override { ++calls; }
    void exportVideo(const nlohmann::json& params) override { record(params); }
    void saveProject(const nlohmann::json& params) override { record(params); }
    void loadProject() override { ++calls; }
    void pickImage() override { ++calls; }
    void whisperTranscribe(S, S) override { ++calls; }
    void reloadImage(S) override { ++calls; }
    void fetchUrl(S) override { ++calls; }
    void generateBackgroundVideo(std::int64_t, std::int64_t, double, S, const std::optional<std::string>&) override {
        ++calls;
    }
    void downloadProductImage(S) override { ++calls; }
    void cancelExport() override { ++calls; }
    void openExportResult(S) override { ++calls; }
    void chooseImageAgain(S) override { ++calls; }
    void saveSubtitles(const nlohmann::json&, S) override { ++calls; }
    void restoreVideo(S) override { ++calls; }
    void generateTTS(S, S, double, S) override { ++calls; }

private:
    // The real operations refuse values past the depth limit before copying them, and so does this.
    void record(const nlohmann::json& params) {
        FUZZ_CHECK(params.is_object());
        if (!json_depth::valueTooDeep(params))
            (void)params.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        ++calls;
    }
};

// Every log line stays one line, whatever the input.
inline void checkLogLines() {
    static const bool set =
        (setLogSink([](const std::string& l) { FUZZ_CHECK(l.find('\n') == std::string::npos); }), true);
    (void)set;
}

}  // namespace tamo::fuzz
