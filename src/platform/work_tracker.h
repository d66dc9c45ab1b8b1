#pragma once
#include <atomic>
#include <cstddef>
#include <memory>

namespace tamo {

// Held by every piece of background work (export, extraction, request, clip) while it is in flight.
// Copyable so that it can ride along in std::function captures; the work ends when the last copy dies.
using WorkToken = std::shared_ptr<void>;

// Counts background work in flight, so the headless driver and tests know when everything has ended.
class WorkTracker {
public:
    WorkToken begin();
    std::size_t inFlight() const { return count_->load(); }

private:
    std::shared_ptr<std::atomic<std::size_t>> count_ = std::make_shared<std::atomic<std::size_t>>(0);
};

}  // namespace tamo
