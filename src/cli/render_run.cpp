#include "cli/render_run.h"

#include <system_error>

#include "export/export_run.h"
#include "media/ffmpeg_ptr.h"

namespace tamo::cli {

Outcome<> renderExport(const ExportInputs& inputs, const std::optional<std::filesystem::path>& narration,
                       const std::function<void(int)>& progress, const std::atomic<bool>* cancel) {
    if (cancel && cancel->load()) return Failure::cancel();
    std::error_code ec;
    auto kind = std::filesystem::status(inputs.outputURL, ec).type();
    // The finished file is renamed over the output: only a file, or nothing, may be replaced so.
    if (kind != std::filesystem::file_type::not_found && kind != std::filesystem::file_type::regular &&
        kind != std::filesystem::file_type::none)
        return fail(inputs.outputURL.string() + " is not a regular file");
    Outcome<> result = runExport(inputs, narration, progress, cancel);
    if (result && progress) progress(100);
    return result;
}

bool isCompleteOutput(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return false;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec || size == 0) return false;
    av::InputPtr in = av::openInput(file.string(), "mov");
    if (!in) return false;
    // A cut copy may still carry its sample tables at the front; every sample they list must lie
    // within the file, and there must be a picture.
    bool picture = false;
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        AVStream* st = in->streams[i];
        const int count = avformat_index_get_entries_count(st);
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && count > 0) picture = true;
        for (int k = 0; k < count; ++k) {
            const AVIndexEntry* e = avformat_index_get_entry(st, k);
            if (e && e->pos + e->size > static_cast<std::int64_t>(size)) return false;
        }
    }
    return picture;
}

}  // namespace tamo::cli
