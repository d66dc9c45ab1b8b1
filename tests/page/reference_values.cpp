// Prints what the native side computes and writes, as one JSON object on standard output: crop geometry,
// frame plans and animation curves for a table of cases (rows of values in the order
// native_agreement.test.mjs reads them), and script calls with a hostile text and numbers in the
// environment's locale, which that test runs in the page.
#include <clocale>
#include <iostream>
#include <nlohmann/json.hpp>

#include "bridge/script_calls.h"
#include "export/animation.h"
#include "export/geometry.h"
#include "export/reframe_plan.h"

int main() {
    using nlohmann::json;
    json out = {{"geometry", json::array()}, {"reframe", json::array()}, {"animation", json::array()}};
    const double sizes[][2] = {{1920, 1080}, {1080, 1920}, {1280, 720}, {1000, 1000},    {607, 1080},
                               {1081, 1921}, {3840, 2160}, {1, 1},      {333.5, 777.25}, {0, 0},
                               {100, 0},     {2, 3},       {4096, 2}};
    const char* presets[] = {"original", "9:16", "1:1", "4:5", "16:9", "4:3", "2:1", ""};
    for (const auto& s : sizes)
        for (const char* p : presets) {
            tamo::OutputGeometry g = tamo::computeGeometry(s[0], s[1], p);
            out["geometry"].push_back(json::array({s[0], s[1], p, g.width, g.height, g.cropX, g.cropY}));
            for (double x : {0.0, 33.3, 50.1, 100.0, 250.0})
                for (const char* size : {"crop", "standard"})
                    for (const char* fill : {"crop", "fit"}) {
                        tamo::ReframeSettings settings{x, 100 - x, tamo::outputSizeNamed(size),
                                                       tamo::fillModeNamed(fill)};
                        tamo::FramePlan f = tamo::planFrame(s[0], s[1], p, settings);
                        out["reframe"].push_back(json::array({s[0], s[1], p, x, 100 - x, size, fill, f.crop.cropX,
                                                              f.crop.cropY, f.crop.width, f.crop.height, f.width,
                                                              f.height, f.fill == tamo::FillMode::Fit ? "fit" : "crop",
                                                              f.fitX, f.fitY, f.fitWidth, f.fitHeight}));
                    }
        }
    const std::pair<const char*, const char*> animations[] = {
        {"fadeIn", "none"},     {"slideUp", "none"},      {"slideDown", "none"},     {"slideLeft", "none"},
        {"slideRight", "none"}, {"zoomIn", "none"},       {"bounce", "none"},        {"typewriter", "none"},
        {"FadeIn", "none"},     {"none", "fadeOut"},      {"none", "slideUp"},       {"none", "slideDown"},
        {"none", "slideLeft"},  {"none", "slideRight"},   {"none", "zoomOut"},       {"none", "fadeIn"},
        {"zoomIn", "zoomOut"},  {"slideUp", "slideDown"}, {"typewriter", "fadeOut"}, {"bounce", "zoomOut"}};
    for (const auto& [in, outName] : animations)
        for (int width : {1080, 607})
            for (double phase : {0.0, 0.5, 2.0, -1.0})
                for (double t : {1.0, 1.1, 1.25, 1.5, 2.0, 2.999, 3.0, 4.5, 4.75, 4.999, 5.0})
                    for (long len : {0L, 7L}) {
                        tamo::AnimState a = tamo::animState(width, 1920, in, outName, phase, t, 1.0, 5.0, len);
                        out["animation"].push_back(json::array(
                            {in, outName, phase, t, len, width, a.opacity, a.tx, a.ty, a.scale, a.textLen}));
                    }
    std::setlocale(LC_ALL, "");  // as the window takes it through GTK: a Hungarian one writes 3,0
    namespace call = tamo::scriptcall;
    const std::string hostile =
        "<img src=x onerror=\"window.__pwned='img'\"><script>window.__pwned='s'</script><b>b</b> \\'); "
        "window.__pwned='q'; "
        "(' \n\r\t\x1b\x7f \u2028\u2029 \"q\" 🙂";
    out["decimalPoint"] = std::localeconv()->decimal_point;
    out["hostile"] = hostile;
    for (auto write : {call::onWhisperError, call::onNarrationError, call::onProductImageError, call::onBackgroundError,
                       call::onExportError, call::showWhisperStatus, call::onVideoError, call::onImageMissing,
                       call::onSubtitlesError, call::onSubtitlesSaved, call::onUrlFetchedError, call::onProjectOpened,
                       call::onProjectSaved})
        out["calls"].push_back(write(hostile));
    out["calls"].push_back(call::onNarrationReady(2.26));
    out["calls"].push_back(*call::onVideoLoaded({{"url", ""}, {"width", 1080}, {"height", 1920}, {"duration", 12.75}}));
    std::cout << out.dump() << '\n';
}
