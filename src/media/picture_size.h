#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>

namespace tamo {

// One size rule for every picture that comes in (picked, kept in a project, downloaded, drawn under
// a background clip): pictures with more pixels than this are refused before their pixels are
// decoded, so a small file that unpacks into gigabytes cannot stall an export or take the memory.
inline constexpr long long kMaxPicturePixels = 100'000'000;

bool pictureSizeAllowed(long long width, long long height,
                        std::uint64_t maxPixels = static_cast<std::uint64_t>(kMaxPicturePixels));

// False for headers that make a decoder reserve memory the bytes cannot justify: a BMP whose pixel
// data would start, or whose info header or colour table would end, past the end of the file (GdkPixbuf's BMP loader
// reserves that many bytes, up to 4 GB, from a 58-byte file). totalBytes is the whole file's size.
bool pictureHeaderPlausible(std::string_view head, std::uint64_t totalBytes);

// The width and height a regular file's header names, when the header is one a decoder can be
// trusted with. Only the header is read.
std::optional<std::pair<int, int>> pictureFileHeaderSize(const std::filesystem::path& file);

// A regular file whose header names a size the rule allows. Only the header is read.
bool pictureFileSizeAllowed(const std::filesystem::path& file);

}  // namespace tamo
