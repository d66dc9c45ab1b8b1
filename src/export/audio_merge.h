#pragma once
#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "export/sound_packets.h"
#include "media/audio_placement.h"
#include "media/ffmpeg_ptr.h"
#include "platform/outcome.h"

namespace tamo {

// Joins the rendered picture of the temporary file with the source's sound and the narration
// into the final MPEG-4 file. The picture is copied as it is (no second encode). The source's
// sound (its first audio stream) is placed by its own timestamps measured from the source
// picture's first presentation time (with the picture's shifts where the clock reset), so it
// stays where it was against the picture;
// the narration starts at 0. The sound is cut at the picture's duration and, with a narration,
// the source sound plays at 0.3 under the narration at 1.0 (AAC). Source sound with nothing mixed
// into it that is AAC without holes is taken over as it is. The result is written under a
// temporary name in the output folder and renamed over the output only when complete, so a
// failure leaves an earlier file untouched.
class AudioMerge {
public:
    // Opens the inputs and sets up the writing; nothing has been written yet. Failure, as the page
    // says it: "Nem sikerült a videó összefűzés!" (the temporary file has no picture), "Videó track
    // hiba: …" (its picture cannot be taken over), "Export session hiba!" (the writing cannot be set up).
    static Outcome<std::unique_ptr<AudioMerge>> open(const std::filesystem::path& videoURL,
                                                     const std::filesystem::path& originalAssetURL,
                                                     const std::optional<std::filesystem::path>& narrationURL,
                                                     const std::filesystem::path& outputURL,
                                                     PictureClock sourceClock = 0.0);
    ~AudioMerge();

    // Writes the final file (blocking). Does not delete the temporary video. Never throws: an
    // allocation failure is a failure like any other of the writing, which says why in Hungarian
    // (or "Ismeretlen hiba") and carries the "❌ Export failed: " log line. A raised *cancel stops
    // the writing at its next packet and leaves the output as it was, also after the last packet.
    Outcome<> run(const std::atomic<bool>* cancel = nullptr);

private:
    AudioMerge() = default;
    Outcome<> setUpOutput(const std::filesystem::path& source, const std::optional<std::filesystem::path>& narration,
                          PictureClock sourceClock);
    Outcome<> write();
    bool cancelRaised() const { return cancel_ && cancel_->load(); }

    av::InputPtr video_;
    int videoStream_ = -1;
    double videoSeconds_ = 0;
    std::filesystem::path output_;
    std::filesystem::path partial_;
    av::OutputPtr out_;
    const std::atomic<bool>* cancel_ = nullptr;
    AVStream* videoOut_ = nullptr;
    std::unique_ptr<SoundPackets> sound_;
    AVStream* audioOut_ = nullptr;
};

// Level of the source sound under a narration.
inline constexpr float kSourceGainUnderNarration = 0.3f;

}  // namespace tamo
