#pragma once
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/cancel_flag.h"
#include "platform/work_gate.h"

namespace tamo {

// Held by a piece of work while it is in flight (a worker, or an answer posted to the main queue).
// Copyable so that it can ride along in std::function captures; the work ends when the last copy dies.
using WorkToken = std::shared_ptr<void>;

// The one owner of the program's background threads. Every worker is started here: it is counted
// while it runs (the headless driver's idle wait), holds a cancel flag, waits its turn behind the
// bound of its kind, and is joined — never left running on its own. At quit, shutdown() raises
// every flag and waits a bounded time for the workers to clean up and end.
class BackgroundWork {
public:
    BackgroundWork() = default;
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;
    // Cancels and joins whatever still runs.
    ~BackgroundWork();

    using Task = std::function<void(const CancelFlag&)>;

    // Runs task on a new thread named after the tail of label, after it got its turn among the
    // work of its kind — also when its flag was raised meanwhile, so that it answers for itself and
    // removes what it began. False when no thread could be started (no threads or no memory left, or the
    // owner is shutting down): the task never runs and the caller answers with its error.
    bool start(const std::string& label, WorkKind kind, Task task, CancelFlag cancel = CancelFlag());

    // Counts work that is not a thread of its own (an answer waiting on the main queue).
    WorkToken begin();
    // Workers running plus tokens alive.
    std::size_t inFlight() const { return count_->load(); }

    // Raises the cancel flag of every running worker.
    void cancelAll();
    // Cancels everything and waits up to bound for the workers to end, joining them. False when
    // some worker is still running after the bound (it is then left to the end of the process).
    bool shutdown(std::chrono::milliseconds bound);

private:
    struct Worker {
        std::thread thread;
        CancelFlag cancel;
        bool finished = false;
    };
    void reapFinished(std::unique_lock<std::mutex>& lock);

    std::shared_ptr<std::atomic<std::size_t>> count_ = std::make_shared<std::atomic<std::size_t>>(0);
    std::mutex mutex_;
    std::condition_variable ended_;
    std::list<Worker> workers_;
    bool closing_ = false;
};

}  // namespace tamo
