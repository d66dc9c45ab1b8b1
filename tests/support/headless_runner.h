#pragma once
// Runs the real tamovid-headless with JSON input lines and collects what it prints.
#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <vector>

namespace tamo::test {

struct HeadlessResult {
    int exitCode = -1;
    bool timedOut = false;
    std::vector<std::string> lines;  // standard output, one entry per line
    std::string stderrText;

    // Lines that start with prefix ("JS> ", "CHOOSER> ", "QUESTION> ", "TITLE> "), with the prefix removed.
    std::vector<std::string> withPrefix(const std::string& prefix) const;
    std::vector<std::string> scriptCalls() const { return withPrefix("JS> "); }
    std::vector<std::string> logLines() const;  // every line that is not a protocol line
    bool hasLine(const std::string& line) const;
};

struct HeadlessOptions {
    std::map<std::string, std::string> env;  // added to the environment
    int timeoutSeconds = 120;
};

// Each input is written as one line (JSON values are dumped compactly).
HeadlessResult runHeadless(const std::vector<nlohmann::json>& input, const HeadlessOptions& options = {});
HeadlessResult runHeadlessRaw(const std::vector<std::string>& inputLines, const HeadlessOptions& options = {});

inline nlohmann::json swift(const std::string& action, nlohmann::json params = nullptr) {
    nlohmann::json body = {{"action", action}};
    if (!params.is_null()) body["params"] = std::move(params);
    return {{"swift", body}};
}
inline nlohmann::json choose(const std::string& path) { return {{"choose", path}}; }
inline nlohmann::json chooseCancel() { return {{"choose", nullptr}}; }
inline nlohmann::json idle() { return {{"idle", true}}; }
inline nlohmann::json confirm(bool yes) { return {{"confirm", yes}}; }

}  // namespace tamo::test
