#pragma once

// Saving the transcript as a subtitle file (onSubtitlesError and the save chooser).
namespace tamo::texts::subtitle {

inline constexpr const char* kChooserTitle = "Feliratok mentése";
// The name the save chooser proposes, before ".srt" or ".vtt".
inline constexpr const char* kSuggestedStem = "feliratok";
inline constexpr const char* kNothingToSave = "Nincs menthető felirat.";
// Followed by the file failure's own text.
inline constexpr const char* kNotSavedPrefix = "A feliratfájl nem menthető: ";

}  // namespace tamo::texts::subtitle
