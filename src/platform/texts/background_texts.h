#pragma once

// Generating a plain background clip to work on (onBackgroundError).
namespace tamo::texts::background {

inline constexpr const char* kBadSizeOrLength = "Érvénytelen méret vagy hossz!";
// The clip could not be written, or no thread was free to write it.
inline constexpr const char* kWriteFailed = "Videó írás hiba!";

}  // namespace tamo::texts::background
