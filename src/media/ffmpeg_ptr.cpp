#include "media/ffmpeg_ptr.h"

namespace tamo::av {

InputPtr openContainer(const std::string& path, const char* formatWhitelist) {
    AVFormatContext* raw = nullptr;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "format_whitelist", formatWhitelist ? formatWhitelist : kMediaFormats, 0);
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    // A path is a file name, never an address: "file:" keeps a name holding a colon from naming a protocol.
    const std::string url = "file:" + path;
    int rc = avformat_open_input(&raw, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (rc < 0) return {};
    return InputPtr(raw);
}

InputPtr openInput(const std::string& path, const char* formatWhitelist) {
    InputPtr input = openContainer(path, formatWhitelist);
    if (!input) return {};
    if (avformat_find_stream_info(input.get(), nullptr) < 0) return {};
    return input;
}

std::string errorText(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

}  // namespace tamo::av
