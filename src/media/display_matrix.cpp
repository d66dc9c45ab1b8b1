#include "media/display_matrix.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

#include <cmath>

namespace tamo {

int streamRotationDegrees(const AVStream* stream) {
    if (!stream) return 0;
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (!matrix) return 0;
    // av_display_rotation_get gives the counter-clockwise angle; round to a quarter turn.
    double ccw = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (std::isnan(ccw)) return 0;
    long quarter = std::lround(-ccw / 90.0);
    return static_cast<int>(((quarter % 4) + 4) % 4) * 90;
}

DisplaySize streamDisplaySize(const AVStream* stream) {
    if (!stream || !stream->codecpar) return {};
    double w = stream->codecpar->width, h = stream->codecpar->height;
    int rotation = streamRotationDegrees(stream);
    if (rotation == 90 || rotation == 270) return {h, w};
    return {w, h};
}

}  // namespace tamo
