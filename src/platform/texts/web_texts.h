#pragma once

// The product tools' web requests: a page's text (onUrlFetchedError) and a product picture
// (onProductImageError).
namespace tamo::texts::web {

inline constexpr const char* kBadPageAddress = "Érvénytelen URL! Csak http/https támogatott.";
// No answer to read: cut off at the size limit, or a failure without a transport text.
inline constexpr const char* kPageDownloadFailed = "Nem sikerült a tartalom letöltése!";

inline constexpr const char* kBadPictureAddress = "Érvénytelen kép URL!";
// No picture: not downloaded, or what came is no picture.
inline constexpr const char* kPictureDownloadFailed = "Nem sikerült a kép letöltése!";

}  // namespace tamo::texts::web
