#pragma once
// An owning handle for a GdkPixbuf, released with its reference.
#include <memory>

typedef struct _GdkPixbuf GdkPixbuf;

namespace tamo {

struct PixbufUnref {
    void operator()(GdkPixbuf* pixbuf) const;
};
using PixbufPtr = std::unique_ptr<GdkPixbuf, PixbufUnref>;

}  // namespace tamo
