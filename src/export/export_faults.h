#pragma once
// Points in an export where tests make it fail the way a starved machine would: a thread that
// cannot start (std::system_error), an allocation that fails (std::bad_alloc). Unarmed, passing
// a point costs one atomic load.
#include <exception>

namespace tamo::exportfault {

enum class Point { ExportThreadStart, ExportThread, MergeWriting };

// The next pass through `point` throws `what` (once).
void arm(Point point, std::exception_ptr what);
void disarm();
void pass(Point point);

}  // namespace tamo::exportfault
