#pragma once

// Saving and opening projects: the choosers, the proposed name, and what the page hears when a
// project's media is gone.
namespace tamo::texts::project {

inline constexpr const char* kSaveChooserTitle = "Projekt mentése";
inline constexpr const char* kOpenChooserTitle = "Projekt megnyitása";
// The save chooser's proposal when no project is open yet.
inline constexpr const char* kDefaultFileName = "projekt.tamovid";
// Followed by the stored path (onVideoError, onNarrationError).
inline constexpr const char* kVideoNotFoundPrefix = "A projekt videója nem található: ";
inline constexpr const char* kNarrationNotFoundPrefix = "A projekt narrációja nem található: ";

}  // namespace tamo::texts::project
