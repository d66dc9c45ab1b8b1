#include "platform/work_gate.h"

namespace tamo {

WorkGate::Slot& WorkGate::Slot::operator=(Slot&& other) noexcept {
    if (this != &other) {
        release();
        gate_ = other.gate_;
        other.gate_ = nullptr;
    }
    return *this;
}

void WorkGate::Slot::release() {
    if (gate_) gate_->leave();
    gate_ = nullptr;
}

WorkGate::Slot WorkGate::enter() {
    std::unique_lock lock(mutex_);
    // Ticket t may run once fewer than `limit` of the tickets before it are still running, which
    // admits strictly in arrival order.
    const std::uint64_t ticket = issued_++;
    turn_.wait(lock, [&] { return ticket < left_ + limit_; });
    ++admitted_;
    return Slot(this);
}

void WorkGate::leave() {
    {
        std::lock_guard lock(mutex_);
        ++left_;
    }
    turn_.notify_all();
}

std::size_t WorkGate::running() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(admitted_ - left_);
}

std::size_t WorkGate::waiting() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(issued_ - admitted_);
}

WorkGate& workGate(WorkKind kind) {
    // Exports and merges hold whole frames and encoders; speech and clips hold a file's worth of
    // sound or pictures; requests hold at most their size cap each.
    static WorkGate exportGate(2), mergeGate(2), speechGate(2), backgroundGate(2), networkGate(4);
    switch (kind) {
    case WorkKind::Export: return exportGate;
    case WorkKind::Merge: return mergeGate;
    case WorkKind::Speech: return speechGate;
    case WorkKind::Background: return backgroundGate;
    case WorkKind::Network: break;
    }
    return networkGate;
}

}  // namespace tamo
