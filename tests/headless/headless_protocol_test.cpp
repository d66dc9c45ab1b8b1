// The tamovid-headless protocol on the real executable: one input line at a time, each output on a
// line of its own, bad lines answered without stopping, and a quit (end of input or SIGTERM) that
// cancels work in flight.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <future>
#include <mutex>

#include "support/headless_runner.h"
#include "support/live_headless.h"
#include "support/loopback_server.h"

namespace tamo::test {
namespace {

using namespace std::chrono_literals;

// Choosers (announced, answered or cancelled in order) are taken by every other area's headless run.
TEST(HeadlessProtocol, MalformedLinesAreAnsweredWithoutStopping) {
    auto r = runHeadlessRaw({R"({"swift": {"action": "noSuchThing"}})", "this is not json", R"(["an", "array"])",
                             R"({"swift": 1, "extra": 2})", R"({"mystery": true})", R"({"swift": "openVideo"})",
                             R"({"consoleLog": {"level": "warn", "message": "low disk 3"}})",
                             R"({"consoleLog": {"level": "debug"}})", swift("OpenVideo").dump()});
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.logLines(),
              (std::vector<std::string>{"⚠️ Unknown action: noSuchThing", "⚠️ JS[warn]: low disk 3",
                                        "⚠️ Unknown action: OpenVideo"}));
    EXPECT_NE(r.stderrText.find("not JSON"), std::string::npos) << r.stderrText;
    EXPECT_NE(r.stderrText.find("unknown key"), std::string::npos) << r.stderrText;
    EXPECT_TRUE(r.scriptCalls().empty());
}

TEST(HeadlessProtocol, EndOfInputTakesALastLineWithoutItsNewline) {
    LiveHeadless program;
    ASSERT_TRUE(program.sendRaw(swift("first").dump() + "\n" + swift("last").dump()));
    program.closeInput();
    EXPECT_EQ(program.waitForExit(60s), std::optional<int>(0));
    auto lines = program.lines();
    EXPECT_EQ(lines, (std::vector<std::string>{"⚠️ Unknown action: first", "⚠️ Unknown action: last"}));
}

// A request stuck on a silent server while the input is still open: SIGTERM cancels it, the
// program ends by itself within about a second and nobody is told about the request.
TEST(HeadlessProtocol, SigtermCancelsAStuckRequestAlthoughTheInputIsOpen) {
    std::promise<void> asked;
    std::once_flag once;
    LoopbackServer* self = nullptr;
    LoopbackServer server([&](httplib::Server& s) {
        s.Get("/page", [&](const httplib::Request&, httplib::Response& res) {
            std::call_once(once, [&] { asked.set_value(); });
            self->stall();
            res.set_content("late", "text/html");
        });
    });
    self = &server;
    LiveHeadless program;
    ASSERT_TRUE(program.send(swift("fetchUrl", {{"url", server.url("/page")}})));
    ASSERT_EQ(asked.get_future().wait_for(60s), std::future_status::ready) << "the request never arrived";
    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(5s), std::optional<int>(128 + SIGTERM));  // ended by itself
    for (const auto& line : program.lines()) {
        EXPECT_NE(line.rfind("JS> onUrlFetched", 0), 0u) << line;
        EXPECT_EQ(line.find("did not end in time"), std::string::npos) << line;  // the request saw its flag
    }
}

}  // namespace
}  // namespace tamo::test
