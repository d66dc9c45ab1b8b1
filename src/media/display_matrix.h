#pragma once
extern "C" {
struct AVStream;
}

namespace tamo {

// Clockwise rotation in degrees (0, 90, 180 or 270) that shows a stream upright, read from its
// display-matrix side data; 0 when there is none.
int streamRotationDegrees(const AVStream* stream);

// The stream's display size: the coded size with width and height swapped for a quarter turn.
struct DisplaySize {
    double width = 0;
    double height = 0;
};
DisplaySize streamDisplaySize(const AVStream* stream);

}  // namespace tamo
