#pragma once
#include <atomic>

namespace tamo::cli {

// SIGINT and SIGTERM ask the running render to stop: the handler only raises a flag that the frame
// loop and the job pool look at; they clean up and the program exits with 128 + the signal.
void installCancelHandlers();

// The flag the export's frame loop checks once per frame.
const std::atomic<bool>& cancelFlag();

// The signal that raised the flag, 0 while none has.
int cancelSignal();

// The exit status for a run stopped by that signal (130 for SIGINT, 143 for SIGTERM).
int cancelledExitStatus();

}  // namespace tamo::cli
