#pragma once
#include "media/ffmpeg_ptr.h"

namespace tamo::av {

// A decoder opened for one video stream, its packets' time base set. threads: 0 lets FFmpeg
// choose, 1 decodes on the calling thread; more use frame and slice threads. Empty when the
// stream's codec is unknown or refuses to open.
CodecPtr openVideoDecoder(const AVStream& stream, int threads);

}  // namespace tamo::av
