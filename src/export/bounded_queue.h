#pragma once
// A hand-off of at most `capacity` items between two threads of one export.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

namespace tamo {

template <typename T>
class BoundedQueue {
public:
    explicit BoundedQueue(std::size_t capacity) : capacity_(capacity ? capacity : 1) {}

    // Waits for room. False when the queue was closed or aborted (the item is not taken).
    bool push(T&& item) {
        std::unique_lock lock(mutex_);
        notFull_.wait(lock, [&] { return items_.size() < capacity_ || closed_ || aborted_; });
        if (closed_ || aborted_) return false;
        items_.push_back(std::move(item));
        notEmpty_.notify_one();
        return true;
    }

    // Waits for an item. False once the queue is closed and empty, or aborted.
    bool pop(T& item) {
        std::unique_lock lock(mutex_);
        notEmpty_.wait(lock, [&] { return !items_.empty() || closed_ || aborted_; });
        if (aborted_ || items_.empty()) return false;
        item = std::move(items_.front());
        items_.pop_front();
        notFull_.notify_one();
        return true;
    }

    // No more items will come; those queued can still be taken.
    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        notEmpty_.notify_all();
        notFull_.notify_all();
    }

    // Both sides stop at once; queued items are dropped.
    void abort() {
        std::lock_guard lock(mutex_);
        aborted_ = true;
        items_.clear();
        notEmpty_.notify_all();
        notFull_.notify_all();
    }

private:
    const std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable notEmpty_, notFull_;
    std::deque<T> items_;
    bool closed_ = false;
    bool aborted_ = false;
};

}  // namespace tamo
