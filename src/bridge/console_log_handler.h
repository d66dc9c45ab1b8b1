#pragma once
#include <nlohmann/json.hpp>

#include <string_view>

namespace tamo {

// Prints the page's relayed console calls as one log line each: prefix + " JS[" + level + "]: " + message.
class ConsoleLogHandler {
public:
    void didReceive(std::string_view bodyJson) const;
    void didReceive(const nlohmann::json& body) const;
};

}  // namespace tamo
