#pragma once
#include <functional>
#include <string>

namespace tamo {

// One log line on standard output (English, emoji prefix, no timestamp).
// The text must not end with a line break; one is added. Thread-safe.
void logLine(const std::string& line);

// Writes raw text to standard output in one locked write (the headless protocol uses it too).
void writeStdout(const std::string& text);

// Tests capture log lines by installing a sink; an empty function restores stdout.
using LogSink = std::function<void(const std::string& line)>;
void setLogSink(LogSink sink);

}  // namespace tamo
