#pragma once
// Owning handles for the Cairo and Pango objects the renderer keeps.
#include <cairo.h>
#include <glib-object.h>
#include <pango/pango.h>

#include <memory>

namespace tamo {

struct CairoDeleter {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
    void operator()(cairo_pattern_t* p) const { cairo_pattern_destroy(p); }
};
using CairoPtr = std::unique_ptr<cairo_t, CairoDeleter>;
using SurfacePtr = std::unique_ptr<cairo_surface_t, CairoDeleter>;

struct GObjectDeleter {
    void operator()(gpointer obj) const { g_object_unref(obj); }
};
using LayoutPtr = std::unique_ptr<PangoLayout, GObjectDeleter>;
using PangoContextPtr = std::unique_ptr<PangoContext, GObjectDeleter>;
using FontMapPtr = std::unique_ptr<PangoFontMap, GObjectDeleter>;

struct FontDescriptionDeleter {
    void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
};
using FontDescriptionPtr = std::unique_ptr<PangoFontDescription, FontDescriptionDeleter>;

}  // namespace tamo
