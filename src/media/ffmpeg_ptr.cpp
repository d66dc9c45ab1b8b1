#include "media/ffmpeg_ptr.h"

#include "platform/failure_texts.h"
#include "platform/texts/file_texts.h"

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
    // AVERROR(e) is -e for the C library's error numbers; the file failures have Hungarian texts.
    if (code < 0 && code > -4096) {
        if (auto text = knownFileFailureText(-code)) return *text;
    }
    if (code == AVERROR_INVALIDDATA) return texts::file::kInvalidMediaData;
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

}  // namespace tamo::av
