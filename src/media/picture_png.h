#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "media/picture_size.h"

namespace tamo {

// A picture re-encoded as PNG, at its own pixel size (never scaled).
struct PngPicture {
    std::string png;  // the PNG file bytes
    int width = 0;    // pixels
    int height = 0;   // pixels
};


// Decodes any picture format GdkPixbuf knows (png, jpeg, gif, webp, tiff, bmp, …) and re-encodes it as
// PNG. Nothing when the data is not a picture, is damaged, or has more than kMaxPicturePixels pixels.
std::optional<PngPicture> pictureFileToPng(const std::filesystem::path& path);
std::optional<PngPicture> pictureBytesToPng(std::string_view bytes);

// Standard base64 (RFC 4648 alphabet, padded, no line breaks).
std::string base64Text(std::string_view bytes);

}  // namespace tamo
