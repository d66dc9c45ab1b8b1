#pragma once
#include <filesystem>
#include <optional>

namespace tamo::speech {

// The playing time of a sound file in seconds, found by decoding its first audio stream
// (header durations of MP3 files are estimates). Empty when the file holds no decodable sound.
std::optional<double> decodedAudioDuration(const std::filesystem::path& file);

}  // namespace tamo::speech
