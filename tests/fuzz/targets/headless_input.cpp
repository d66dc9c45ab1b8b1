// tamovid-headless input lines: read, then handed to the dispatcher and the console relay as the
// driver would. A line is at most one of the protocol's kinds, and a skipped one says why.
#include <string>

#include "bridge/console_log_handler.h"
#include "bridge/editor_handler.h"
#include "fuzz_check.h"
#include "headless/input_line.h"
#include "recording_operations.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tamo::fuzz::checkLogLines();
    // The driver reads its input with getline, so a line never holds a line break.
    std::string text(asText(data, size));
    text = text.substr(0, text.find('\n'));
    using Kind = tamo::headless::InputLine::Kind;
    tamo::headless::InputLine line = tamo::headless::readInputLine(text);
    switch (line.kind) {
    case Kind::Skipped: FUZZ_CHECK(*line.skipReason != '\0'); break;
    case Kind::Swift: {
        auto operations = std::make_shared<tamo::fuzz::RecordingOperations>();
        tamo::EditorHandler handler;
        handler.delegate = operations;
        handler.didReceive(line.body);
        FUZZ_CHECK(operations->calls.size() <= 1);
        break;
    }
    case Kind::ConsoleLog: tamo::ConsoleLogHandler().didReceive(line.body); break;
    default: FUZZ_CHECK(line.body.is_null()); break;  // choose, confirm, idle and blank lines carry no body
    }
    return 0;
}
