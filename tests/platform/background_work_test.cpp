// The owner of the background threads: what it counts, whom it cancels, how long it waits at quit and
// what it refuses (workers block on a future the test releases; the only waits are bounded polls); and
// the main queue that brings workers' calls to the page.
#include "platform/background_work.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "support/fakes.h"

namespace tamo {
namespace {

using namespace std::chrono_literals;

template <class Ready>
bool eventually(Ready ready) {
    for (int i = 0; i < 5000 && !ready(); ++i) std::this_thread::sleep_for(1ms);
    return ready();
}

TEST(BackgroundWork, AKindRunsNoMoreThanItsBoundAndCancelledWorkWaitingItsTurnSeesItsFlag) {
    BackgroundWork work;
    WorkGate& gate = workGate(WorkKind::Export);
    const std::size_t limit = gate.limit(), count = limit + 2;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<std::size_t> running{0}, mostAtOnce{0}, sawFlag{0};
    std::vector<CancelFlag> flags(count);
    for (std::size_t i = 0; i < count; ++i)
        ASSERT_TRUE(work.start(
            "test.export", WorkKind::Export,
            [&](const CancelFlag& flag) {
                std::size_t now = ++running, seen = mostAtOnce;
                while (now > seen && !mostAtOnce.compare_exchange_weak(seen, now)) {
                }
                released.wait();
                sawFlag += flag.raised();
                --running;
            },
            flags[i]));
    EXPECT_EQ(work.inFlight(), count);  // also the ones waiting their turn
    ASSERT_TRUE(eventually([&] { return gate.running() == limit && gate.waiting() == count - limit; }));
    // An answer waiting on the main queue counts as long as any copy of its token lives.
    WorkToken token = work.begin(), copy = token;
    token.reset();
    EXPECT_EQ(work.inFlight(), count + 1);
    copy.reset();

    work.cancelAll();  // raises the callers' own flags (the page's cancel button shares them)
    for (const auto& flag : flags) EXPECT_TRUE(flag.raised());
    release.set_value();
    EXPECT_TRUE(work.shutdown(10s));
    EXPECT_EQ(sawFlag.load(), count);
    EXPECT_EQ(mostAtOnce.load(), limit);
    EXPECT_EQ(gate.running() + gate.waiting() + work.inFlight(), 0u);
    std::atomic<bool> ran{false};
    EXPECT_FALSE(work.start("test.late", WorkKind::Network, [&](const CancelFlag&) { ran = true; }));
    EXPECT_TRUE(work.shutdown(1s));
    EXPECT_FALSE(ran);
}

TEST(BackgroundWork, ShutdownWaitsForCleanUpGivesUpOnAStubbornWorkerAndTheOwnerJoinsAll) {
    std::promise<void> release;
    std::atomic<int> cleanedUp{0}, running{0};
    std::atomic<bool> stubbornEnded{false};
    {
        BackgroundWork work;
        // Throwing tasks end only themselves.
        ASSERT_TRUE(
            work.start("test.throws", WorkKind::Network, [](const CancelFlag&) { throw std::runtime_error("x"); }));
        ASSERT_TRUE(work.start("test.throws", WorkKind::Network, [](const CancelFlag&) { throw 42; }));
        for (int i = 0; i < 2; ++i)
            ASSERT_TRUE(work.start("test.cleanup", WorkKind::Network, [&](const CancelFlag& cancel) {
                ++running;
                while (!cancel.raised()) std::this_thread::sleep_for(1ms);
                std::this_thread::sleep_for(20ms);  // removing temporary files: shutdown waits for this too
                ++cleanedUp;
            }));
        ASSERT_TRUE(
            work.start("test.stubborn", WorkKind::Network, [&, f = release.get_future().share()](const CancelFlag&) {
                ++running;
                f.wait();  // never looks at its flag
                stubbornEnded = true;
            }));
        // A worker may start follow-up work.
        ASSERT_TRUE(work.start("test.first", WorkKind::Network, [&](const CancelFlag&) {
            EXPECT_TRUE(work.start("test.second", WorkKind::Network, [&](const CancelFlag&) { ++running; }));
        }));
        ASSERT_TRUE(eventually([&] { return running == 4 && work.inFlight() == 3; }));
        EXPECT_FALSE(work.shutdown(500ms));
        EXPECT_EQ(cleanedUp, 2);
        EXPECT_FALSE(stubbornEnded);
        EXPECT_EQ(work.inFlight(), 1u);
        release.set_value();  // it ends later; the destructor joins it instead of leaving it behind
    }
    EXPECT_TRUE(stubbornEnded);
}

// Calls for the page built on workers arrive on the main thread after earlier ones, or not at all
// once the application object is gone.
TEST(AppDelegate, WorkerCallsComeAfterEarlierOnesAndNeverAfterTheApplicationObject) {
    test::FakeApp f;
    f.app->evaluate(std::string("first()"));
    std::weak_ptr<AppDelegate> weak = f.app;
    std::thread([weak] { AppDelegate::evaluateOnMain(weak, "fromWorker()"); }).join();
    f.app->evaluate(std::string("second()"));
    f.app->evaluate(std::optional<std::string>{});  // an unwritable payload is dropped
    f.queue->drain();
    EXPECT_EQ(f.page->calls, (std::vector<std::string>{"first()", "second()", "fromWorker()"}));
    AppDelegate::evaluateOnMain(weak, "late()");
    f.app.reset();
    f.queue->drain();
    AppDelegate::evaluateOnMain(weak, "later()");
    EXPECT_EQ(f.queue->size(), 0u);
    EXPECT_EQ(f.page->calls.size(), 3u);
}

}  // namespace
}  // namespace tamo
