// The page's messages as the window hands them over: JSON text for the "swift" dispatcher and the
// console relay. At most one operation per message, and nothing the page sends crashes either.
#include "bridge/console_log_handler.h"
#include "bridge/editor_handler.h"
#include "fuzz_check.h"
#include "recording_operations.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tamo::fuzz::checkLogLines();
    auto operations = std::make_shared<tamo::fuzz::RecordingOperations>();
    tamo::EditorHandler handler;
    handler.delegate = operations;
    handler.didReceive(asText(data, size));
    FUZZ_CHECK(operations->calls.size() <= 1);
    tamo::ConsoleLogHandler relay;
    relay.didReceive(asText(data, size));
    return 0;
}
