#include "platform/json_depth.h"

#include <utility>
#include <vector>

namespace tamo::json_depth {

bool textTooDeep(std::string_view text, int limit) {
    int depth = 0;
    bool inString = false, escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

bool valueTooDeep(const nlohmann::json& value, int limit) {
    // Explicit stack of (value, its depth); only containers are pushed.
    std::vector<std::pair<const nlohmann::json*, int>> pending;
    if (value.is_structured()) pending.emplace_back(&value, 1);
    while (!pending.empty()) {
        auto [node, depth] = pending.back();
        pending.pop_back();
        if (depth > limit) return true;
        for (const auto& child : *node)
            if (child.is_structured()) pending.emplace_back(&child, depth + 1);
    }
    return false;
}

nlohmann::json parseWithinLimit(std::string_view text, int limit) {
    if (textTooDeep(text, limit)) return nlohmann::json(nlohmann::json::value_t::discarded);
    return nlohmann::json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
}

}  // namespace tamo::json_depth
