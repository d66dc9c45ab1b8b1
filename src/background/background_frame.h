#pragma once
#include "export/hex_color.h"
#include "media/picture_decoder.h"

namespace tamo {

// The one frame of a background clip: the colour, and over it the picture (when given) scaled to
// cover the whole frame, keeping its aspect ratio, centred, the overflow on the long side cut off.
// RGB, no alpha; empty when the pixel memory cannot be had.
PixbufPtr drawBackgroundFrame(int width, int height, const RgbaColor& color, const DecodedPicture* picture);

}  // namespace tamo
