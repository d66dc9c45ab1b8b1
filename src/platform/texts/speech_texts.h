#pragma once

// The speech service: subtitles from the clip's speech (onWhisperError, showWhisperStatus) and a
// spoken narration (onNarrationError).
namespace tamo::texts::speech {

inline constexpr const char* kNoSoundTrack = "Nincs hangsáv a videóban!";
// The sound could not be taken from the clip, or no thread was free to take it.
inline constexpr const char* kExtractionRefused = "Nem sikerült a hang kinyerése!";
// Taking the sound out failed part way.
inline constexpr const char* kExtractionFailed = "Hang kinyerés hiba!";
// Status lines while the work goes on (the page shows them as HTML, after its spinner).
inline constexpr const char* kExtractingStatus = "<span class=\"ai-loading\"></span> Hang kinyerése...";
inline constexpr const char* kCallingServiceStatus = "<span class=\"ai-loading\"></span> Whisper API hívás...";

// What the transcription service answered is no usable transcript.
inline constexpr const char* kBadTranscriptionAnswer = "Érvénytelen API válasz!";
inline constexpr const char* kNoSegments = "Nem találhatók szegmensek!";

inline constexpr const char* kBadNarrationAnswer = "Üres vagy hibás válasz!";
inline constexpr const char* kNarrationNotSaved = "Mentés hiba!";

}  // namespace tamo::texts::speech
