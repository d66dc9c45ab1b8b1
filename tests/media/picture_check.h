#pragma once
// Reads back what the page receives: "data:image/png;base64,…" → pixels, decoded independently of
// the code under test's encoder.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cctype>
#include <cstdint>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "media/media_fixtures.h"

namespace tamo::test {

struct RgbPixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // width * height * 3
};

// The bytes of standard padded base64 (nothing when it is not exactly that).
inline std::optional<std::string> strictBase64Decode(const std::string& text) {
    if (text.empty() || text.size() % 4 != 0) return std::nullopt;
    auto padding = text.size() - text.find_last_not_of('=') - 1;
    if (padding > 2) return std::nullopt;
    for (std::size_t i = 0; i < text.size() - padding; ++i) {
        char c = text[i];
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '/') return std::nullopt;
    }
    gsize length = 0;
    guchar* raw = g_base64_decode(text.c_str(), &length);
    std::string bytes(reinterpret_cast<char*>(raw), length);
    g_free(raw);
    return bytes;
}

// PNG bytes (and only PNG) → RGB pixels.
inline std::optional<RgbPixels> decodePng(const std::string& bytes) {
    if (bytes.rfind("\x89PNG\r\n\x1a\n", 0) != 0) return std::nullopt;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
    if (!loader) return std::nullopt;
    bool ok = gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes.data()), bytes.size(), nullptr) &&
              gdk_pixbuf_loader_close(loader, nullptr);
    GdkPixbuf* pixbuf = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
    std::optional<RgbPixels> out;
    if (pixbuf) {
        RgbPixels p{gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf), {}};
        int channels = gdk_pixbuf_get_n_channels(pixbuf), stride = gdk_pixbuf_get_rowstride(pixbuf);
        const guchar* data = gdk_pixbuf_read_pixels(pixbuf);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                for (int c = 0; c < 3; ++c) p.rgb.push_back(data[y * stride + x * channels + c]);
        out = std::move(p);
    }
    if (!ok) gdk_pixbuf_loader_close(loader, nullptr);
    g_object_unref(loader);
    return out;
}

// The picture as ffmpeg decodes it, for comparison.
inline std::optional<RgbPixels> referencePixels(const std::filesystem::path& picture, int width, int height,
                                                const std::filesystem::path& scratch) {
    if (!ffmpeg("-i " + shellQuoted(picture) + " -frames:v 1 -f rawvideo -pix_fmt rgb24 " + shellQuoted(scratch)))
        return std::nullopt;
    RgbPixels p{width, height, {}};
    std::string raw = readFile(scratch);
    if (raw.size() != static_cast<std::size_t>(width) * height * 3) return std::nullopt;
    p.rgb.assign(raw.begin(), raw.end());
    return p;
}

inline double meanAbsDifference(const RgbPixels& a, const RgbPixels& b) {
    if (a.rgb.size() != b.rgb.size() || a.rgb.empty()) return 1e9;
    double sum = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i) sum += std::abs(int(a.rgb[i]) - int(b.rgb[i]));
    return sum / a.rgb.size();
}

// onImagePicked({imageId:'…',dataURL:'data:image/png;base64,…',width:…,height:…})
struct PickedCall {
    std::string imageId, base64;
    int width = 0, height = 0;
};
inline std::optional<PickedCall> parsePicked(const std::string& call, const std::string& function = "onImagePicked") {
    static const std::string tail =
        R"(\(\{imageId:'([^']*)',dataURL:'data:image/png;base64,([^']*)',width:(\d+),height:(\d+)\}\)$)";
    std::smatch m;
    if (!std::regex_match(call, m, std::regex("^" + function + tail))) return std::nullopt;
    return PickedCall{m[1], m[2], std::stoi(m[3]), std::stoi(m[4])};
}

// onImageReloaded({imageId:'…',dataURL:'data:image/png;base64,…'})
inline std::optional<std::pair<std::string, std::string>> parseReloaded(const std::string& call) {
    static const std::regex shape(
        R"(^onImageReloaded\(\{imageId:'([^']*)',dataURL:'data:image/png;base64,([^']*)'\}\)$)");
    std::smatch m;
    if (!std::regex_match(call, m, shape)) return std::nullopt;
    return std::make_pair(m[1].str(), m[2].str());
}

}  // namespace tamo::test
