// Job lists: which lines are jobs, what a bad line says, and how replacements change a template.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/bounded_file.h"
#include "cli/job_list.h"
#include "export/media_test_support.h"

namespace tamo::test {
namespace {

using cli::JobLine;
using nlohmann::json;

TEST(JobList, LinesBecomeJobsAndBadOnesSayWhy) {
    const std::filesystem::path base = "/data/batch";
    const std::string text =
        "{\"project\": \"t.tamovid\", \"output\": \"out/a.mp4\"}\n"
        "\n"
        "   \n"
        "{\"params\": \"/abs/p.json\", \"video\": \"v.mp4\", \"output\": \"/abs/b.mp4\", \"narration\": \"n.mp3\",\n"
        "not json\n"
        "[1, 2]\n"
        "{\"project\": \"t.tamovid\", \"output\": \"c.mp4\", \"colour\": \"red\"}\n"
        "{\"project\": \"t.tamovid\"}\n"
        "{\"project\": \"t.tamovid\", \"params\": \"p.json\", \"output\": \"d.mp4\"}\n"
        "{\"params\": \"p.json\", \"output\": \"e.mp4\"}\n"
        "{\"project\": \"t.tamovid\", \"output\": \"f.mp4\", \"texts\": {\"first\": \"x\"}}\n"
        "{\"project\": \"t.tamovid\", \"output\": \"g.mp4\", \"placeholders\": {\"a b\": \"x\"}}\n"
        "{\"project\": \"t.tamovid\", \"output\": \"./out/../out/a.mp4\"}\n"
        "{\"project\": \"t.tamovid\", \"output\": \"h.mp4\", \"images\": {\"img_A\": 5}}\n"
        "{\"project\": \"t.tamovid\", \"output\": \"i.mp4\", \"texts\": " +
        std::string(40, '[') +
        "\n"
        "{\"project\": \"t.tamovid\", \"output\": \"j.mp4\", \"texts\": {\"2\": \"Cipő\"},"
        " \"placeholders\": {\"{{price}}\": \"19 990 Ft\", \"name\": \"x\"}, \"images\": {\"img_A\": \"a.png\"}}";
    auto list = cli::parseJobList(text, base);
    ASSERT_TRUE(list.error.empty());
    ASSERT_EQ(list.jobs.size(), 14u);

    const JobLine& first = list.jobs[0];
    EXPECT_TRUE(first.ok()) << first.error;
    EXPECT_EQ(first.lineNumber, 1);
    EXPECT_EQ(first.project, base / "t.tamovid");
    EXPECT_EQ(first.output, base / "out/a.mp4");

    // Blank lines count neither as jobs nor as errors, but line numbers stay those of the file.
    const JobLine& broken = list.jobs[1];
    EXPECT_EQ(broken.index, 1);
    EXPECT_EQ(broken.lineNumber, 4);
    EXPECT_EQ(broken.error, "not valid JSON");  // the object is not closed on its line

    const std::vector<std::pair<int, std::string>> expected = {
        {5, "not valid JSON"},
        {6, "not a JSON object"},
        {7, "unknown key \"colour\""},
        {8, "\"output\" is missing"},
        {9, "give exactly one template: \"project\" or \"params\""},
        {10, "\"params\" needs a \"video\""},
        {11, "\"texts\": \"first\" is not an overlay index"},
        {12, "\"placeholders\": \"a b\" is not a placeholder name"},
        {13, "same \"output\" as line 1"},
        {14, "\"images\": \"img_A\" must be a text"},
        {15, "nested too deeply"},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const JobLine& job = list.jobs[i + 2];
        EXPECT_EQ(job.index, static_cast<int>(i + 2));
        EXPECT_EQ(job.lineNumber, expected[i].first);
        EXPECT_EQ(job.error, expected[i].second) << "line " << job.lineNumber;
    }

    const JobLine& full = list.jobs[13];
    ASSERT_TRUE(full.ok()) << full.error;
    EXPECT_EQ(full.lineNumber, 16);
    EXPECT_EQ(full.texts, (std::map<std::size_t, std::string>{{2, "Cipő"}}));
    EXPECT_EQ(full.placeholders, (std::map<std::string, std::string>{{"price", "19 990 Ft"}, {"name", "x"}}));
    EXPECT_EQ(full.images.at("img_A"), base / "a.png");
}

class ResolveJob : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override {
        json params = {{"previewHeight", 500},
                       {"textObjects", json::array({
                                           json{{"text", "Ár: {{price}}"}},                                    // 0
                                           json{{"type", "image"}, {"imageId", "img_P"}},                      // 1
                                           json{{"type", "emoji"}, {"text", "🎉 {{name}} {{price}}!"}},         // 2
                                           json{{"type", "text"}, {"text", "fixed"}, {"fontSizePercent", 9}},  // 3
                                       })}};
        writeFile(dir / "p.json", params.dump());
        writeFile(dir / "pic.png", "not checked here");
    }
    cli::LoadedJob resolve(const std::string& line) {
        auto list = cli::parseJobList(line, dir.path());
        EXPECT_EQ(list.jobs.size(), 1u);
        EXPECT_TRUE(list.jobs[0].ok()) << list.jobs[0].error;
        return cli::resolveJob(list.jobs[0]);
    }
    static std::string head() { return R"({"params": "p.json", "video": "v.mp4", "output": "o.mp4")"; }
};

TEST_F(ResolveJob, TextsPlaceholdersAndPicturesReachTheExportInputs) {
    auto loaded = resolve(head() + R"(, "texts": {"3": "{{name}} új"}, "placeholders": {"price": "19 990 Ft", )"
                                   R"("name": "Cipő"}, "images": {"img_P": "pic.png"}, "narration": "n.mp3"})");
    ASSERT_TRUE(loaded.error.empty()) << loaded.error;
    const json& objects = loaded.inputs.params.textObjects;
    EXPECT_EQ(objects[0]["text"], "Ár: 19 990 Ft");
    EXPECT_EQ(objects[2]["text"], "🎉 Cipő 19 990 Ft!");
    EXPECT_EQ(objects[3]["text"], "Cipő új");     // an index replacement may itself hold placeholders
    EXPECT_EQ(objects[3]["fontSizePercent"], 9);  // the rest of the overlay is the template's
    EXPECT_EQ(loaded.inputs.params.previewHeight, 500);
    EXPECT_EQ(loaded.inputs.images.at("img_P"), dir / "pic.png");
    EXPECT_EQ(loaded.inputs.videoURL, dir / "v.mp4");
    EXPECT_EQ(loaded.inputs.outputURL, dir / "o.mp4");
    EXPECT_EQ(loaded.narration, std::optional<std::filesystem::path>(dir / "n.mp3"));
}

TEST_F(ResolveJob, ReplacementsThatDoNotFitTheTemplateFailTheJob) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"(, "placeholders": {"price": "1", "name": "n"}, "texts": {"4": "x"}})",
         "text 4: the template has 4 overlays"},
        {R"(, "placeholders": {"price": "1", "name": "n"}, "texts": {"1": "x"}})", "text 1: overlay 1 is not a text"},
        {R"(, "placeholders": {"price": "1"}})", "overlay 2 keeps {{name}}: the job gives no value for it"},
        {R"(, "placeholders": {"price": "1", "name": "n", "prize": "2"}})",
         "placeholder {{prize}} is in no text of the template"},
        {R"(, "placeholders": {"price": "1", "name": "n"}, "images": {"img_Q": "pic.png"}})",
         "picture \"img_Q\": no picture overlay of the template shows it"},
        {R"(, "placeholders": {"price": "1", "name": "n"}, "images": {"img_P": "gone.png"}})",
         "picture \"img_P\": " + (dir / "gone.png").string() + " is not a file"},
    };
    for (const auto& [tail, error] : cases) EXPECT_EQ(resolve(head() + tail).error, error) << tail;
    // Without replacements the template's placeholders are unfilled.
    EXPECT_EQ(resolve(head() + "}").error, "overlay 0 keeps {{price}}: the job gives no value for it");
    EXPECT_NE(resolve(R"({"project": "none.tamovid", "output": "o.mp4"})").error.find("cannot read"),
              std::string::npos);
}

TEST(JobList, IndexRangesForArrayOptions) {
    EXPECT_EQ(cli::indexRanges({}), "");
    EXPECT_EQ(cli::indexRanges({4}), "4");
    EXPECT_EQ(cli::indexRanges({0, 1, 2, 3, 5, 7, 8, 10}), "0-3,5,7-8,10");
}

TEST(BoundedFile, OnlyWholeRegularFilesWithinTheLimit) {
    TempDir dir;
    writeFile(dir / "small.json", "{\"a\": 1}");
    auto ok = cli::readBoundedFile(dir / "small.json", 8);
    ASSERT_TRUE(ok.text) << ok.error;
    EXPECT_EQ(*ok.text, "{\"a\": 1}");

    auto big = cli::readBoundedFile(dir / "small.json", 7);
    EXPECT_FALSE(big.text);
    EXPECT_NE(big.error.find("is larger than"), std::string::npos) << big.error;

    // A device that never ends and a FIFO nobody writes to: refused at once, nothing read.
    auto zero = cli::readBoundedFile("/dev/zero");
    EXPECT_FALSE(zero.text);
    EXPECT_EQ(zero.error, "/dev/zero is not a regular file");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    auto fifo = cli::readBoundedFile(dir / "fifo");
    EXPECT_FALSE(fifo.text);
    EXPECT_EQ(fifo.error, (dir / "fifo").string() + " is not a regular file");
    EXPECT_FALSE(cli::readBoundedFile(dir.path()).text);
    auto missing = cli::readBoundedFile(dir / "missing.json");
    EXPECT_FALSE(missing.text);
    EXPECT_NE(missing.error.find("cannot read"), std::string::npos);
}

}  // namespace
}  // namespace tamo::test
