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

std::string oneLine(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == 0x0B || c == 0x0C || (c >= 0x1C && c <= 0x1E)) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", c);
            out += code;
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x85) {
            out += "\\u0085";
            ++i;
        } else if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
                    static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
            out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

void writeStdout(const std::string& text) {
    std::lock_guard lock(logMutex());
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void logLine(const std::string& raw) {
    const std::string line = oneLine(raw);
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
