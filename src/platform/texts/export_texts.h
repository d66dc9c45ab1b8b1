#pragma once

// The export: its save chooser and why it stopped (onExportError).
namespace tamo::texts::exporting {

inline constexpr const char* kChooserTitle = "Videó exportálása";
// The page's export parameters are nested too deeply to be read.
inline constexpr const char* kParamsTooDeep = "Hibás exportálási adatok: túl mély egymásba ágyazás!";
// A device, pipe or folder is at the chosen place: it is never replaced.
inline constexpr const char* kNotReplaceable = "A választott helyen nem közönséges fájl van!";
// The intermediate video could not be written; also when the export's thread cannot start or it
// stops on an exception (no memory).
inline constexpr const char* kWriterError = "Writer hiba!";

}  // namespace tamo::texts::exporting
