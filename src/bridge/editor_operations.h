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
};

}  // namespace tamo
