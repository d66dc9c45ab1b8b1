#include "bridge/editor_handler.h"

#include "platform/json_params.h"
#include "platform/log.h"

namespace tamo {
using Json = nlohmann::json;

void EditorHandler::didReceive(std::string_view bodyJson) const {
    Json body = Json::parse(bodyJson.begin(), bodyJson.end(), nullptr, /*allow_exceptions=*/false);
    if (body.is_discarded()) return;
    didReceive(body);
}

void EditorHandler::didReceive(const Json& body) const {
    if (!body.is_object()) return;
    auto action = params::text(body, "action");
    if (!action) return;
    const Json* p = params::object(body, "params");

    // Resolving the delegate late keeps "unknown action" logging independent of it.
    auto withDelegate = [this](auto&& call) {
        if (auto target = delegate.lock()) call(*target);
    };

    const std::string& a = *action;
    if (a == "openVideo") {
        withDelegate([](EditorOperations& d) { d.openVideo(); });
    } else if (a == "exportVideo") {
        if (!p) return;
        withDelegate([p](EditorOperations& d) { d.exportVideo(*p); });
    } else if (a == "cancelExport") {
        withDelegate([](EditorOperations& d) { d.cancelExport(); });
    } else if (a == "openExportResult") {
        if (!p) return;
        auto target = params::text(*p, "target");
        if (!target || (*target != "video" && *target != "folder")) return;
        withDelegate([&](EditorOperations& d) { d.openExportResult(*target); });
    } else if (a == "saveProject") {
        if (!p) return;
        withDelegate([p](EditorOperations& d) { d.saveProject(*p); });
    } else if (a == "loadProject") {
        withDelegate([](EditorOperations& d) { d.loadProject(); });
    } else if (a == "pickImage") {
        withDelegate([](EditorOperations& d) { d.pickImage(); });
    } else if (a == "whisperTranscribe") {
        if (!p) return;
        auto apiKey = params::text(*p, "apiKey", "");
        auto language = params::text(*p, "language", "");
        withDelegate([&](EditorOperations& d) { d.whisperTranscribe(apiKey, language); });
    } else if (a == "reloadImage") {
        if (!p) return;
        auto imageId = params::text(*p, "imageId");
        if (!imageId) return;
        if (params::boolean(*p, "choose", false))
            withDelegate([&](EditorOperations& d) { d.chooseImageAgain(*imageId); });
        else
            withDelegate([&](EditorOperations& d) { d.reloadImage(*imageId); });
    } else if (a == "fetchUrl") {
        if (!p) return;
        auto url = params::text(*p, "url");
        if (!url) return;
        withDelegate([&](EditorOperations& d) { d.fetchUrl(*url); });
    } else if (a == "generateBackground") {
        if (!p) return;
        auto width = params::wholeNumber(*p, "width", 1080);
        auto height = params::wholeNumber(*p, "height", 1920);
        auto duration = params::realNumber(*p, "duration", 15.0);
        auto color = params::text(*p, "color", "#1a1a2e");
        auto imageURL = params::text(*p, "imageURL");
        withDelegate([&](EditorOperations& d) { d.generateBackgroundVideo(width, height, duration, color, imageURL); });
    } else if (a == "downloadProductImage") {
        if (!p) return;
        auto url = params::text(*p, "url");
        if (!url) return;
        withDelegate([&](EditorOperations& d) { d.downloadProductImage(*url); });
    } else if (a == "generateTTS") {
        if (!p) return;
        auto text = params::text(*p, "text", "");
        auto voice = params::text(*p, "voice", "alloy");
        auto speed = params::realNumber(*p, "speed", 1.0);
        auto apiKey = params::text(*p, "apiKey", "");
        withDelegate([&](EditorOperations& d) { d.generateTTS(text, voice, speed, apiKey); });
    } else if (a == "saveSubtitles") {
        if (!p) return;
        auto format = params::text(*p, "format", "srt");
        auto found = p->find("segments");
        const Json segments = found != p->end() && found->is_array() ? *found : Json::array();
        withDelegate([&](EditorOperations& d) { d.saveSubtitles(segments, format); });
    } else if (a == "restoreVideo") {
        if (!p) return;
        auto url = params::text(*p, "url");
        if (!url) return;
        withDelegate([&](EditorOperations& d) { d.restoreVideo(*url); });
    } else {
        logLine("⚠️ Unknown action: " + a);
    }
}

}  // namespace tamo
