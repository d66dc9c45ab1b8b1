#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace tamo {

// The kinds of background work, each with its own bound on how many run at once.
enum class WorkKind { Export, Merge, Speech, Background, Network };

// Lets at most `limit` pieces of one kind of work run at once; the rest wait in the order they came.
// A page that asks for forty exports at once gets them one after another instead of forty frame
// loops side by side, each with its decoder, encoder and frame buffers.
class WorkGate {
public:
    explicit WorkGate(std::size_t limit) : limit_(limit ? limit : 1) {}
    WorkGate(const WorkGate&) = delete;
    WorkGate& operator=(const WorkGate&) = delete;

    // Held while the work runs; leaving lets the next waiting one in.
    class Slot {
    public:
        Slot() = default;
        explicit Slot(WorkGate* gate) : gate_(gate) {}
        Slot(Slot&& other) noexcept : gate_(other.gate_) { other.gate_ = nullptr; }
        Slot& operator=(Slot&& other) noexcept;
        Slot(const Slot&) = delete;
        Slot& operator=(const Slot&) = delete;
        ~Slot() { release(); }
        void release();

    private:
        WorkGate* gate_ = nullptr;
    };

    // Blocks the calling (background) thread until its turn comes.
    [[nodiscard]] Slot enter();

    std::size_t limit() const { return limit_; }
    std::size_t running() const;
    std::size_t waiting() const;

private:
    void leave();

    const std::size_t limit_;
    mutable std::mutex mutex_;
    std::condition_variable turn_;
    std::uint64_t issued_ = 0;  // tickets handed out
    std::uint64_t left_ = 0;    // slots given back
    std::uint64_t admitted_ = 0;
};

// The process's gate for a kind of work.
WorkGate& workGate(WorkKind kind);

}  // namespace tamo
