// Prints what the native exporter computes for a fixed table of cases, as one JSON object on standard
// output: crop geometry, whole frame plans and animation curves. native_agreement.test.mjs compares
// the page's own functions against these values in the browser.
#include <iostream>
#include <nlohmann/json.hpp>

#include "export/animation.h"
#include "export/geometry.h"
#include "export/reframe_plan.h"

int main() {
    using nlohmann::json;
    json out = {{"geometry", json::array()}, {"reframe", json::array()}, {"animation", json::array()}};
    const double sizes[][2] = {{1920, 1080}, {1080, 1920}, {1280, 720}, {1000, 1000}, {607, 1080}, {1081, 1921},
                               {3840, 2160}, {1, 1},       {333.5, 777.25}, {0, 0}, {100, 0},      {2, 3}, {4096, 2}};
    const char* presets[] = {"original", "9:16", "1:1", "4:5", "16:9", "4:3", "2:1", ""};
    for (const auto& s : sizes)
        for (const char* p : presets) {
            tamo::OutputGeometry g = tamo::computeGeometry(s[0], s[1], p);
            out["geometry"].push_back({{"w", s[0]}, {"h", s[1]}, {"preset", p}, {"width", g.width},
                                       {"height", g.height}, {"cropX", g.cropX}, {"cropY", g.cropY}});
            for (double x : {0.0, 33.3, 50.1, 100.0, 250.0})
                for (const char* size : {"crop", "standard"})
                    for (const char* fill : {"crop", "fit"}) {
                        tamo::ReframeSettings settings{x, 100 - x, tamo::outputSizeNamed(size), tamo::fillModeNamed(fill)};
                        tamo::FramePlan f = tamo::planFrame(s[0], s[1], p, settings);
                        out["reframe"].push_back(
                            {{"w", s[0]}, {"h", s[1]}, {"preset", p}, {"px", x}, {"py", 100 - x}, {"outputSize", size},
                             {"fillMode", fill}, {"cropX", f.crop.cropX}, {"cropY", f.crop.cropY},
                             {"cropWidth", f.crop.width}, {"cropHeight", f.crop.height}, {"width", f.width},
                             {"height", f.height}, {"fill", f.fill == tamo::FillMode::Fit ? "fit" : "crop"},
                             {"fitX", f.fitX}, {"fitY", f.fitY}, {"fitWidth", f.fitWidth}, {"fitHeight", f.fitHeight}});
                    }
        }
    const std::pair<const char*, const char*> animations[] = {
        {"fadeIn", "none"},     {"slideUp", "none"},    {"slideDown", "none"}, {"slideLeft", "none"},
        {"slideRight", "none"}, {"zoomIn", "none"},     {"bounce", "none"},    {"typewriter", "none"},
        {"FadeIn", "none"},     {"none", "fadeOut"},    {"none", "slideUp"},   {"none", "slideDown"},
        {"none", "slideLeft"},  {"none", "slideRight"}, {"none", "zoomOut"},   {"none", "fadeIn"},
        {"zoomIn", "zoomOut"},  {"slideUp", "slideDown"}, {"typewriter", "fadeOut"}, {"bounce", "zoomOut"}};
    for (const auto& [in, outName] : animations)
        for (int width : {1080, 607})
            for (double phase : {0.0, 0.5, 2.0, -1.0})
                for (double t : {1.0, 1.1, 1.25, 1.5, 2.0, 2.999, 3.0, 4.5, 4.75, 4.999, 5.0})
                    for (long len : {0L, 7L}) {
                        tamo::AnimState a = tamo::animState(width, 1920, in, outName, phase, t, 1.0, 5.0, len);
                        out["animation"].push_back({{"in", in}, {"out", outName}, {"phase", phase}, {"t", t},
                                                    {"len", len}, {"W", width}, {"opacity", a.opacity}, {"tx", a.tx},
                                                    {"ty", a.ty}, {"scale", a.scale}, {"textLen", a.textLen}});
                    }
    std::cout << out.dump() << '\n';
}
