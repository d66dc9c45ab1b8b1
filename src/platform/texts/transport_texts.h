#pragma once

// Why a web request failed, as the page's error calls show it (URL fetch, product picture,
// background picture, speech requests). libcurl's own descriptions are English.
namespace tamo::texts::transport {

inline constexpr const char* kCannotConnect = "Nem sikerült kapcsolódni a kiszolgálóhoz.";
inline constexpr const char* kNameNotResolved = "A kiszolgáló neve nem található.";
inline constexpr const char* kTimedOut = "A kérés időtúllépés miatt megszakadt.";
inline constexpr const char* kTlsFailure = "Nem sikerült biztonságos kapcsolatot létesíteni a kiszolgálóval.";
inline constexpr const char* kConnectionReset = "A kapcsolat megszakadt.";
inline constexpr const char* kTooLarge = "A válasz nagyobb a megengedettnél.";
inline constexpr const char* kBadAddress = "Érvénytelen webcím.";
inline constexpr const char* kTooManyRedirects = "Túl sok átirányítás.";
inline constexpr const char* kNoAnswer = "A kiszolgáló nem küldött választ.";
// Any other transfer failure.
inline constexpr const char* kOther = "Hálózati hiba történt.";
// The request could not even be set up (no curl handle).
inline constexpr const char* kCannotStart = "Nem sikerült a kérést elindítani.";

}  // namespace tamo::texts::transport
