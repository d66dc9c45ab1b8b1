#pragma once
#include <atomic>
#include <cstddef>
#include <memory>

#include "platform/main_queue.h"

typedef struct _GMainContext GMainContext;

namespace tamo {

// Main queue on a GLib main context (the default one unless given).
// Tasks run at default priority in posting order; pending() counts those not yet run.
class GlibMainQueue : public MainQueue {
public:
    explicit GlibMainQueue(GMainContext* context = nullptr);
    void post(std::function<void()> task) override;
    std::size_t pending() const { return pending_->load(); }

private:
    GMainContext* context_;
    std::shared_ptr<std::atomic<std::size_t>> pending_ = std::make_shared<std::atomic<std::size_t>>(0);
};

}  // namespace tamo
