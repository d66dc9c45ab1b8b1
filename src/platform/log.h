#pragma once
#include <functional>
#include <string>

namespace tamo {

// One log line on standard output (English, emoji prefix, no timestamp).
// The text must not end with a line break; one is added, and any break inside it is escaped
// (oneLine), so a name taken from the page cannot forge further lines. Thread-safe.
void logLine(const std::string& line);

// The text with everything a line reader could take as the end of a line escaped: "\n" and "\r"
// as those two characters, other breaks (vertical tab, form feed, file/group/record separators,
// NEL, U+2028, U+2029) as "\uXXXX". Other text, backslashes included, is left as it is.
std::string oneLine(const std::string& text);

// Writes raw text to standard output in one locked write (the headless protocol uses it too).
void writeStdout(const std::string& text);

// Tests capture log lines by installing a sink; an empty function restores stdout.
using LogSink = std::function<void(const std::string& line)>;
void setLogSink(LogSink sink);

}  // namespace tamo
