#include "platform/log.h"

#include <cstdio>
#include <mutex>

namespace tamo {
namespace {
std::mutex& logMutex() {
    static std::mutex m;
    return m;
}
LogSink& currentSink() {
    static LogSink sink;
    return sink;
}
}  // namespace

void writeStdout(const std::string& text) {
    std::lock_guard lock(logMutex());
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void logLine(const std::string& line) {
    {
        std::lock_guard lock(logMutex());
        if (currentSink()) {
            currentSink()(line);
            return;
        }
    }
    writeStdout(line + "\n");
}

void setLogSink(LogSink sink) {
    std::lock_guard lock(logMutex());
    currentSink() = std::move(sink);
}

}  // namespace tamo
