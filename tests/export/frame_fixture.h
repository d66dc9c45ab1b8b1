#pragma once
// Synthetic BGRA frames for the renderer tests: guard bytes around the pixels show a write outside.
#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <ostream>
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

class TestFrame {
public:
    static constexpr int kGuard = 4096;
    TestFrame(int width, int height, int padding = 0)
        : width_(width), height_(height), stride_(4 * width + padding), bytes_(stride_ * height + 2 * kGuard, 0xA5) {}

    BgraView view() { return BgraView{bytes_.data() + kGuard, width_, height_, stride_}; }
    int width() const { return width_; }
    int height() const { return height_; }
    Bgra at(int x, int y) const {
        const std::uint8_t* p = &bytes_[kGuard + y * stride_ + 4 * x];
        return {p[0], p[1], p[2], p[3]};
    }
    void fill(const std::function<Bgra(int, int)>& f) {
        forEach([&](int x, int y) {
            const Bgra c = f(x, y);
            std::uint8_t* p = &bytes_[kGuard + y * stride_ + 4 * x];
            p[0] = c.b, p[1] = c.g, p[2] = c.r, p[3] = c.a;
        });
    }
    void fill(Bgra c) {
        fill([c](int, int) { return c; });
    }
    void forEach(const std::function<void(int, int)>& f) const {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) f(x, y);
    }
    // True when nothing outside the pixels (guards, row padding) was written.
    bool guardsIntact() const {
        for (std::size_t i = 0; i < bytes_.size(); ++i) {
            const std::size_t in = i - kGuard;
            const bool pixel =
                i >= std::size_t(kGuard) && in < std::size_t(stride_ * height_) && int(in % stride_) < 4 * width_;
            if (!pixel && bytes_[i] != 0xA5) return false;
        }
        return true;
    }
    bool samePixels(const TestFrame& o) const {
        bool same = true;
        forEach([&](int x, int y) { same = same && at(x, y) == o.at(x, y); });
        return same;
    }
    int count(const std::function<bool(const Bgra&)>& match) const {
        int n = 0;
        forEach([&](int x, int y) { n += match(at(x, y)); });
        return n;
    }

private:
    int width_, height_, stride_;
    std::vector<std::uint8_t> bytes_;
};

struct Box {
    int x0 = 0, y0 = 0, x1 = -1, y1 = -1;  // inclusive; x1 < x0 when nothing matched
    bool empty() const { return x1 < x0; }
};
// Bounding box of the pixels for which `match` holds.
inline Box findBox(const TestFrame& f, const std::function<bool(const Bgra&)>& match) {
    Box b{f.width(), f.height(), -1, -1};
    f.forEach([&](int x, int y) {
        if (!match(f.at(x, y))) return;
        b = {std::min(b.x0, x), std::min(b.y0, y), std::max(b.x1, x), std::max(b.y1, y)};
    });
    return b.x1 < 0 ? Box{} : b;
}

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
    t.x = x, t.y = y, t.textWidth = textWidth;
    t.timeStart = 0, t.timeEnd = 10;
    return t;
}

}  // namespace tamo::testing
