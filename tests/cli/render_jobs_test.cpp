// Job lists and tamovid-render: which lines are jobs, what a bad line says, how replacements change a
// template, and the real executable rendering lists (outputs decoded) and stopped by a signal.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>

#include "cli/bounded_file.h"
#include "cli/job_list.h"
#include "export/media_test_support.h"

namespace tamo::test {
namespace {

using nlohmann::json;

TEST(JobList, LinesBecomeJobsAndBadOnesSayWhy) {
    const std::vector<std::pair<std::string, std::string>> bad = {
        {R"({"params": "/abs/p.json", "video": "v.mp4", "output": "/abs/b.mp4",)", "not valid JSON"},
        {"[1, 2]", "not a JSON object"},
        {R"({"project": "t.tamovid", "output": "c.mp4", "colour": "red"})", "unknown key \"colour\""},
        {R"({"project": ""})", "\"project\" must be a non-empty text"},
        {R"({"project": "t.tamovid"})", "\"output\" is missing"},
        {R"({"project": "t", "params": "p", "output": "d"})", "give exactly one template: \"project\" or \"params\""},
        {R"({"params": "p.json", "output": "e.mp4"})", "\"params\" needs a \"video\""},
        {R"({"project": "t", "output": "f", "texts": {"first": "x"}})", "\"texts\": \"first\" is not an overlay index"},
        {R"({"project": "t", "output": "g", "placeholders": {"a b": "x"}})",
         "\"placeholders\": \"a b\" is not a placeholder name"},
        {R"({"project": "t", "output": "h.mp4", "images": {"img_A": 5}})", "\"images\": \"img_A\" must be a text"},
        {R"({"project": "t", "output": "h.mp4", "images": []})", "\"images\" must be an object"},
        {R"({"project": "t.tamovid", "output": "./out/../out/a.mp4"})", "same \"output\" as line 1"},
        {R"({"project": "t", "output": "i.mp4", "texts": )" + std::string(40, '['), "nested too deeply"},
    };
    std::string text = "{\"project\": \"t.tamovid\", \"output\": \"out/a.mp4\"}\n\n   \n";
    for (const auto& [line, error] : bad) text += line + "\n";
    text += R"({"project": "t", "output": "j.mp4", "texts": {"2": "Cipő"}, "placeholders": {"{{price}}": "19 990 Ft"},)"
            R"( "images": {"img_A": "a.png"}})";
    const std::filesystem::path base = "/data/batch";
    auto list = cli::parseJobList(text, base);
    ASSERT_EQ(list.jobs.size(), bad.size() + 2);
    EXPECT_EQ(list.jobs[0].output, base / "out/a.mp4") << list.jobs[0].error;  // relative to the list's folder
    // Blank lines count neither as jobs nor as errors, but line numbers stay those of the file.
    for (std::size_t i = 0; i < bad.size(); ++i) {
        EXPECT_EQ(list.jobs[i + 1].index, static_cast<int>(i + 1));
        EXPECT_EQ(list.jobs[i + 1].lineNumber, static_cast<int>(i + 4));
        EXPECT_EQ(list.jobs[i + 1].error, bad[i].second) << bad[i].first;
    }
    const cli::JobLine& full = list.jobs.back();
    ASSERT_TRUE(full.ok()) << full.error;
    EXPECT_EQ(full.texts, (std::map<std::size_t, std::string>{{2, "Cipő"}}));
    EXPECT_EQ(full.placeholders, (std::map<std::string, std::string>{{"price", "19 990 Ft"}}));
    EXPECT_EQ(cli::indexRanges({0, 1, 2, 3, 5, 7, 8, 10}), "0-3,5,7-8,10");
}

TEST(JobList, ReplacementsReachTheExportInputsOrFailTheJob) {
    TempDir dir;
    writeFile(dir / "p.json", R"({"textObjects": [{"text": "Ár: {{price}}"}, {"type": "image", "imageId": "img_P"},
        {"type": "emoji", "text": "🎉 {{name}} {{price}}!"}, {"type": "text", "text": "fixed", "fontSizePercent": 9}]})");
    writeFile(dir / "pic.png", "not checked here");
    auto resolve = [&](const std::string& tail) {
        auto list = cli::parseJobList(R"({"params": "p.json", "video": "v.mp4", "output": "o.mp4")" + tail, dir.path());
        EXPECT_TRUE(list.jobs.at(0).ok()) << list.jobs[0].error;
        return cli::resolveJob(list.jobs[0]);
    };
    auto loaded = resolve(R"(, "texts": {"3": "{{name}} új"}, "placeholders": {"price": "19 990 Ft", "name": "Cipő"},)"
                          R"( "images": {"img_P": "pic.png"}, "narration": "n.mp3"})");
    ASSERT_TRUE(loaded.error.empty()) << loaded.error;
    const json& objects = loaded.inputs.params.textObjects;
    EXPECT_EQ(objects[0]["text"], "Ár: 19 990 Ft");
    EXPECT_EQ(objects[2]["text"], "🎉 Cipő 19 990 Ft!");
    EXPECT_EQ(objects[3]["text"], "Cipő új");  // an index replacement may itself hold placeholders
    EXPECT_EQ(objects[3]["fontSizePercent"], 9);
    EXPECT_EQ(loaded.inputs.images.at("img_P"), dir / "pic.png");
    EXPECT_TRUE(loaded.narration.has_value());

    const std::string both = R"(, "placeholders": {"price": "1", "name": "n")";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {both + R"(}, "texts": {"4": "x"}})", "text 4: the template has 4 overlays"},
        {both + R"(}, "texts": {"1": "x"}})", "text 1: overlay 1 is not a text"},
        {R"(, "placeholders": {"price": "1"}})", "overlay 2 keeps {{name}}: the job gives no value for it"},
        {both + R"(, "prize": "2"}})", "placeholder {{prize}} is in no text of the template"},
        {both + R"(}, "images": {"img_Q": "pic.png"}})",
         "picture \"img_Q\": no picture overlay of the template shows it"},
        {both + R"(}, "images": {"img_P": "gone.png"}})",
         "picture \"img_P\": " + (dir / "gone.png").string() + " is not a file"},
    };
    for (const auto& [tail, error] : cases) EXPECT_EQ(resolve(tail).error, error) << tail;
}

TEST(BoundedFile, OnlyWholeRegularFilesWithinTheLimit) {
    EXPECT_EQ(cli::readBoundedFile(TAMO_SOURCE_DIR "/CMakeLists.txt", 100).error,
              TAMO_SOURCE_DIR "/CMakeLists.txt is larger than 0 MB");
    EXPECT_EQ(cli::readBoundedFile("/dev/zero").error, "/dev/zero is not a regular file");
    EXPECT_NE(cli::readBoundedFile("/nonexistent").error.find("cannot read"), std::string::npos);
}

// The render as a child: standard output read line by line, standard error kept in a file. The
// shell prints its process id and becomes the render, so the id is the render's own.
struct Render {
    Render(const TempDir& dir, const std::string& args) : err_(dir / "stderr.txt") {
        out_ =
            popen(("echo $$; exec " TAMO_RENDER_BIN " " + args + " 2>" + err_.string() + " </dev/null").c_str(), "r");
        pid_ = std::stoi(line().value_or("-1"));
    }
    std::optional<std::string> line() {
        char text[4096];
        if (!fgets(text, sizeof text, out_)) return std::nullopt;
        std::string_view got(text);
        return std::string(got.substr(0, got.size() - (got.ends_with('\n') ? 1 : 0)));
    }
    void signal(int sig) { kill(pid_, sig); }
    // Reads the rest of standard output; the exit status (-1 when ended by a signal).
    int wait() {
        while (auto l = line()) lines.push_back(*l);
        int status = pclose(out_);
        err = readFile(err_);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::filesystem::path err_;
    FILE* out_;
    pid_t pid_;
    std::vector<std::string> lines;
    std::string err;
};

// The last JSON state of every job, checking that each line is one JSON object whose percent never goes back.
std::map<int, json> finalStates(const std::vector<std::string>& lines) {
    std::map<int, json> last;
    for (const auto& line : lines) {
        json value = json::parse(line, nullptr, false);
        json& before = last[value.is_object() ? value.value("job", -1) : -1];
        if (value.is_object() && value["state"] == "running" && before.is_object())
            EXPECT_GE(value["percent"], before["percent"]) << line;
        before = value;
    }
    EXPECT_FALSE(last.count(-1)) << "a line that is not a job's JSON state";
    return last;
}

bool noTemporaryFiles(const std::filesystem::path& dir) {
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
        if (e.path().filename().string().rfind("_temp", 0) == 0) return false;
    return true;
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
    const std::string jobs = (dir / "jobs.jsonl").string();
    writeFile(jobs, R"({"project": "t.tamovid", "placeholders": {"mark": "██"}, "output": "out/a.mp4"}
{"project": "t.tamovid", "placeholders": {"mark": "."}, "images": {"img_P": "blue.png"}, "output": "out/b.mp4"}

not json
{"project": "t.tamovid", "video": "sound.m4a", "placeholders": {"mark": "x"}, "output": "out/c.mp4"}
{"project": "t.tamovid", "placeholders": {"mark": "x"}, "output": "out/d.mp4"}
)");

    Render all(dir, "--jobs " + jobs + " --all --parallel 2 --progress json");
    EXPECT_EQ(all.wait(), 1) << all.err;
    auto states = finalStates(all.lines);
    ASSERT_EQ(states.size(), 5u) << all.err;
    for (int job : {0, 1, 4}) EXPECT_EQ(states[job]["state"], "done") << states[job];
    EXPECT_EQ(states[2]["error"], "not valid JSON");
    EXPECT_EQ(states[3]["error"], "Nincs videósáv!");
    EXPECT_NE(all.err.find("5 jobs: 3 rendered, 0 already complete, 2 failed"), std::string::npos) << all.err;
    EXPECT_NE(all.err.find("job 2 (line 4): not valid JSON"), std::string::npos) << all.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out/c.mp4"));
    EXPECT_TRUE(noTemporaryFiles(dir.path()));
    auto a = decodeVideo(dir / "out/a.mp4");
    auto b = decodeVideo(dir / "out/b.mp4");
    ASSERT_EQ(a.frames.size(), 25u);
    ASSERT_EQ(b.frames.size(), 25u);
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
    EXPECT_EQ(pending.lines, std::vector<std::string>{"1,3-4"});
    EXPECT_NE(pending.err.find("line 4: not valid JSON"), std::string::npos) << pending.err;
    Render again(dir, "--jobs " + jobs + " --all --progress json");
    EXPECT_EQ(again.wait(), 1);
    states = finalStates(again.lines);
    EXPECT_EQ(states[0]["state"], "skipped");
    EXPECT_EQ(states[1]["state"], "done");
    EXPECT_EQ(states[4]["state"], "done");
    EXPECT_TRUE(readFile(dir / "out/a.mp4") == before);
    EXPECT_EQ(decodeVideo(dir / "out/d.mp4", false).times.size(), 25u);
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
    list.signal(SIGINT);
    EXPECT_EQ(list.wait(), 130);
    auto states = finalStates(list.lines);
    ASSERT_EQ(states.size(), 3u);
    for (const auto& [job, state] : states) EXPECT_EQ(state["state"], "cancelled") << job;
    EXPECT_NE(list.err.find("3 jobs: 0 rendered, 0 already complete, 0 failed, 3 cancelled"), std::string::npos)
        << list.err;
    EXPECT_EQ(fileNames(dir / "out"), std::vector<std::string>{"two.mp4"});
    EXPECT_TRUE(readFile(dir / "out/two.mp4") == "earlier");
    EXPECT_TRUE(noTemporaryFiles(dir.path()));
}

}  // namespace
}  // namespace tamo::test
