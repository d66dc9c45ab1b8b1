#include "export/ffmpeg_ptr.h"

namespace tamo::av {

InputPtr openInput(const std::string& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return {};
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
