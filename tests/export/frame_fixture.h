#pragma once
// Synthetic BGRA frames for the renderer tests: fill, read pixels, find ink, guard bytes.
#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "export/draw_info.h"
#include "export/geometry.h"

namespace tamo::testing {

struct Bgra {
    int b = 0, g = 0, r = 0, a = 255;
    bool operator==(const Bgra&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Bgra& p) {
    return os << "(b" << p.b << " g" << p.g << " r" << p.r << " a" << p.a << ")";
}

// A frame with `padding` spare bytes at the end of each row and guard bytes before and after the
// pixels, so that a write outside the frame shows.
class TestFrame {
public:
    static constexpr int kGuard = 4096;
    static constexpr std::uint8_t kGuardByte = 0xA5;

    TestFrame(int width, int height, int padding = 0)
        : width_(width),
          height_(height),
          stride_(4 * width + padding),
          bytes_(static_cast<std::size_t>(stride_) * height + 2 * kGuard, kGuardByte) {}

    BgraView view() { return BgraView{bytes_.data() + kGuard, width_, height_, stride_}; }
    int width() const { return width_; }
    int height() const { return height_; }

    Bgra at(int x, int y) const {
        const std::uint8_t* p = pixel(x, y);
        return {p[0], p[1], p[2], p[3]};
    }
    void set(int x, int y, Bgra c) {
        std::uint8_t* p = pixel(x, y);
        p[0] = static_cast<std::uint8_t>(c.b);
        p[1] = static_cast<std::uint8_t>(c.g);
        p[2] = static_cast<std::uint8_t>(c.r);
        p[3] = static_cast<std::uint8_t>(c.a);
    }
    void fill(Bgra c) {
        forEach([&](int x, int y) { set(x, y, c); });
    }
    void fill(const std::function<Bgra(int, int)>& f) {
        forEach([&](int x, int y) { set(x, y, f(x, y)); });
    }
    void forEach(const std::function<void(int, int)>& f) const {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) f(x, y);
    }

    // True when nothing outside the pixels (guards, row padding) was written.
    bool guardsIntact() const {
        for (int i = 0; i < kGuard; ++i)
            if (bytes_[i] != kGuardByte || bytes_[bytes_.size() - 1 - i] != kGuardByte) return false;
        for (int y = 0; y < height_; ++y)
            for (int i = 4 * width_; i < stride_; ++i)
                if (bytes_[kGuard + static_cast<std::size_t>(y) * stride_ + i] != kGuardByte) return false;
        return true;
    }

    bool samePixels(const TestFrame& o) const {
        for (int y = 0; y < height_; ++y)
            if (!std::equal(pixel(0, y), pixel(0, y) + 4 * width_, o.pixel(0, y))) return false;
        return true;
    }

private:
    const std::uint8_t* pixel(int x, int y) const {
        return bytes_.data() + kGuard + static_cast<std::size_t>(y) * stride_ + 4 * static_cast<std::size_t>(x);
    }
    std::uint8_t* pixel(int x, int y) {
        return bytes_.data() + kGuard + static_cast<std::size_t>(y) * stride_ + 4 * static_cast<std::size_t>(x);
    }

    int width_, height_, stride_;
    std::vector<std::uint8_t> bytes_;
};

struct Box {
    int x0 = 0, y0 = 0, x1 = -1, y1 = -1;  // inclusive; x1 < x0 when nothing matched
    bool empty() const { return x1 < x0; }
    double cx() const { return (x0 + x1 + 1) / 2.0; }
    double cy() const { return (y0 + y1 + 1) / 2.0; }
};

// Bounding box of the pixels for which `match` holds.
inline Box findBox(const TestFrame& f, const std::function<bool(const Bgra&)>& match) {
    Box b{f.width(), f.height(), -1, -1};
    f.forEach([&](int x, int y) {
        if (!match(f.at(x, y))) return;
        b.x0 = std::min(b.x0, x);
        b.y0 = std::min(b.y0, y);
        b.x1 = std::max(b.x1, x);
        b.y1 = std::max(b.y1, y);
    });
    if (b.x1 < 0) return Box{};
    return b;
}

inline int countPixels(const TestFrame& f, const std::function<bool(const Bgra&)>& match) {
    int n = 0;
    f.forEach([&](int x, int y) { n += match(f.at(x, y)) ? 1 : 0; });
    return n;
}

// A solid-colour picture of the given size.
inline PictureSurface solidPicture(int w, int h, double r, double g, double b) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, r, g, b);
    cairo_paint(cr);
    cairo_destroy(cr);
    return makePictureSurface(s);
}

inline TextDrawInfo plainText(const std::string& text, double x, double y, double pixelSize, double textWidth) {
    TextDrawInfo t;
    t.text = text;
    t.font = ResolvedFont{"DejaVu Sans", pixelSize, false, false};
    t.color = RgbaColor{1, 1, 1, 1};
    t.shadowEnabled = false;
    t.x = x;
    t.y = y;
    t.textWidth = textWidth;
    t.alignment = TextAlignment::Center;
    t.timeStart = 0;
    t.timeEnd = 10;
    return t;
}

}  // namespace tamo::testing
