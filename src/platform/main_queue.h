#pragma once
#include <functional>

namespace tamo {

// Hops work onto the main thread (the GLib loop). Tasks run in posting order.
class MainQueue {
public:
    virtual ~MainQueue() = default;
    virtual void post(std::function<void()> task) = 0;
};

}  // namespace tamo
