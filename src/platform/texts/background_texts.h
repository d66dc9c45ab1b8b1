#pragma once

// Generating a plain background clip to work on (onBackgroundError).
namespace tamo::texts::background {

inline constexpr const char* kBadSizeOrLength = "Érvénytelen méret vagy hossz!";
// The clip could not be written, or no thread was free to write it.
inline constexpr const char* kWriteFailed = "Videó írás hiba!";
// The clip's encoder could not be set up (a known file failure follows after a space), its frame
// buffers could not be had, or its one picture could not be drawn.
inline constexpr const char* kWriterError = "Writer hiba!";
inline constexpr const char* kBufferPoolError = "Buffer pool hiba!";
inline constexpr const char* kPixelBufferError = "PixelBuffer hiba!";

}  // namespace tamo::texts::background
