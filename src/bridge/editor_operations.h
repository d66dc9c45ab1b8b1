#pragma once
#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace tamo {

// The operations the editor page can ask for, with their parameters already read and defaulted.
// AppDelegate implements them; dispatcher tests use a recording fake.
class EditorOperations {
public:
    virtual ~EditorOperations() = default;
    virtual void openVideo() = 0;
    virtual void exportVideo(const nlohmann::json& params) = 0;
    // Stops the running export; the earlier output stays, the temporary video is removed.
    virtual void cancelExport() = 0;
    // Opens the last exported video ("video") or its folder ("folder") with the desktop's handler.
    virtual void openExportResult(const std::string& target) = 0;
    virtual void saveProject(const nlohmann::json& params) = 0;
    virtual void loadProject() = 0;
    virtual void pickImage() = 0;
    virtual void whisperTranscribe(const std::string& apiKey, const std::string& language) = 0;
    virtual void reloadImage(const std::string& imageId) = 0;
    // "reloadImage" with "choose": true: a new file for a picture whose file is gone.
    virtual void chooseImageAgain(const std::string& imageId) { (void)imageId; }
    virtual void fetchUrl(const std::string& urlString) = 0;
    virtual void generateBackgroundVideo(std::int64_t width, std::int64_t height, double duration,
                                         const std::string& colorHex,
                                         const std::optional<std::string>& imageURLString) = 0;
    virtual void downloadProductImage(const std::string& urlString) = 0;
    virtual void generateTTS(const std::string& text, const std::string& voice, double speed,
                             const std::string& apiKey) = 0;
    // format: "srt" or "vtt"; segments as the transcription gave them.
    virtual void saveSubtitles(const nlohmann::json& segments, const std::string& format) = 0;
    // The page brings back unsaved work of an earlier run: its video, by the file:// address it had.
    virtual void restoreVideo(const std::string& fileUrl) = 0;
};

}  // namespace tamo
