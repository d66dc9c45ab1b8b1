#include "export/draw_info.h"

namespace tamo {

PictureSurface makePictureSurface(cairo_surface_t* owned) {
    return PictureSurface(owned, [](cairo_surface_t* s) {
        if (s) cairo_surface_destroy(s);
    });
}

}  // namespace tamo
