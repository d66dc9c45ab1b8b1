#include "export/export_faults.h"

#include <atomic>
#include <mutex>

namespace tamo::exportfault {
namespace {

std::atomic<bool> armed{false};
std::mutex lock;
Point armedPoint = Point::ExportThreadStart;
std::exception_ptr armedWhat;

}  // namespace

void arm(Point point, std::exception_ptr what) {
    std::lock_guard<std::mutex> hold(lock);
    armedPoint = point;
    armedWhat = std::move(what);
    armed = true;
}

void disarm() {
    std::lock_guard<std::mutex> hold(lock);
    armed = false;
    armedWhat = nullptr;
}

void pass(Point point) {
    if (!armed.load(std::memory_order_relaxed)) return;
    std::exception_ptr what;
    {
        std::lock_guard<std::mutex> hold(lock);
        if (!armed || armedPoint != point) return;
        what = std::move(armedWhat);
        armedWhat = nullptr;
        armed = false;
    }
    if (what) std::rethrow_exception(what);
}

}  // namespace tamo::exportfault
