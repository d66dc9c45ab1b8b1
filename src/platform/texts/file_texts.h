#pragma once
#include <string>

// Why a file operation failed, as a save failure or a page error call shows it (project,
// subtitles, export output), and the question asked before a save replaces a file.
namespace tamo::texts::file {

inline constexpr const char* kNoPermission = "Nincs jogosultság a fájlhoz vagy a mappájához.";
inline constexpr const char* kReadOnly = "A célhely csak olvasható.";
inline constexpr const char* kNoSpace = "Nincs elég szabad hely a lemezen.";
inline constexpr const char* kNotFound = "A fájl vagy a mappa nem található.";
inline constexpr const char* kNotAFolder = "Az útvonal egyik tagja nem mappa.";
inline constexpr const char* kIsAFolder = "A megadott név egy mappáé.";
inline constexpr const char* kNameTooLong = "A fájlnév túl hosszú.";
inline constexpr const char* kAlreadyExists = "A fájl már létezik.";
inline constexpr const char* kTooManyOpen = "Túl sok fájl van megnyitva.";
inline constexpr const char* kTooLarge = "A fájl túl nagy.";
inline constexpr const char* kDiskError = "Lemezhiba történt olvasás vagy írás közben.";
inline constexpr const char* kBusy = "A fájlt egy másik folyamat használja.";
inline constexpr const char* kOutOfMemory = "Nincs elég memória.";
// Any other errno value.
inline constexpr const char* kOther = "Fájlhiba történt.";
// A media file the library reports as holding broken or unknown data.
inline constexpr const char* kInvalidMediaData = "A fájl hibás vagy ismeretlen formátumú adatot tartalmaz.";

// The question when the name chosen in a save chooser (with the extension added) is taken.
inline constexpr const char* kReplaceTitle = "A fájl már létezik";
inline std::string replaceQuestion(const std::string& fileName) {
    return "„" + fileName + "” már létezik ebben a mappában. Lecseréled?";
}
inline constexpr const char* kReplaceAccept = "Csere";
inline constexpr const char* kReplaceCancel = "Mégse";

}  // namespace tamo::texts::file
