// Prints what the native exporter computes for a fixed table of cases, as one JSON object on
// standard output. The page tests run it and compare the page's own crop geometry (and, once the
// native animation is part of the build, its animation curves) against these values in the browser.
#include <iostream>
#include <nlohmann/json.hpp>

#include "export/geometry.h"
#include "export/reframe_plan.h"
#if __has_include("export/animation.h")
#include "export/animation.h"
#define TAMO_HAVE_NATIVE_ANIMATION 1
#endif

namespace {

nlohmann::json geometryTable() {
    const double sizes[][2] = {{1920, 1080},    {1080, 1920}, {1280, 720},  {720, 1280},  {1000, 1000},
                               {640, 480},      {607, 1080},  {1081, 1921}, {3840, 2160}, {1, 1},
                               {333.5, 777.25}, {0, 0},       {100, 0},     {2, 3},       {4096, 2}};
    const char* presets[] = {"original", "9:16", "1:1", "4:5", "16:9", "4:3", "2:1", "16x9", ""};
    nlohmann::json rows = nlohmann::json::array();
    for (const auto& s : sizes) {
        for (const char* p : presets) {
            tamo::OutputGeometry g = tamo::computeGeometry(s[0], s[1], p);
            rows.push_back({{"w", s[0]},
                            {"h", s[1]},
                            {"preset", p},
                            {"width", g.width},
                            {"height", g.height},
                            {"cropX", g.cropX},
                            {"cropY", g.cropY}});
        }
    }
    return rows;
}

// Moved windows and whole output frames: positions, output sizes and fills.
nlohmann::json reframeTable() {
    const double sizes[][2] = {{1920, 1080}, {1080, 1920}, {607, 1080}, {1081, 1921}, {333.5, 777.25}, {2, 3}, {0, 0}};
    const char* presets[] = {"original", "9:16", "1:1", "4:5", "16:9", "4:3"};
    const double positions[] = {0, 33.3, 50, 50.1, 99.9, 100, 250};
    nlohmann::json rows = nlohmann::json::array();
    for (const auto& s : sizes)
        for (const char* p : presets)
            for (double x : positions)
                for (const char* size : {"crop", "standard"})
                    for (const char* fill : {"crop", "fit"}) {
                        tamo::ReframeSettings settings{x, 100 - x, tamo::outputSizeNamed(size),
                                                       tamo::fillModeNamed(fill)};
                        tamo::FramePlan plan = tamo::planFrame(s[0], s[1], p, settings);
                        rows.push_back({{"w", s[0]},
                                        {"h", s[1]},
                                        {"preset", p},
                                        {"px", x},
                                        {"py", 100 - x},
                                        {"outputSize", size},
                                        {"fillMode", fill},
                                        {"cropX", plan.crop.cropX},
                                        {"cropY", plan.crop.cropY},
                                        {"cropWidth", plan.crop.width},
                                        {"cropHeight", plan.crop.height},
                                        {"width", plan.width},
                                        {"height", plan.height},
                                        {"fill", plan.fill == tamo::FillMode::Fit ? "fit" : "crop"},
                                        {"fitX", plan.fitX},
                                        {"fitY", plan.fitY},
                                        {"fitWidth", plan.fitWidth},
                                        {"fitHeight", plan.fitHeight}});
                    }
    return rows;
}

#ifdef TAMO_HAVE_NATIVE_ANIMATION
nlohmann::json animationTable() {
    const char* entries[] = {"none",   "fadeIn", "slideUp",    "slideDown", "slideLeft", "slideRight",
                             "zoomIn", "bounce", "typewriter", "FadeIn",    ""};
    const char* exits[] = {"none", "fadeOut", "slideUp", "slideDown", "slideLeft", "slideRight", "zoomOut", "fadeIn"};
    const double phases[] = {0, 0.5, 2, -1};
    const double times[] = {1, 1.1, 1.25, 1.5, 2, 2.999, 3, 4, 4.5, 4.75, 4.999, 5};
    const int frames[][2] = {{1080, 1920}, {607, 1080}};
    nlohmann::json rows = nlohmann::json::array();
    auto add = [&](const char* in, const char* out) {
        for (const auto& f : frames)
            for (double phase : phases)
                for (double t : times)
                    for (long len : {0L, 7L}) {
                        tamo::AnimState s = tamo::animState(f[0], f[1], in, out, phase, t, 1.0, 5.0, len);
                        rows.push_back({{"in", in},
                                        {"out", out},
                                        {"phase", phase},
                                        {"t", t},
                                        {"start", 1.0},
                                        {"end", 5.0},
                                        {"len", len},
                                        {"W", f[0]},
                                        {"H", f[1]},
                                        {"opacity", s.opacity},
                                        {"tx", s.tx},
                                        {"ty", s.ty},
                                        {"scale", s.scale},
                                        {"textLen", s.textLen}});
                    }
    };
    for (const char* in : entries) add(in, "none");
    for (const char* out : exits) add("none", out);
    add("fadeIn", "fadeOut");
    add("zoomIn", "zoomOut");
    add("slideLeft", "slideUp");
    add("slideUp", "slideDown");
    add("typewriter", "fadeOut");
    add("bounce", "zoomOut");
    return rows;
}
#endif

}  // namespace

int main() {
    nlohmann::json out;
    out["geometry"] = geometryTable();
    out["reframe"] = reframeTable();
#ifdef TAMO_HAVE_NATIVE_ANIMATION
    out["animation"] = animationTable();
#else
    out["animation"] = nullptr;
#endif
    std::cout << out.dump() << '\n';
    return 0;
}
