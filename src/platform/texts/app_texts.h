#pragma once

// The window's own texts: its title and the menu bar.
namespace tamo::texts::app {

inline constexpr const char* kWindowTitle = "Tamo Video Editor";
// Followed by the open project's file name.
inline constexpr const char* kProjectWindowTitlePrefix = "Tamo Video Editor \u2014 ";

inline constexpr const char* kAppMenu = "TamoVideoEditor";
inline constexpr const char* kAbout = "About TamoVideoEditor";
inline constexpr const char* kQuit = "Quit TamoVideoEditor";

inline constexpr const char* kFileMenu = "Fájl";
inline constexpr const char* kOpenProject = "Projekt megnyitása...";
inline constexpr const char* kOpenVideo = "Videó megnyitása...";
inline constexpr const char* kSaveProject = "Projekt mentése";
inline constexpr const char* kExport = "Exportálás...";

inline constexpr const char* kEditMenu = "Szerkesztés";
inline constexpr const char* kCut = "Kivágás";
inline constexpr const char* kCopy = "Másolás";
inline constexpr const char* kPaste = "Beillesztés";
inline constexpr const char* kSelectAll = "Összes kijelölése";

}  // namespace tamo::texts::app
