#pragma once
#include <filesystem>

#include "export/draw_info.h"

namespace tamo {

// Decodes a picture file of any format GdkPixbuf reads (honouring its orientation tag) into a
// premultiplied ARGB32 surface at its natural size. Empty when it cannot be read.
PictureSurface loadPicture(const std::filesystem::path& file);

}  // namespace tamo
