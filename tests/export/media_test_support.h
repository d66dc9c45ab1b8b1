#pragma once
// Media helpers for the tests: fixtures made with the ffmpeg CLI in a temporary folder, and the
// outputs decoded with the FFmpeg libraries, independently of the code under test.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tamo::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Runs "ffmpeg -nostdin -v error -y " + args; true on success.
bool ffmpeg(const std::string& args);

// The first video stream: size, display rotation (counter-clockwise), every frame's time in
// seconds and, when kept, its pixels as packed BGRA.
struct DecodedVideo {
    bool opened = false, hasAudio = false;
    int width = 0, height = 0, rotation = 0;
    std::vector<double> times;
    std::vector<std::vector<std::uint8_t>> frames;
};
DecodedVideo decodeVideo(const std::filesystem::path& file, bool keepPixels = true);

// Every frame as 8-bit 4:2:0 planes (other layouts converted without a matrix change), with the
// stream's colour tags (AVColor* values).
struct YuvPicture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> y, u, v;  // width × height, then ((width+1)/2) × ((height+1)/2) each
    int lumaAt(int x, int y) const { return this->y[std::size_t(y) * width + x]; }
    int uAt(int cx, int cy) const { return u[std::size_t(cy) * ((width + 1) / 2) + cx]; }
    int vAt(int cx, int cy) const { return v[std::size_t(cy) * ((width + 1) / 2) + cx]; }
};
struct DecodedYuv {
    bool opened = false;
    int colorSpace = 0, colorPrimaries = 0, colorTransfer = 0, colorRange = 0;
    std::vector<double> times;
    std::vector<YuvPicture> frames;
};
DecodedYuv decodeYuv(const std::filesystem::path& file);

// The first sound stream's first channel from time 0 on (the encoder's priming left out).
struct DecodedAudio {
    bool present = false;
    int sampleRate = 0;
    std::vector<float> left;
    double seconds() const { return sampleRate ? double(left.size()) / sampleRate : 0; }
};
DecodedAudio decodeAudio(const std::filesystem::path& file);

// Amplitude of a sine of `frequency` between two times (a single-bin DFT).
double toneAmplitude(const std::vector<float>& samples, int rate, double frequency, double fromSeconds,
                     double toSeconds);

// Mean absolute difference of the colour bytes of two BGRA pictures over a w × h region, at
// (ax, ay) in a and (bx, by) in b.
double meanAbsDiff(const std::vector<std::uint8_t>& a, int aWidth, int ax, int ay, const std::vector<std::uint8_t>& b,
                   int bWidth, int bx, int by, int w, int h);

std::vector<std::string> fileNames(const std::filesystem::path& dir);  // sorted
std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& content);

}  // namespace tamo::test
