#include "export/overlay_records.h"

#include "export/font_resolver.h"
#include "export/hex_color.h"
#include "platform/json_params.h"

namespace tamo {
namespace {

using nlohmann::json;

double num(const json& e, const char* key, double fallback) { return params::realNumber(e, key, fallback); }
bool flag(const json& e, const char* key, bool fallback) { return params::boolean(e, key, fallback); }
std::string str(const json& e, const char* key, const char* fallback) { return params::text(e, key, fallback); }
RgbaColor color(const json& e, const char* key, const char* fallback) { return colorFromHex(str(e, key, fallback)); }

TextAlignment alignmentFrom(const std::string& name) {
    if (name == "center") return TextAlignment::Center;
    if (name == "right") return TextAlignment::Right;
    return TextAlignment::Left;
}

struct Builder {
    const RecordContext& ctx;
    double W, H, D, S;
    FontResolver fonts;
    std::map<std::filesystem::path, PictureSurface> pictures;  // one decode per file and export
    OverlaySet out;

    void text(const json& e, double timeStart, double timeEnd) {
        TextDrawInfo t;
        t.text = str(e, "text", "");
        if (t.text.empty()) return;
        std::string family = str(e, "fontFamily", "Helvetica");
        double sizePercent = num(e, "fontSizePercent", 5);
        t.color = color(e, "fontColor", "#ffffff");
        bool bold = flag(e, "bold", false), italic = flag(e, "italic", false);
        t.x = num(e, "xPercent", 50) / 100 * W;
        t.y = num(e, "yPercent", 80) / 100 * H;
        t.alignment = alignmentFrom(str(e, "alignment", "center"));
        t.strokeEnabled = flag(e, "strokeEnabled", false);
        t.strokeColor = color(e, "strokeColor", "#000000");
        t.strokeWidth = num(e, "strokeWidth", 2) * S;
        t.bgEnabled = flag(e, "bgEnabled", false);
        t.bgColor = color(e, "bgColor", "#000000");
        t.bgOpacity = num(e, "bgOpacity", 60) / 100;
        t.shadowEnabled = flag(e, "shadowEnabled", true);
        t.shadowColor = color(e, "shadowColor", "#000000");
        t.shadowBlur = num(e, "shadowBlur", 3) * S;
        t.animationIn = str(e, "animationIn", "none");
        t.animationOut = str(e, "animationOut", "none");
        t.animationDuration = num(e, "animationDuration", 0.5);
        t.font = fonts.resolve(family, sizePercent / 100 * H, bold, italic);
        t.textWidth = 0.9 * W;
        t.boxMarginScale = ctx.pixelScale;
        t.timeStart = timeStart;
        t.timeEnd = timeEnd;
        out.texts.push_back(std::move(t));
    }

    void image(const json& e, double timeStart, double timeEnd) {
        std::string id = str(e, "imageId", "");
        if (!ctx.images) return;
        auto found = ctx.images->find(id);
        if (found == ctx.images->end()) return;
        auto cached = pictures.find(found->second);
        if (cached == pictures.end())
            cached = pictures.emplace(found->second, makePictureSurface(decodePictureFile(found->second))).first;
        if (!cached->second) return;
        ImageDrawInfo i;
        i.cgImage = cached->second;
        i.xPercent = num(e, "xPercent", 50);
        i.yPercent = num(e, "yPercent", 50);
        i.scalePercent = num(e, "scalePercent", 20);
        i.opacity = num(e, "opacity", 100);
        i.animationIn = str(e, "animationIn", "none");
        i.animationOut = str(e, "animationOut", "none");
        i.animationDuration = num(e, "animationDuration", 0.5);
        i.aspectRatio = static_cast<double>(cairo_image_surface_get_width(i.cgImage.get())) /
                        cairo_image_surface_get_height(i.cgImage.get());
        i.timeStart = timeStart;
        i.timeEnd = timeEnd;
        out.images.push_back(std::move(i));
    }

    void blur(const json& e, double timeStart, double timeEnd) {
        BlurDrawInfo b;
        b.xPercent = num(e, "xPercent", 50);
        b.yPercent = num(e, "yPercent", 50);
        b.widthPercent = num(e, "widthPercent", 20);
        b.heightPercent = num(e, "heightPercent", 15);
        b.blurAmount = num(e, "blurAmount", 15) * ctx.pixelScale;
        b.timeStart = timeStart;
        b.timeEnd = timeEnd;
        out.blurs.push_back(b);
    }

    void progressBar(const json& e) {
        ProgressBarDrawInfo p;
        p.color = color(e, "color", "#6c5ce7");
        p.bgColor = color(e, "bgColor", "#333333");
        p.bgOpacity = num(e, "bgOpacity", 30) / 100;
        p.heightPercent = num(e, "heightPercent", 0.8);
        p.position = str(e, "position", "bottom");
        out.progressBar = std::move(p);  // the last progress bar of the list wins
    }
};

}  // namespace

OverlaySet buildOverlaySet(const json& textObjects, const RecordContext& ctx) {
    Builder b{
        ctx, double(ctx.width), double(ctx.height), ctx.durationSeconds, double(ctx.height) / ctx.previewHeight, {}, {},
        {}};
    if (!textObjects.is_array()) return {};
    for (const auto& entry : textObjects) {
        if (!entry.is_object()) continue;
        std::string type = str(entry, "type", "text");
        double timeStart = num(entry, "timeStartPercent", 0) / 100 * b.D;
        double timeEnd = num(entry, "timeEndPercent", 100) / 100 * b.D;
        if (type == "text" || type == "emoji")
            b.text(entry, timeStart, timeEnd);
        else if (type == "image")
            b.image(entry, timeStart, timeEnd);
        else if (type == "blur")
            b.blur(entry, timeStart, timeEnd);
        else if (type == "progressbar")
            b.progressBar(entry);
    }
    return std::move(b.out);
}

}  // namespace tamo
