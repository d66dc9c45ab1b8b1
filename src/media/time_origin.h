#pragma once
extern "C" {
#include <libavformat/avformat.h>
}

namespace tamo {

// The moment an export's timeline starts: the presentation time of the source's first video
// frame, in seconds on the file's clock. Picture, progress, overlays and the source's sound are
// all measured from it. 0 when the file has no video stream or no start time.
double videoTimeOrigin(const AVFormatContext& input);
// The file has a picture that plays (not only a cover picture).
bool hasPicture(const AVFormatContext& input);

}  // namespace tamo
