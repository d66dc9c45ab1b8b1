#include "bridge/console_log_handler.h"

#include "platform/json_params.h"
#include "platform/log.h"

namespace tamo {

void ConsoleLogHandler::didReceive(std::string_view bodyJson) const {
    auto body = nlohmann::json::parse(bodyJson.begin(), bodyJson.end(), nullptr, /*allow_exceptions=*/false);
    if (body.is_discarded()) return;
    didReceive(body);
}

void ConsoleLogHandler::didReceive(const nlohmann::json& body) const {
    auto level = params::text(body, "level");
    auto message = params::text(body, "message");
    if (!level || !message) return;
    const char* prefix = *level == "error" ? "❌" : *level == "warn" ? "⚠️" : "📋";
    logLine(std::string(prefix) + " JS[" + *level + "]: " + *message);
}

}  // namespace tamo
