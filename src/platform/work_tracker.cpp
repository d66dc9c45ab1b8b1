#include "platform/work_tracker.h"

namespace tamo {

WorkToken WorkTracker::begin() {
    auto count = count_;
    count->fetch_add(1);
    // The deleter keeps the counter alive even if the tracker goes first.
    return WorkToken(static_cast<void*>(count.get()), [count](void*) { count->fetch_sub(1); });
}

}  // namespace tamo
