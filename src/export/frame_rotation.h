#pragma once
#include "export/geometry.h"

namespace tamo {

// Turns a BGRA picture clockwise by 90, 180 or 270 degrees into dst, which must already have the
// turned size (width and height swapped for a quarter turn). Any other angle copies.
void rotateBgra(const BgraView& src, const BgraView& dst, int clockwiseDegrees);

}  // namespace tamo
