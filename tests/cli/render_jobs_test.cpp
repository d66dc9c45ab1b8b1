// tamovid-render with job lists and signals, run as the real executable; outputs are decoded.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <csignal>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "export/media_test_support.h"

#ifndef TAMO_RENDER_BIN
#error "TAMO_RENDER_BIN must name the tamovid-render executable"
#endif

extern char** environ;

namespace tamo::test {
namespace {

using nlohmann::json;

// The render running as a child: its standard output read line by line, standard error kept in a file.
class RenderProcess {
public:
    RenderProcess(const std::vector<std::string>& args, const std::filesystem::path& errFile) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        std::vector<std::string> all = {TAMO_RENDER_BIN};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, TAMO_RENDER_BIN, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fdopen(fds[0], "r");
    }
    ~RenderProcess() {
        if (out_) fclose(out_);
        if (pid_ > 0 && !waited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    // The next line of standard output; nothing at its end.
    std::optional<std::string> line() {
        char* text = nullptr;
        size_t size = 0;
        ssize_t n = getline(&text, &size, out_);
        std::optional<std::string> result;
        if (n > 0) result = std::string(text, static_cast<std::size_t>(n) - (text[n - 1] == '\n' ? 1 : 0));
        free(text);
        return result;
    }
    void signal(int sig) { kill(pid_, sig); }
    // Reads the rest of the output, then the exit status (-1 when ended by a signal).
    int wait(std::vector<std::string>* rest = nullptr) {
        while (auto l = line())
            if (rest) rest->push_back(*l);
        int status = 0;
        waitpid(pid_, &status, 0);
        waited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    FILE* out_ = nullptr;
    bool waited_ = false;
};

struct Run {
    int exitCode = -1;
    std::vector<std::string> lines;
    std::string err;
};

Run render(const TempDir& dir, const std::vector<std::string>& args) {
    RenderProcess p(args, dir / "stderr.txt");
    Run r;
    r.exitCode = p.wait(&r.lines);
    r.err = readFile(dir / "stderr.txt");
    std::filesystem::remove(dir / "stderr.txt");
    return r;
}

// The last JSON state of every job, and a check that each line is one JSON object whose percent never goes back.
std::map<int, json> finalStates(const std::vector<std::string>& lines) {
    std::map<int, json> last;
    std::map<int, int> percent;
    for (const auto& line : lines) {
        json value = json::parse(line, nullptr, false);
        EXPECT_TRUE(value.is_object()) << line;
        if (!value.is_object()) continue;
        int job = value.at("job").get<int>();
        int p = value.at("percent").get<int>();
        if (value.at("state") == "running") {
            EXPECT_GE(p, percent[job]) << line;
        }
        percent[job] = p;
        last[job] = value;
    }
    return last;
}

std::vector<std::string> temporaryFiles(const std::filesystem::path& dir) {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
        if (e.path().filename().string().rfind("_temp", 0) == 0) found.push_back(e.path().string());
    return found;
}

// Mean of the colour bytes in columns [x0, x1) of a BGRA frame.
double meanBrightness(const std::vector<std::uint8_t>& frame, int width, int height, int x0, int x1) {
    double sum = 0;
    for (int y = 0; y < height; ++y)
        for (int x = x0; x < x1; ++x)
            for (int c = 0; c < 3; ++c) sum += frame[(static_cast<std::size_t>(y) * width + x) * 4 + c];
    return sum / (3.0 * height * (x1 - x0));
}

class RenderJobs : public ::testing::Test {
protected:
    TempDir dir;
    std::filesystem::path jobs;
    void SetUp() override {
        ASSERT_TRUE(
            ffmpeg("-f lavfi -i color=black:s=320x180:r=25:d=1 -f lavfi -i sine=f=440:d=1 -pix_fmt yuv420p "
                   "-c:v libx264 -preset ultrafast -c:a aac -shortest " +
                   (dir / "clip.mp4").string()));
        ASSERT_TRUE(ffmpeg("-f lavfi -i sine=f=440:d=1 " + (dir / "sound.m4a").string()));
        ASSERT_TRUE(ffmpeg("-f lavfi -i color=red:s=40x40 -frames:v 1 " + (dir / "red.png").string()));
        ASSERT_TRUE(ffmpeg("-f lavfi -i color=blue:s=40x40 -frames:v 1 " + (dir / "blue.png").string()));
        // The template: a picture on the left quarter, a large white text with a placeholder on the right.
        json project = {{"videoPath", "clip.mp4"},
                        {"imagePaths", {{"img_P", "red.png"}}},
                        {"textObjects", json::array({json{{"type", "image"},
                                                          {"imageId", "img_P"},
                                                          {"xPercent", 25},
                                                          {"yPercent", 50},
                                                          {"scalePercent", 40}},
                                                     json{{"text", "{{mark}}"},
                                                          {"fontFamily", "DejaVu Sans"},
                                                          {"fontSizePercent", 40},
                                                          {"xPercent", 75},
                                                          {"yPercent", 50},
                                                          {"shadowEnabled", false}}})}};
        writeFile(dir / "t.tamovid", project.dump(2));
        jobs = dir / "jobs.jsonl";
        writeFile(
            jobs,
            R"({"project": "t.tamovid", "placeholders": {"mark": "██"}, "output": "out/a.mp4"})"
            "\n"
            R"({"project": "t.tamovid", "placeholders": {"mark": "."}, "images": {"img_P": "blue.png"}, "output": "out/b.mp4"})"
            "\n"
            "\n"
            "not json\n"
            R"({"project": "t.tamovid", "video": "sound.m4a", "placeholders": {"mark": "x"}, "output": "out/c.mp4"})"
            "\n"
            R"({"project": "t.tamovid", "placeholders": {"mark": "x"}, "output": "out/d.mp4"})"
            "\n");
    }
};

TEST_F(RenderJobs, AllRendersGoodJobsReportsBadOnesAndReRunsOnlyWhatIsLeft) {
    auto r = render(dir, {"--jobs", jobs.string(), "--all", "--parallel", "2", "--progress", "json"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    auto states = finalStates(r.lines);
    ASSERT_EQ(states.size(), 5u) << r.err;
    for (int job : {0, 1, 4}) EXPECT_EQ(states[job]["state"], "done") << states[job];
    EXPECT_EQ(states[2]["state"], "failed");
    EXPECT_EQ(states[2]["error"], "not valid JSON");
    EXPECT_EQ(states[3]["state"], "failed");
    EXPECT_EQ(states[3]["error"], "Nincs videósáv!");
    EXPECT_NE(r.err.find("5 jobs: 3 rendered, 0 already complete, 2 failed"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("job 2 (line 4): not valid JSON"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("job 3 (line 5): Nincs videósáv!"), std::string::npos) << r.err;

    EXPECT_FALSE(std::filesystem::exists(dir / "out/c.mp4"));
    EXPECT_TRUE(temporaryFiles(dir.path()).empty());
    auto a = decodeVideo(dir / "out/a.mp4");
    auto b = decodeVideo(dir / "out/b.mp4");
    ASSERT_EQ(a.frames.size(), 25u);
    ASSERT_EQ(b.frames.size(), 25u);
    EXPECT_TRUE(a.hasAudio);
    // The template's red picture, and the job's blue one in its place.
    auto pixel = [](const DecodedVideo& v, int x, int y) {
        return &v.frames[12][(static_cast<std::size_t>(y) * v.width + x) * 4];
    };
    const std::uint8_t* red = pixel(a, 80, 90);
    EXPECT_GT(red[2], 200);
    EXPECT_LT(red[0], 60);
    const std::uint8_t* blue = pixel(b, 80, 90);
    EXPECT_GT(blue[0], 200);
    EXPECT_LT(blue[2], 60);
    // The placeholder's value is what was drawn: two full blocks light the right half, a dot hardly.
    EXPECT_GT(meanBrightness(a.frames[12], a.width, a.height, 170, 320), 30);
    EXPECT_LT(meanBrightness(b.frames[12], b.width, b.height, 170, 320), 8);

    // A re-run skips every complete output and leaves it as it is.
    const std::string before = readFile(dir / "out/a.mp4");
    r = render(dir, {"--jobs", jobs.string(), "--all"});
    EXPECT_EQ(r.exitCode, 1) << r.err;  // the bad line and the failing job are still there
    EXPECT_NE(r.err.find("5 jobs: 0 rendered, 3 already complete, 2 failed"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("job 0 (line 1): skipped"), std::string::npos) << r.err;
    EXPECT_TRUE(readFile(dir / "out/a.mp4") == before);

    // A lost output and a cut one (not a complete video) are rendered again.
    std::filesystem::remove(dir / "out/b.mp4");
    const std::string whole = readFile(dir / "out/d.mp4");
    writeFile(dir / "out/d.mp4", whole.substr(0, whole.size() / 2));
    r = render(dir, {"--jobs", jobs.string(), "--pending"});
    EXPECT_EQ(r.exitCode, 0);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0], "1,3-4");
    EXPECT_NE(r.err.find("line 4: not valid JSON"), std::string::npos) << r.err;

    r = render(dir, {"--jobs", jobs.string(), "--all", "--progress", "json"});
    EXPECT_EQ(r.exitCode, 1);
    states = finalStates(r.lines);
    EXPECT_EQ(states[0]["state"], "skipped");
    EXPECT_EQ(states[1]["state"], "done");
    EXPECT_EQ(states[4]["state"], "done");
    EXPECT_EQ(decodeVideo(dir / "out/d.mp4", false).times.size(), 25u);
    EXPECT_EQ(decodeVideo(dir / "out/b.mp4", false).times.size(), 25u);
}

TEST_F(RenderJobs, IndexRendersOneJobAsAnArrayTaskDoes) {
    auto r = render(dir, {"--jobs", jobs.string(), "--index", "4"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.lines.empty());  // progress goes to standard error unless JSON is asked for
    EXPECT_NE(r.err.find("progress 100%"), std::string::npos) << r.err;
    EXPECT_EQ(fileNames(dir / "out"), std::vector<std::string>{"d.mp4"});
    EXPECT_EQ(decodeVideo(dir / "out/d.mp4", false).times.size(), 25u);

    r = render(dir, {"--jobs", jobs.string(), "--index", "4", "--progress", "json"});
    EXPECT_EQ(r.exitCode, 0);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(json::parse(r.lines[0]), (json{{"job", 4}, {"percent", 100}, {"state", "skipped"}}));

    r = render(dir, {"--jobs", jobs.string(), "--index", "2"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("line 4: not valid JSON"), std::string::npos) << r.err;
    r = render(dir, {"--jobs", jobs.string(), "--index", "3"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Nincs videósáv!"), std::string::npos) << r.err;
    r = render(dir, {"--jobs", jobs.string(), "--index", "5"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no job 5: the list holds 5"), std::string::npos) << r.err;
    r = render(dir, {"--jobs", jobs.string(), "--index", "-1"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(fileNames(dir / "out"), std::vector<std::string>{"d.mp4"});
}

TEST(RenderInputs, DevicesFifosAndFoldersAreRefusedAsInputsAndOutputs) {
    TempDir dir;
    for (const auto& option : {"--params", "--project"}) {
        auto r = render(dir, {"--video", "v.mp4", option, "/dev/zero", "--output", (dir / "o.mp4").string()});
        EXPECT_EQ(r.exitCode, 1) << option;
        EXPECT_NE(r.err.find("/dev/zero is not a regular file"), std::string::npos) << r.err;
    }
    auto r = render(dir, {"--jobs", "/dev/zero", "--all"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("/dev/zero is not a regular file"), std::string::npos) << r.err;

    // The finished file is renamed over the output, which must not swallow a FIFO or a folder.
    ASSERT_EQ(mkfifo((dir / "fifo.mp4").c_str(), 0600), 0);
    std::filesystem::create_directories(dir / "folder.mp4");
    for (const auto& output : {dir / "fifo.mp4", dir / "folder.mp4"}) {
        r = render(dir, {"--video", "v.mp4", "--output", output.string()});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(output.string() + " is not a regular file"), std::string::npos) << r.err;
    }
    EXPECT_EQ(std::filesystem::status(dir / "fifo.mp4").type(), std::filesystem::file_type::fifo);
}

// A signal half-way through: the render stops, removes its temporary files, leaves the earlier
// output as it was and exits with 128 + the signal.
class RenderSignals : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override {
        ASSERT_TRUE(
            ffmpeg("-f lavfi -i testsrc2=s=640x360:r=25:d=12 -f lavfi -i sine=f=440:d=12 -pix_fmt yuv420p "
                   "-c:v libx264 -preset ultrafast -c:a aac -shortest " +
                   (dir / "long.mp4").string()));
        writeFile(dir / "p.json", R"({"textObjects": [{"text": "Mégse", "fontSizePercent": 10}]})");
    }
    // Reads JSON progress until some job is past 4 %, then sends the signal.
    static void signalMidway(RenderProcess& p, int sig) {
        while (auto line = p.line()) {
            json value = json::parse(*line, nullptr, false);
            ASSERT_TRUE(value.is_object()) << *line;
            ASSERT_EQ(value["state"], "running") << *line;
            if (value["percent"].get<int>() > 4) break;
        }
        p.signal(sig);
    }
};

TEST_F(RenderSignals, TermStopsASingleRender) {
    writeFile(dir / "out.mp4", "earlier");
    RenderProcess p({"--video", (dir / "long.mp4").string(), "--params", (dir / "p.json").string(), "--output",
                     (dir / "out.mp4").string(), "--progress", "json"},
                    dir / "err.txt");
    signalMidway(p, SIGTERM);
    std::vector<std::string> rest;
    EXPECT_EQ(p.wait(&rest), 143) << readFile(dir / "err.txt");
    ASSERT_FALSE(rest.empty());
    EXPECT_EQ(json::parse(rest.back())["state"], "cancelled");
    EXPECT_TRUE(readFile(dir / "out.mp4") == "earlier");
    EXPECT_EQ(fileNames(dir.path()), (std::vector<std::string>{"err.txt", "long.mp4", "out.mp4", "p.json"}));
}

TEST_F(RenderSignals, InterruptStopsEveryJobOfTheList) {
    writeFile(dir / "jobs.jsonl", R"({"params": "p.json", "video": "long.mp4", "output": "out/one.mp4"})"
                                  "\n"
                                  R"({"params": "p.json", "video": "long.mp4", "output": "out/two.mp4"})"
                                  "\n"
                                  R"({"params": "p.json", "video": "long.mp4", "output": "out/three.mp4"})"
                                  "\n");
    std::filesystem::create_directories(dir / "out");
    writeFile(dir / "out/two.mp4", "earlier");  // not a video: rendered again, and kept when cancelled
    RenderProcess p({"--jobs", (dir / "jobs.jsonl").string(), "--all", "--parallel", "2", "--progress", "json"},
                    dir / "err.txt");
    // Only the parent gets the signal, as from a scheduler: it passes it on to its renders.
    signalMidway(p, SIGINT);
    std::vector<std::string> rest;
    EXPECT_EQ(p.wait(&rest), 130);
    auto states = finalStates(rest);
    ASSERT_EQ(states.size(), 3u);
    for (const auto& [job, state] : states) EXPECT_EQ(state["state"], "cancelled") << job;
    const std::string err = readFile(dir / "err.txt");
    EXPECT_NE(err.find("3 jobs: 0 rendered, 0 already complete, 0 failed, 3 cancelled"), std::string::npos) << err;
    EXPECT_EQ(fileNames(dir / "out"), std::vector<std::string>{"two.mp4"});
    EXPECT_TRUE(readFile(dir / "out/two.mp4") == "earlier");
    EXPECT_TRUE(temporaryFiles(dir.path()).empty());
}

}  // namespace
}  // namespace tamo::test
