#pragma once
// Runs a shell command for the fault tests and says how it ended.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "media/media_fixtures.h"

namespace tamo::test {

struct ProcessEnd {
    int exitCode = -1;  // -1 when it did not exit by itself
    int signal = 0;     // the signal that ended it
    std::string out, err;
};

inline ProcessEnd runShell(const TempDir& dir, const std::string& command) {
    const auto out = dir / ".run-stdout", err = dir / ".run-stderr";
    const std::string full =
        "(" + command + ") >" + shellQuoted(out.string()) + " 2>" + shellQuoted(err.string()) + " </dev/null";
    int status = std::system(full.c_str());
    ProcessEnd end;
    if (WIFEXITED(status)) {
        end.exitCode = WEXITSTATUS(status);
        // The shell reports a child killed by a signal as 128 + its number.
        if (end.exitCode > 128 && end.exitCode < 128 + 65) end.signal = end.exitCode - 128;
    } else if (WIFSIGNALED(status)) {
        end.signal = WTERMSIG(status);
    }
    end.out = readFile(out);
    end.err = readFile(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return end;
}

// Names in a folder other than the runner's own capture files.
inline std::vector<std::string> visibleNames(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::string name = entry.path().filename().string();
        if (name.rfind(".run-", 0) != 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tamo::test
