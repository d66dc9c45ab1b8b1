#include "platform/background_work.h"

#include <pthread.h>

#include <exception>

#include "platform/log.h"

namespace tamo {
namespace {

void nameThisThread(const std::string& label) {
    // Thread names hold 15 characters: keep the end of the label ("…deoexport.video").
    std::string tail = label.size() > 15 ? label.substr(label.size() - 15) : label;
    pthread_setname_np(pthread_self(), tail.c_str());
}

}  // namespace

BackgroundWork::~BackgroundWork() {
    std::unique_lock lock(mutex_);
    closing_ = true;
    for (Worker& worker : workers_) worker.cancel.raise();
    // A worker sets its mark under the lock as its very last step, so it must not be joined first.
    ended_.wait(lock, [&] {
        for (const Worker& worker : workers_)
            if (!worker.finished) return false;
        return true;
    });
    reapFinished(lock);
}

bool BackgroundWork::start(const std::string& label, WorkKind kind, Task task, CancelFlag cancel) {
    std::unique_lock lock(mutex_);
    if (closing_) return false;
    reapFinished(lock);
    try {
        auto worker = workers_.emplace(workers_.end());
        worker->cancel = cancel;
        try {
            // The thread's first look at its entry waits for this lock, so the entry is complete by then.
            worker->thread =
                std::thread([this, worker, label, kind, task = std::move(task), cancel, token = begin()]() mutable {
                    nameThisThread(label);
                    {
                        auto turn = workGate(kind).enter();  // work past the bound of its kind waits its turn
                        // Also when cancelled meanwhile: the task sees its flag and gives its own answer
                        // (a cancelled export still tells the page so) and removes what it began.
                        try {
                            task(cancel);
                        } catch (const std::exception& e) {  // tasks answer their own failures; this is the last net
                            logLine("❌ " + label + ": " + e.what());
                        } catch (...) {
                            logLine("❌ " + label);
                        }
                    }
                    task = nullptr;  // what the task held goes before the work counts as ended
                    token.reset();
                    std::lock_guard done(mutex_);
                    worker->finished = true;
                    ended_.notify_all();
                });
        } catch (...) {
            workers_.erase(worker);
            throw;
        }
    } catch (...) {  // std::system_error (no thread to be had) or std::bad_alloc
        return false;
    }
    return true;
}

WorkToken BackgroundWork::begin() {
    auto count = count_;
    count->fetch_add(1);
    // The deleter keeps the counter alive even if the owner goes first.
    return WorkToken(static_cast<void*>(count.get()), [count](void*) { count->fetch_sub(1); });
}

void BackgroundWork::cancelAll() {
    std::lock_guard lock(mutex_);
    for (Worker& worker : workers_) worker.cancel.raise();
}

bool BackgroundWork::shutdown(std::chrono::milliseconds bound) {
    std::unique_lock lock(mutex_);
    closing_ = true;
    for (Worker& worker : workers_) worker.cancel.raise();
    ended_.wait_for(lock, bound, [&] {
        for (const Worker& worker : workers_)
            if (!worker.finished) return false;
        return true;
    });
    reapFinished(lock);
    return workers_.empty();
}

void BackgroundWork::reapFinished(std::unique_lock<std::mutex>&) {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (!it->finished) {
            ++it;
            continue;
        }
        // It has set its mark and only unlocks on its way out: the join is immediate.
        if (it->thread.joinable()) it->thread.join();
        it = workers_.erase(it);
    }
}

}  // namespace tamo
