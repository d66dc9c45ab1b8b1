#pragma once
// Reads back what the page receives ("data:image/png;base64,…") as pixels, decoded independently of
// the code under test's encoder.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace tamo::test {

struct RgbPixels {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;  // width * height * 3
    const std::uint8_t* at(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
};

// Standard padded base64 of a PNG (and only that) → RGB pixels.
inline std::optional<RgbPixels> decodePngBase64(const std::string& text) {
    const auto body = text.find_last_not_of('=') + 1;
    if (text.empty() || text.size() % 4 || text.size() - body > 2 ||
        std::min(text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"),
                 text.size()) != body)
        return std::nullopt;
    gsize length = 0;
    guchar* raw = g_base64_decode(text.c_str(), &length);
    std::string bytes(reinterpret_cast<char*>(raw), length);
    g_free(raw);
    if (bytes.rfind("\x89PNG\r\n\x1a\n", 0) != 0) return std::nullopt;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
    bool ok = gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes.data()), bytes.size(), nullptr);
    ok = gdk_pixbuf_loader_close(loader, nullptr) && ok;
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
    g_object_unref(loader);
    return out;
}

// onImagePicked({imageId:'…',dataURL:'data:image/png;base64,…',width:…,height:…})
struct PickedCall {
    std::string imageId, base64;
    int width = 0, height = 0;
};
inline std::optional<PickedCall> parsePicked(const std::string& call, const std::string& function = "onImagePicked") {
    std::smatch m;
    if (!std::regex_match(call, m,
                          std::regex("^" + function +
                                     R"(\(\{imageId:'([^']*)',dataURL:'data:image/png;base64,([^']*)',)"
                                     R"(width:(\d+),height:(\d+)\}\)$)")))
        return std::nullopt;
    return PickedCall{m[1], m[2], std::stoi(m[3]), std::stoi(m[4])};
}

}  // namespace tamo::test
