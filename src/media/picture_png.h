#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "media/picture_decoder.h"

namespace tamo {

// A picture re-encoded as PNG for the page, upright, at its own pixel size (never scaled).
struct PngPicture {
    std::string png;  // the PNG file bytes
    int width = 0;    // pixels
    int height = 0;   // pixels
};

// Decodes a picture with the one picture decoder (any format GdkPixbuf knows, EXIF orientation
// applied) and re-encodes it as PNG, so the page shows what the export draws. Nothing when the data
// is not a picture, is damaged, or has more than kMaxPicturePixels pixels.
std::optional<PngPicture> pictureFileToPng(const std::filesystem::path& path);
std::optional<PngPicture> pictureBytesToPng(std::string_view bytes);

// Standard base64 (RFC 4648 alphabet, padded, no line breaks).
std::string base64Text(std::string_view bytes);

}  // namespace tamo
