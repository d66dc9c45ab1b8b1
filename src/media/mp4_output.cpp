#include "media/mp4_output.h"

namespace tamo::av {

OutputPtr allocateMp4Output(const std::filesystem::path& file, const char* muxer, int* error) {
    AVFormatContext* raw = nullptr;
    int rc = avformat_alloc_output_context2(&raw, nullptr, muxer, file.c_str());
    if (error) *error = rc < 0 ? rc : 0;
    if (rc < 0 || !raw) {
        if (error && rc >= 0) *error = AVERROR(ENOMEM);
        return {};
    }
    return OutputPtr(raw);
}

void fitEncoderToOutput(const AVFormatContext& output, AVCodecContext& encoder) {
    if (output.oformat->flags & AVFMT_GLOBALHEADER) encoder.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
}

AVStream* addEncoderStream(AVFormatContext& output, const AVCodecContext& encoder) {
    AVStream* stream = avformat_new_stream(&output, nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, &encoder) < 0) return nullptr;
    stream->time_base = encoder.time_base;
    return stream;
}

int copyStreamSetup(AVStream& to, const AVStream& from) {
    const int rc = avcodec_parameters_copy(to.codecpar, from.codecpar);
    if (rc < 0) return rc;
    to.codecpar->codec_tag = 0;  // the tag is the new container's to choose
    to.time_base = from.time_base;
    return 0;
}

WriteStart startWriting(AVFormatContext& output, const std::filesystem::path& file, bool fastStart) {
    WriteStart start;
    start.error = avio_open(&output.pb, file.c_str(), AVIO_FLAG_WRITE);
    if (start.error < 0) return start;
    start.error = 0;
    start.fileCreated = true;
    AVDictionary* options = nullptr;
    if (fastStart) av_dict_set(&options, "movflags", "+faststart", 0);
    int rc = avformat_write_header(&output, &options);
    av_dict_free(&options);
    if (rc < 0) start.error = rc;
    return start;
}

}  // namespace tamo::av
