#pragma once
// Small media fixtures made at test time with the ffmpeg CLI, in a temporary folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tamo::test {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tamo-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Single quotes for the shell.
inline std::string shellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

// Runs "ffmpeg -v error -y ARGS"; true on success.
inline bool ffmpeg(const std::string& args) {
    std::string command = "ffmpeg -nostdin -v error -y " + args;
    return std::system(command.c_str()) == 0;
}

// A clip of testsrc2 (and a tone when withAudio), H.264 in whatever container the name says.
inline bool makeClip(const std::filesystem::path& out, int width, int height, double seconds, bool withAudio = true) {
    std::ostringstream args;
    args << "-f lavfi -i testsrc2=s=" << width << "x" << height << ":r=25:d=" << seconds;
    if (withAudio) args << " -f lavfi -i sine=f=440:d=" << seconds;
    args << " -c:v libx264 -preset ultrafast -pix_fmt yuv420p";
    if (withAudio) args << " -c:a aac -shortest";
    args << " " << shellQuoted(out.string());
    return ffmpeg(args.str());
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace tamo::test
