#include "media/ffmpeg_ptr.h"

namespace tamo::av {

InputPtr openInput(const std::string& path, const char* formatWhitelist) {
    AVFormatContext* raw = nullptr;
    AVDictionary* options = nullptr;
    if (formatWhitelist) {
        av_dict_set(&options, "format_whitelist", formatWhitelist, 0);
        av_dict_set(&options, "protocol_whitelist", "file", 0);
    }
    int rc = avformat_open_input(&raw, path.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (rc < 0) return {};
    InputPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) return {};
    return input;
}

std::string errorText(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

}  // namespace tamo::av
