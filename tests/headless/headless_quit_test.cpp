// tamovid-headless asked to stop (SIGTERM) while its input is still open and work is in flight:
// the work is cancelled, the program ends within about a second by itself (status 128 + 15)
// and nobody is told about the cancelled work.
#include <gtest/gtest.h>
#include <httplib.h>

#include <signal.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>

#include "support/headless_runner.h"
#include "support/live_headless.h"
#include "support/loopback_server.h"

namespace tamo::test {
namespace {

using namespace std::chrono_literals;

bool startsWith(const std::string& line, const std::string& prefix) { return line.rfind(prefix, 0) == 0; }

TEST(HeadlessQuit, ASignalEndsTheProgramAlthoughItsInputIsStillOpen) {
    LiveHeadless program;
    ASSERT_TRUE(program.send(swift("marker")));
    // Taken and answered: the program is up and waiting for the next line.
    ASSERT_TRUE(program.waitFor([](const std::string& l) { return l == "⚠️ Unknown action: marker"; }, 60s));
    program.signal(SIGTERM);
    auto status = program.waitForExit(10s);
    ASSERT_TRUE(status.has_value()) << "still waiting for input after SIGTERM";
    EXPECT_EQ(*status, 128 + SIGTERM);  // ended by itself, not killed by the signal
}

TEST(HeadlessQuit, TheEndOfInputStillTakesALastLineWithoutItsNewline) {
    LiveHeadless program;
    ASSERT_TRUE(program.sendRaw(swift("first").dump() + "\n" + swift("last").dump()));
    program.closeInput();
    auto status = program.waitForExit(60s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0);
    auto lines = program.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "⚠️ Unknown action: first"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "⚠️ Unknown action: last"), 1);
}

TEST(HeadlessQuit, ARequestStuckOnASilentServerIsCancelledAndNotAnswered) {
    std::promise<void> asked;
    std::atomic<bool> once{false};
    LoopbackServer* self = nullptr;
    LoopbackServer server([&](httplib::Server& s) {
        s.Get("/page", [&](const httplib::Request&, httplib::Response& res) {
            if (!once.exchange(true)) asked.set_value();
            self->stall();  // holds the answer back until the test is over
            res.set_content("late", "text/html");
        });
    });
    self = &server;

    LiveHeadless program;
    ASSERT_TRUE(program.send(swift("fetchUrl", {{"url", server.url("/page")}})));
    ASSERT_EQ(asked.get_future().wait_for(60s), std::future_status::ready) << "the request never arrived";
    program.signal(SIGTERM);
    // The request reads its flag at least once a second; the quit waits about a second for it.
    auto status = program.waitForExit(5s);
    ASSERT_TRUE(status.has_value()) << "still running after SIGTERM with a request in flight";
    EXPECT_EQ(*status, 128 + SIGTERM);
    for (const auto& line : program.lines()) {
        EXPECT_FALSE(startsWith(line, "JS> onUrlFetched")) << line;
        // The request ended with its flag: the quit did not have to leave it behind.
        EXPECT_FALSE(startsWith(line, "tamovid-headless: background work did not end in time")) << line;
    }
}

}  // namespace
}  // namespace tamo::test
