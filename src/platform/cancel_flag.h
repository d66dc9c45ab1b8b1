#pragma once
#include <atomic>
#include <memory>

namespace tamo {

// A shared "stop now" for one piece of background work. Copies share the flag: the owner of the
// work raises it (the user cancelled, the program quits) and the work's loops read it between
// frames, packets and transferred blocks.
class CancelFlag {
public:
    CancelFlag() : raised_(std::make_shared<std::atomic<bool>>(false)) {}

    void raise() const { raised_->store(true); }
    bool raised() const { return raised_->load(std::memory_order_relaxed); }
    // For code that reads a plain atomic (the export's frame loop).
    const std::atomic<bool>& atomic() const { return *raised_; }

    friend bool operator==(const CancelFlag& a, const CancelFlag& b) { return a.raised_ == b.raised_; }

private:
    std::shared_ptr<std::atomic<bool>> raised_;
};

}  // namespace tamo
