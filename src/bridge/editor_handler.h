#pragma once
#include <memory>
#include <string_view>

#include "bridge/editor_operations.h"

namespace tamo {

// Receives the page's "swift" messages, checks their shape, reads each action's parameters
// with their defaults and calls the matching operation. Malformed messages are dropped
// silently; only an unknown action is logged.
class EditorHandler {
public:
    std::weak_ptr<EditorOperations> delegate;

    // bodyJson: the posted value as JSON text (any JSON value, or text that is not JSON at all).
    void didReceive(std::string_view bodyJson) const;
    void didReceive(const nlohmann::json& body) const;
};

}  // namespace tamo
