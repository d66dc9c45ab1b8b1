#pragma once
#include <nlohmann/json.hpp>

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "bridge/console_log_handler.h"
#include "bridge/editor_handler.h"
#include "bridge/editor_operations.h"
#include "platform/background_work.h"
#include "platform/cancel_flag.h"
#include "platform/dialogs.h"
#include "platform/launcher.h"
#include "platform/main_queue.h"
#include "platform/page.h"
#include "platform/window.h"

namespace tamo {

// What the application object needs from the platform besides the window and page.
struct PlatformServices {
    std::shared_ptr<MainQueue> mainQueue;
    std::shared_ptr<Dialogs> dialogs;
    std::shared_ptr<BackgroundWork> work = std::make_shared<BackgroundWork>();
    std::shared_ptr<Launcher> launcher = makeLoggingLauncher();
};

// The one application object: state of the run, one method per page action, and the only way
// the native side answers the page (script calls evaluated on the main thread).
// Held by std::shared_ptr; background work holds it weakly.
class AppDelegate : public EditorOperations, public std::enable_shared_from_this<AppDelegate> {
public:
    explicit AppDelegate(PlatformServices services);
    ~AppDelegate() override;

    // --- fields (main thread only) ---
    std::shared_ptr<Window> mainWindow;  // absent until the window is built
    std::shared_ptr<Page> webView;       // absent until the window is built
    std::shared_ptr<EditorHandler> editorHandler = std::make_shared<EditorHandler>();
    std::shared_ptr<ConsoleLogHandler> consoleLogHandler = std::make_shared<ConsoleLogHandler>();
    std::optional<std::filesystem::path> currentVideoURL;
    std::map<std::string, std::filesystem::path> storedImages;
    std::optional<std::filesystem::path> narrationAudioURL;
    // Narration files a project saved or loaded in this run names: a newer narration never deletes them.
    std::set<std::filesystem::path> narrationsInProjects;
    std::optional<std::filesystem::path> currentProjectURL;
    // The cancel flag of the export started last (its frame loop reads it) and the file the last
    // successful export wrote: the page can open only that one, never a path of its own choosing.
    std::optional<CancelFlag> exportCancelFlag;
    std::optional<std::filesystem::path> lastExportURL;

    const PlatformServices& services() const { return services_; }
    MainQueue& mainQueue() const { return *services_.mainQueue; }
    Dialogs& dialogs() const { return *services_.dialogs; }
    Launcher& launcher() const { return *services_.launcher; }
    WorkToken beginWork() const { return services_.work->begin(); }

    // --- page operations (each defined in its subsystem) ---
    void openVideo() override;
    // Makes the file the current video and tells the page; on failure the current video stays,
    // the page gets onVideoError and the answer is false.
    bool loadVideo(const std::filesystem::path& url);
    void pickImage() override;
    void reloadImage(const std::string& imageId) override;
    void chooseImageAgain(const std::string& imageId) override;
    void exportVideo(const nlohmann::json& params) override;
    void cancelExport() override;
    void openExportResult(const std::string& target) override;
    void saveProject(const nlohmann::json& params) override;
    void loadProject() override;
    void whisperTranscribe(const std::string& apiKey, const std::string& language) override;
    void fetchUrl(const std::string& urlString) override;
    void generateBackgroundVideo(std::int64_t width, std::int64_t height, double duration, const std::string& colorHex,
                                 const std::optional<std::string>& imageURLString) override;
    void downloadProductImage(const std::string& urlString) override;
    void generateTTS(const std::string& text, const std::string& voice, double speed,
                     const std::string& apiKey) override;
    void saveSubtitles(const nlohmann::json& segments, const std::string& format) override;
    void restoreVideo(const std::string& fileUrl) override;

    // --- answering the page ---
    // Evaluates a script call in the page now (main thread). Dropped while there is no page.
    void evaluate(const std::string& scriptCall) const;
    // Same, for a payload call that could not be serialised: nothing is sent.
    void evaluate(const std::optional<std::string>& scriptCall) const;

    // From any thread: runs fn on the main thread if the application object still exists then.
    static void onMain(const std::weak_ptr<AppDelegate>& app, std::function<void(AppDelegate&)> fn);
    // From any thread: evaluates the call on the main thread if the application object still exists.
    // The posted task holds the work token, so the work counts as in flight until the page has its answer.
    static void evaluateOnMain(const std::weak_ptr<AppDelegate>& app, std::string scriptCall, WorkToken token = {});

private:
    PlatformServices services_;
};

}  // namespace tamo
