// Time to write the default background clip (1080×1920, 15 s, 450 frames of one colour), against
// a one-frame clip of the same size measured in the same run: the ratio shows what the 449
// repeated frames add on top of the key frame.
#include <glib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

extern "C" {
#include <libavutil/log.h>
}
#include <filesystem>

#include "background/background_frame.h"
#include "background/background_plan.h"
#include "background/still_clip_writer.h"

using namespace tamo;

static double cpuSeconds = 0;

static double secondsFor(std::int64_t frames, const std::filesystem::path& file) {
    std::clock_t cpuStart = std::clock();
    auto plan = planBackground(1080, 1920, 15.0, "#1a1a2e");
    auto start = std::chrono::steady_clock::now();
    PixbufPtr frame = drawBackgroundFrame(plan->encodeWidth, plan->encodeHeight, plan->color, nullptr);
    auto error = writeStillClip(file, frame.get(), {kBackgroundFps, frames, plan->bitRate});
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    if (!error) std::fprintf(stderr, "writing failed: %s\n", error.error().c_str());
    return s;
}

int main() {
    av_log_set_level(AV_LOG_ERROR);
    auto dir = std::filesystem::path(g_get_tmp_dir()) / "tamo_bg_bench";
    std::filesystem::create_directories(dir);
    double best1 = 1e9, best450 = 1e9;
    double cpu450 = 1e9;
    for (int run = 0; run < 3; ++run) {
        best1 = std::min(best1, secondsFor(1, dir / "one.mp4"));
        best450 = std::min(best450, secondsFor(450, dir / "clip.mp4"));
        cpu450 = std::min(cpu450, cpuSeconds);
    }
    std::printf(
        "background clip 1080x1920 15 s: %.3f s wall, %.3f s CPU (one-frame clip: %.3f s, ratio %.2f), %ju bytes\n",
        best450, cpu450, best1, best450 / best1,
        static_cast<std::uintmax_t>(std::filesystem::file_size(dir / "clip.mp4")));
    if (!std::getenv("KEEP")) std::filesystem::remove_all(dir);
    return 0;
}
