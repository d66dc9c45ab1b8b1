#include "cli/progress_output.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

namespace tamo::cli {

std::string progressJsonLine(std::optional<int> job, int percent, const char* state, const std::string& error) {
    nlohmann::json line = nlohmann::json::object();
    if (job) line["job"] = *job;
    line["percent"] = percent;
    line["state"] = state;
    if (!error.empty()) line["error"] = error;
    // Replacement instead of an exception for bytes that are not UTF-8 (an error text may quote a path).
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

ProgressOutput::ProgressOutput(bool json, std::optional<int> job)
    : json_(json), terminal_(!json && isatty(STDERR_FILENO) == 1), job_(job) {}

void ProgressOutput::percent(int value) {
    if (value == last_) return;
    last_ = value;
    if (json_) {
        std::printf("%s\n", progressJsonLine(job_, value, kRunning).c_str());
        std::fflush(stdout);
        return;
    }
    if (terminal_) {
        const int width = 40, filled = value * width / 100;
        std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(),
                     std::string(width - filled, ' ').c_str(), value);
        if (value >= 100) std::fputc('\n', stderr);
    } else {
        std::fprintf(stderr, "progress %d%%\n", value);
    }
    std::fflush(stderr);
}

void ProgressOutput::finish(const char* state, const std::string& error) {
    const bool success = std::strcmp(state, kDone) == 0 || std::strcmp(state, kSkipped) == 0;
    if (json_) {
        std::printf("%s\n", progressJsonLine(job_, success ? 100 : std::max(last_, 0), state, error).c_str());
        std::fflush(stdout);
        return;
    }
    if (terminal_ && last_ >= 0 && last_ < 100) std::fputc('\n', stderr);
    if (!error.empty())
        std::fprintf(stderr, "tamovid-render: %s\n", error.c_str());
    else if (std::strcmp(state, kCancelled) == 0)
        std::fprintf(stderr, "tamovid-render: cancelled\n");
    std::fflush(stderr);
}

}  // namespace tamo::cli
