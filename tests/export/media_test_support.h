#pragma once
// Media helpers for the export tests: fixtures made with the ffmpeg CLI in a temporary folder,
// and decoding of the exported files with the FFmpeg libraries, independent of the export code.
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

struct DecodedVideo {
    bool opened = false;
    int width = 0, height = 0;                      // coded size of the first video stream
    int rotation = 0;                               // display-matrix angle as ffprobe shows it (counter-clockwise)
    std::vector<double> times;                      // presentation time of every frame, in seconds
    std::vector<std::vector<std::uint8_t>> frames;  // packed BGRA, width × height × 4 (when kept)
    bool hasAudio = false;
};
DecodedVideo decodeVideo(const std::filesystem::path& file, bool keepPixels = true);

// Every frame of the first video stream as 8-bit 4:2:0 planes (converted without a matrix change
// when the stream has another layout), with the stream's colour tags.
struct YuvPicture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> y, u, v;  // packed: width × height, then ((width+1)/2) × ((height+1)/2) each
    int lumaAt(int x, int y) const { return this->y[static_cast<std::size_t>(y) * width + x]; }
    int chromaWidth() const { return (width + 1) / 2; }
    int uAt(int cx, int cy) const { return u[static_cast<std::size_t>(cy) * chromaWidth() + cx]; }
    int vAt(int cx, int cy) const { return v[static_cast<std::size_t>(cy) * chromaWidth() + cx]; }
};
struct DecodedYuv {
    bool opened = false;
    int colorSpace = 0, colorPrimaries = 0, colorTransfer = 0, colorRange = 0;  // AVColor* values
    std::vector<double> times;
    std::vector<YuvPicture> frames;
};
DecodedYuv decodeYuv(const std::filesystem::path& file);

struct DecodedAudio {
    bool present = false;
    int sampleRate = 0;
    std::vector<float> left;  // first channel, float
    double seconds() const { return sampleRate ? double(left.size()) / sampleRate : 0; }
};
DecodedAudio decodeAudio(const std::filesystem::path& file);

// Amplitude of a sine of `frequency` in samples [from, to) (a single-bin DFT).
double toneAmplitude(const std::vector<float>& samples, int rate, double frequency, double fromSeconds,
                     double toSeconds);

// Mean absolute difference of the colour bytes of two packed BGRA pictures over a region:
// picture a at (ax, ay), picture b at (bx, by), size w × h.
double meanAbsDiff(const std::vector<std::uint8_t>& a, int aWidth, int ax, int ay, const std::vector<std::uint8_t>& b,
                   int bWidth, int bx, int by, int w, int h);

// Names of the files in a folder.
std::vector<std::string> fileNames(const std::filesystem::path& dir);

std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& content);

}  // namespace tamo::test
