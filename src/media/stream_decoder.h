#pragma once
// Opening a media file for decoding, in one place for every feature that reads pictures or sound:
// the container (file protocol only, the demuxer whitelist: openInput in ffmpeg_ptr.h), the choice
// of stream, and the stream's decoder.
#include <string>

#include "media/ffmpeg_ptr.h"

namespace tamo::av {

// A video stream that plays; a cover picture attached to a sound file does not.
bool playsPicture(const AVStream& stream);

// Index of the first stream that plays pictures / the first audio stream, in the file's own order
// (not the library's "best" guess); -1 when there is none.
int firstVideoStream(const AVFormatContext& input);
int firstAudioStream(const AVFormatContext& input);

// A decoder opened for one stream, its packets' time base set. threads: 1 decodes on the calling
// thread, 0 lets FFmpeg choose; more use frame and slice threads. Empty when the stream's codec is
// unknown or refuses to open.
CodecPtr openDecoder(const AVStream& stream, int threads = 1);

// Packets of the other streams are dropped by the demuxer rather than read and thrown away.
void readOnlyStream(AVFormatContext& input, int streamIndex);

// A file opened for decoding one stream of the given kind (the first of that kind).
struct StreamDecoding {
    InputPtr input;
    CodecPtr decoder;
    int stream = -1;
    explicit operator bool() const { return input && decoder && stream >= 0; }
};

// Empty when the file cannot be opened, has no such stream or it cannot be decoded.
// formatWhitelist: nullptr for the media formats (kMediaFormats).
StreamDecoding openStreamDecoding(const std::string& path, AVMediaType kind, int threads = 1,
                                  const char* formatWhitelist = nullptr);

}  // namespace tamo::av
