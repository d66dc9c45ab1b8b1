#pragma once
#include "export/gaussian_blur.h"
#include "export/geometry.h"

namespace tamo {

// Turns a BGRA picture clockwise by 90, 180 or 270 degrees into dst, which must already have the
// turned size (width and height swapped for a quarter turn). Any other angle copies.
void rotateBgra(const BgraView& src, const BgraView& dst, int clockwiseDegrees);

// The same for one 8-bit plane (channels 1): a transpose with a flip for the quarter turns.
void rotatePlane(const PlaneView& src, const PlaneView& dst, int clockwiseDegrees);

}  // namespace tamo
