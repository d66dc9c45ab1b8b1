#pragma once

// Opening a clip: the chooser and why the page keeps the clip it shows (onVideoError).
namespace tamo::texts::video {

inline constexpr const char* kChooserTitle = "Videó megnyitása";

inline constexpr const char* kNotFound = "A videó nem nyitható meg: a fájl nem található.";
inline constexpr const char* kIsAFolder = "A videó nem nyitható meg: ez egy mappa, nem videófájl.";
inline constexpr const char* kNotARegularFile = "A videó nem nyitható meg: nem közönséges fájl.";
inline constexpr const char* kNotMedia = "A videó nem nyitható meg: a fájl nem olvasható médiafájl.";
inline constexpr const char* kNoVideoTrack = "Nincs videósáv a fájlban!";
inline constexpr const char* kUnknownLength = "A videó nem nyitható meg: a hossza nem állapítható meg.";
inline constexpr const char* kNoFileAddress = "A videó nem nyitható meg: a fájl helye nem írható le címként.";
inline constexpr const char* kNameNotReadable = "A videó nem nyitható meg: a fájl neve nem olvasható.";

// Export and transcription asked for while no clip is open.
inline constexpr const char* kNoVideoLoaded = "Nincs videó betöltve!";

}  // namespace tamo::texts::video
