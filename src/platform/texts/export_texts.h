#pragma once

// The export: its save chooser and why it stopped (onExportError; tamovid-render prints the same).
namespace tamo::texts::exporting {

inline constexpr const char* kChooserTitle = "Videó exportálása";
// The page's export parameters are nested too deeply to be read.
inline constexpr const char* kParamsTooDeep = "Hibás exportálási adatok: túl mély egymásba ágyazás!";
// A device, pipe or folder is at the chosen place: it is never replaced.
inline constexpr const char* kNotReplaceable = "A választott helyen nem közönséges fájl van!";

// Drawing the overlays into the intermediate video. The writer's text is also the answer when the
// export's thread cannot start or it stops on an exception (no memory); a known file failure
// follows it after a space.
inline constexpr const char* kNoVideoTrack = "Nincs videósáv!";
inline constexpr const char* kReaderError = "Reader hiba!";
inline constexpr const char* kWriterError = "Writer hiba!";

// Putting the intermediate video and the sound into the chosen file.
inline constexpr const char* kMergeFailed = "Nem sikerült a videó összefűzés!";
// Followed by why the picture track cannot be copied.
inline constexpr const char* kVideoTrackErrorPrefix = "Videó track hiba: ";
inline constexpr const char* kCodecNotInMp4 = "a videó kódolása nem fér MP4 fájlba";
inline constexpr const char* kSessionError = "Export session hiba!";
// A failed write that gave no description.
inline constexpr const char* kUnknownError = "Ismeretlen hiba";

// Why writing the chosen file failed, from the library's or the system's error code.
inline constexpr const char* kNoSpace = "Nincs elég hely a lemezen";
inline constexpr const char* kQuotaExceeded = "Elfogyott a lemezkvóta";
inline constexpr const char* kNoPermission = "Nincs jogosultság a fájl írásához";
inline constexpr const char* kReadOnly = "A célhely csak olvasható";
inline constexpr const char* kFolderNotFound = "A célmappa nem található";
inline constexpr const char* kOutOfMemory = "Nincs elég memória";
inline constexpr const char* kTooLarge = "A fájl túl nagy";
inline constexpr const char* kNameTooLong = "Túl hosszú fájlnév";
inline constexpr const char* kDiskError = "Lemezhiba (írás vagy olvasás)";
inline constexpr const char* kWriteFailed = "Az exportált fájl írása nem sikerült";
inline constexpr const char* kNoAacEncoder = "Nincs AAC hangkódoló";
inline constexpr const char* kBadVideoData = "Hibás adat a videóban";

}  // namespace tamo::texts::exporting
