#include "cli/cancel_signal.h"

#include <csignal>

namespace tamo::cli {
namespace {

std::atomic<bool> gCancel{false};
std::atomic<int> gSignal{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the signal handler may only touch lock-free atomics");

extern "C" void onCancelSignal(int sig) {
    int none = 0;
    gSignal.compare_exchange_strong(none, sig);  // the first signal decides the exit status
    gCancel.store(true);
}

}  // namespace

void installCancelHandlers() {
    struct sigaction action {};
    action.sa_handler = onCancelSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocking wait in the job pool must wake up
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader of the progress that goes away (a pipe into head, a job pool that was killed) must
    // not kill a render half-way and leave its temporary files: writes just fail instead.
    signal(SIGPIPE, SIG_IGN);
}

const std::atomic<bool>& cancelFlag() { return gCancel; }

int cancelSignal() { return gSignal.load(); }

int cancelledExitStatus() {
    int sig = gSignal.load();
    return 128 + (sig ? sig : SIGTERM);
}

}  // namespace tamo::cli
