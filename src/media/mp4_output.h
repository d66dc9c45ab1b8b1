#pragma once
// Setting up an MPEG-4 file for writing, in one place for every feature that writes one (the
// export's video and its merge with the sound, background clips, the sound sent for transcription).
#include <filesystem>

#include "media/ffmpeg_ptr.h"

namespace tamo::av {

// The muxer of an MPEG-4 family container for a file ("mp4", or "ipod" for M4A sound); the file is
// not created yet. Empty when the muxer cannot be had, with its error code in *error.
OutputPtr allocateMp4Output(const std::filesystem::path& file, const char* muxer = "mp4", int* error = nullptr);

// Flags an encoder with what the container needs of it (headers kept out of the packets); before
// the encoder opens.
void fitEncoderToOutput(const AVFormatContext& output, AVCodecContext& encoder);

// A new stream carrying an opened encoder's parameters, in the encoder's time base; nullptr when
// the stream cannot be added.
AVStream* addEncoderStream(AVFormatContext& output, const AVCodecContext& encoder);

// Sets a new output stream up to carry another file's stream packet for packet: its parameters, the
// container's own tag, its time base. 0 or an AVERROR code.
int copyStreamSetup(AVStream& to, const AVStream& from);

struct WriteStart {
    int error = 0;             // 0, or the AVERROR code of the step that failed
    bool fileCreated = false;  // the file was created (so a failure was in writing the header)
    explicit operator bool() const { return error == 0; }
};

// Creates the file and writes the container header. fastStart puts the index first, so the file
// plays while it downloads.
WriteStart startWriting(AVFormatContext& output, const std::filesystem::path& file, bool fastStart = false);

}  // namespace tamo::av
