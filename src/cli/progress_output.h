#pragma once
#include <optional>
#include <string>

namespace tamo::cli {

// The states a job goes through, as --progress json names them.
inline constexpr const char* kRunning = "running";
inline constexpr const char* kDone = "done";
inline constexpr const char* kSkipped = "skipped";
inline constexpr const char* kFailed = "failed";
inline constexpr const char* kCancelled = "cancelled";

// One JSON line: {"job":N,"percent":P,"state":S[,"error":E]} ("job" left out for a single render).
std::string progressJsonLine(std::optional<int> job, int percent, const char* state, const std::string& error = {});

// Progress of one render: a redrawn bar on a terminal, a plain line per change otherwise (both on
// standard error), or JSON lines on standard output.
class ProgressOutput {
public:
    ProgressOutput(bool json, std::optional<int> job);
    void percent(int value);
    // The final state; errors go to standard error as "tamovid-render: ..." unless JSON carries them.
    void finish(const char* state, const std::string& error = {});

private:
    bool json_, terminal_;
    std::optional<int> job_;
    int last_ = -1;
};

}  // namespace tamo::cli
