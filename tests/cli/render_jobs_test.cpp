// tamovid-render on job lists: which lines are jobs, what a bad line or a bad replacement says, what the
// replacements draw (outputs decoded), what is left to do, and a list stopped by a signal.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "export/media_test_support.h"

namespace tamo::test {
namespace {

using nlohmann::json;

// The render as a child: standard output read line by line, standard error kept in a file. The
// shell prints its process id and becomes the render, so the id is the render's own.
struct Render {
    Render(const TempDir& dir, const std::string& args) : errFile(dir / "stderr.txt") {
        out = popen(("echo $$; exec " TAMO_RENDER_BIN " " + args + " 2>" + errFile.string() + " </dev/null").c_str(),
                    "r");
        pid = std::stoi(line().value_or("-1"));
    }
    std::optional<std::string> line() {
        char text[4096];
        if (!fgets(text, sizeof text, out)) return std::nullopt;
        return std::string(text, std::strcspn(text, "\n"));
    }
    int wait() {  // reads the rest of standard output; the exit status (-1 when ended by a signal)
        while (auto l = line()) lines.push_back(*l);
        const int status = pclose(out);
        err = readFile(errFile);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::filesystem::path errFile;
    FILE* out;
    pid_t pid;
    std::vector<std::string> lines;
    std::string err;
};

// The last JSON state of every job, checking that each line is one JSON object whose percent never goes back.
std::map<int, json> finalStates(const std::vector<std::string>& lines) {
    std::map<int, json> last;
    for (const auto& line : lines) {
        json value = json::parse(line, nullptr, false);
        json& before = last[value.is_object() ? value.value("job", -1) : -1];
        if (value.is_object() && value["state"] == "running" && before.is_object()) {
            EXPECT_GE(value["percent"], before["percent"]) << line;
        }
        before = value;
    }
    EXPECT_FALSE(last.count(-1)) << "a line that is not a job's JSON state";
    return last;
}

// Mean of the colour bytes in the right half of frame 12 (BGRA).
double rightHalfBrightness(const DecodedVideo& v) {
    double sum = 0;
    for (int y = 0; y < v.height; ++y)
        for (int x = v.width / 2 + 10; x < v.width; ++x)
            for (int c = 0; c < 3; ++c) sum += v.frames[12][(static_cast<std::size_t>(y) * v.width + x) * 4 + c];
    return sum / (3.0 * v.height * (v.width / 2 - 10));
}

TEST(RenderJobs, AllRendersGoodJobsReportsBadOnesAndReRunsOnlyWhatIsLeft) {
    TempDir dir;
    ASSERT_TRUE(
        ffmpeg("-f lavfi -i color=black:s=320x180:r=25:d=1 -f lavfi -i sine=f=440:d=1 -pix_fmt yuv420p "
               "-c:v libx264 -preset ultrafast -c:a aac -shortest " +
               (dir / "clip.mp4").string()));
    ASSERT_TRUE(ffmpeg("-f lavfi -i sine=f=440:d=1 " + (dir / "sound.m4a").string()));
    ASSERT_TRUE(ffmpeg("-f lavfi -i color=red:s=40x40 -f lavfi -i color=blue:s=40x40 -map 0 -frames:v 1 " +
                       (dir / "red.png").string() + " -map 1 -frames:v 1 " + (dir / "blue.png").string()));
    // The template: a picture on the left quarter, a large white text with a placeholder on the right.
    writeFile(dir / "t.tamovid", R"({"videoPath": "clip.mp4", "imagePaths": {"img_P": "red.png"}, "textObjects": [
        {"type": "image", "imageId": "img_P", "xPercent": 25, "yPercent": 50, "scalePercent": 40},
        {"text": "{{mark}}", "fontFamily": "DejaVu Sans", "fontSizePercent": 40, "xPercent": 75, "yPercent": 50,
         "shadowEnabled": false}]})");
    // Blank lines are no jobs, but line numbers stay those of the file; outputs are relative to the list.
    const std::string jobs = (dir / "jobs.jsonl").string(), t = R"({"project": "t.tamovid", )";
    writeFile(jobs, t + R"("texts": {"1": "{{mark}}{{mark}}"}, "placeholders": {"mark": "█"}, "output": "out/a.mp4",)" +
                        R"( "narration": "sound.m4a"}
)" + t + R"("placeholders": {"mark": "."}, "images": {"img_P": "blue.png"}, "output": "out/b.mp4"}

not json
)" + t + R"("video": "sound.m4a", "placeholders": {"mark": "x"}, "output": "out/c.mp4"}
)" + t + R"("placeholders": {"mark": "x"}, "output": "out/d.mp4"}
)" + t + R"("output": "./out/../out/a.mp4"}
)" + t + R"("params": "p", "output": "e"}
)" + t + R"("output": "f", "colour": "red"}
)" + t + R"("output": "g", "placeholders": {"a b": "x"}}
)" + t + R"("output": "h", "texts": {"0": "x"}, "placeholders": {"mark": "x"}}
)" + t + R"("output": "i", "texts": {"2": "x"}, "placeholders": {"mark": "x"}}
)" + t + R"("output": "j"}
)" + t + R"("output": "k", "images": {"img_Q": "red.png"}, "placeholders": {"mark": "x"}}
)" + t + R"("output": "l", "images": {"img_P": "gone.png"}, "placeholders": {"mark": "x"}}
{"params": "/dev/zero", "video": "clip.mp4", "output": "m"}
)");

    Render all(dir, "--jobs " + jobs + " --all --parallel 2 --progress json");
    EXPECT_EQ(all.wait(), 1) << all.err;
    auto states = finalStates(all.lines);
    ASSERT_EQ(states.size(), 15u) << all.err;
    for (int job : {0, 1, 4}) EXPECT_EQ(states[job]["state"], "done") << states[job];
    const std::vector<std::string> errors = {"not valid JSON",
                                             "Nincs videósáv!",
                                             "same \"output\" as line 1",
                                             "give exactly one template: \"project\" or \"params\"",
                                             "unknown key \"colour\"",
                                             "\"placeholders\": \"a b\" is not a placeholder name",
                                             "text 0: overlay 0 is not a text",
                                             "text 2: the template has 2 overlays",
                                             "overlay 1 keeps {{mark}}: the job gives no value for it",
                                             "picture \"img_Q\": no picture overlay of the template shows it",
                                             "picture \"img_P\": " + (dir / "gone.png").string() + " is not a file",
                                             "/dev/zero is not a regular file"};
    for (std::size_t i = 0; i < errors.size(); ++i) EXPECT_EQ(states[i < 2 ? i + 2 : i + 3]["error"], errors[i]);
    EXPECT_NE(all.err.find("15 jobs: 3 rendered, 0 already complete, 12 failed"), std::string::npos) << all.err;
    EXPECT_NE(all.err.find("job 2 (line 4): not valid JSON"), std::string::npos) << all.err;
    EXPECT_EQ(fileNames(dir / "out"), (std::vector<std::string>{"a.mp4", "b.mp4", "d.mp4"})) << "temporary files";
    auto a = decodeVideo(dir / "out/a.mp4"), b = decodeVideo(dir / "out/b.mp4");
    ASSERT_TRUE(a.frames.size() == 25 && b.frames.size() == 25);
    EXPECT_TRUE(a.hasAudio);
    // The template's red picture, and the job's blue one in its place (BGRA).
    auto pixel = [](const DecodedVideo& v, int c) { return int(v.frames[12][(90u * v.width + 80) * 4 + c]); };
    EXPECT_TRUE(pixel(a, 2) > 200 && pixel(a, 0) < 60 && pixel(b, 0) > 200 && pixel(b, 2) < 60);
    // The placeholder's value is what was drawn: two full blocks light the right half, a dot hardly.
    EXPECT_GT(rightHalfBrightness(a), 30);
    EXPECT_LT(rightHalfBrightness(b), 8);

    // A lost output and a cut one (not a complete video) are pending and rendered again; the rest is skipped.
    const std::string before = readFile(dir / "out/a.mp4");
    std::filesystem::remove(dir / "out/b.mp4");
    const std::string whole = readFile(dir / "out/d.mp4");
    writeFile(dir / "out/d.mp4", whole.substr(0, whole.size() / 2));
    Render pending(dir, "--jobs " + jobs + " --pending");
    EXPECT_EQ(pending.wait(), 0);
    EXPECT_EQ(pending.lines, std::vector<std::string>{"1,3-4,9-14"});
    EXPECT_NE(pending.err.find("line 4: not valid JSON"), std::string::npos) << pending.err;
    Render again(dir, "--jobs " + jobs + " --all --progress json");
    EXPECT_EQ(again.wait(), 1);
    states = finalStates(again.lines);
    EXPECT_EQ(states[0]["state"], "skipped");
    for (int job : {1, 4}) EXPECT_EQ(states[job]["state"], "done");
    EXPECT_TRUE(readFile(dir / "out/a.mp4") == before);
    EXPECT_EQ(decodeVideo(dir / "out/d.mp4", false).times.size(), 25u);
    // Without --progress json, one line per job on standard error.
    Render plain(dir, "--jobs " + jobs + " --all");
    EXPECT_EQ(plain.wait(), 1);
    EXPECT_NE(plain.err.find("job 0 (line 1): skipped\n"), std::string::npos) << plain.err;
    EXPECT_NE(plain.err.find("job 2 (line 4): failed: not valid JSON\n"), std::string::npos) << plain.err;
}

// A signal half-way through a list: only the parent gets it, as from a scheduler, and passes it on.
// Every render stops and removes its temporary files, earlier outputs stay, and the exit is 128 + the signal.
TEST(RenderJobs, InterruptStopsEveryJobOfAList) {
    TempDir dir;
    ASSERT_TRUE(
        ffmpeg("-f lavfi -i testsrc2=s=640x360:r=25:d=12 -f lavfi -i sine=f=440:d=12 -pix_fmt yuv420p "
               "-c:v libx264 -preset ultrafast -c:a aac -shortest " +
               (dir / "long.mp4").string()));
    writeFile(dir / "p.json", R"({"textObjects": [{"text": "Mégse", "fontSizePercent": 10}]})");
    std::filesystem::create_directories(dir / "out");
    writeFile(dir / "out/two.mp4", "earlier");  // not a video: rendered again, and kept when cancelled
    std::string jobs;
    for (const char* name : {"one", "two", "three"})
        jobs += R"({"params": "p.json", "video": "long.mp4", "output": "out/)" + std::string(name) + ".mp4\"}\n";
    writeFile(dir / "jobs.jsonl", jobs);
    Render list(dir, "--jobs " + (dir / "jobs.jsonl").string() + " --all --parallel 2 --progress json");
    while (auto line = list.line()) {
        json value = json::parse(*line, nullptr, false);
        ASSERT_EQ(value.value("state", ""), "running") << *line;
        if (value["percent"].get<int>() > 4) break;
    }
    kill(list.pid, SIGINT);
    EXPECT_EQ(list.wait(), 130);
    auto states = finalStates(list.lines);
    ASSERT_EQ(states.size(), 3u);
    for (const auto& [job, state] : states) EXPECT_EQ(state["state"], "cancelled") << job;
    EXPECT_NE(list.err.find("3 jobs: 0 rendered, 0 already complete, 0 failed, 3 cancelled"), std::string::npos)
        << list.err;
    EXPECT_EQ(fileNames(dir / "out"), std::vector<std::string>{"two.mp4"});
    EXPECT_TRUE(readFile(dir / "out/two.mp4") == "earlier");
}

}  // namespace
}  // namespace tamo::test
