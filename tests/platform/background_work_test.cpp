// The owner of the background threads: what it counts, whom it cancels, how long it waits at quit
// and what it refuses. Workers block on promises the test releases, so nothing here depends on
// how fast the machine is; the only waits are bounded polls for a state to be reached.
#include "platform/background_work.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

namespace tamo {
namespace {

using namespace std::chrono_literals;

// Polls until ready() or a generous bound (a stuck test fails instead of hanging).
template <class Ready>
bool eventually(Ready ready) {
    for (int i = 0; i < 5000; ++i) {
        if (ready()) return true;
        std::this_thread::sleep_for(1ms);
    }
    return ready();
}

// A gate a worker waits at until the test opens it.
struct Latch {
    std::promise<void> promise;
    std::shared_future<void> future = promise.get_future().share();
    void open() { promise.set_value(); }
};

TEST(BackgroundWork, CountsWorkersAndTokensUntilTheyEnd) {
    BackgroundWork work;
    EXPECT_EQ(work.inFlight(), 0u);

    Latch release;
    std::promise<void> started;
    ASSERT_TRUE(work.start("test.counted", WorkKind::Network, [&, wait = release.future](const CancelFlag&) {
        started.set_value();
        wait.wait();
    }));
    started.get_future().wait();
    EXPECT_EQ(work.inFlight(), 1u);

    // An answer waiting on the main queue counts as long as any copy of its token lives.
    WorkToken token = work.begin();
    WorkToken copy = token;
    EXPECT_EQ(work.inFlight(), 2u);
    token.reset();
    EXPECT_EQ(work.inFlight(), 2u);
    copy.reset();
    EXPECT_EQ(work.inFlight(), 1u);

    release.open();
    // Joined workers have given their count back.
    EXPECT_TRUE(work.shutdown(10s));
    EXPECT_EQ(work.inFlight(), 0u);
}

TEST(BackgroundWork, CountsWorkUntilTheLastTokenCopyDies) {
    BackgroundWork tracker;
    {
        WorkToken a = tracker.begin();
        WorkToken copy = a;
        WorkToken b = tracker.begin();
        EXPECT_EQ(tracker.inFlight(), 2u);
        a.reset();
        EXPECT_EQ(tracker.inFlight(), 2u);
    }
    EXPECT_EQ(tracker.inFlight(), 0u);
}

TEST(BackgroundWork, TokensOutliveTheOwnerSafely) {
    WorkToken token;
    {
        BackgroundWork work;
        token = work.begin();
    }
    token.reset();  // the counter went with the last token, not with the owner
    SUCCEED();
}

TEST(BackgroundWork, CancelAllAndShutdownRaiseTheFlagsTheTasksSee) {
    BackgroundWork work;
    // The caller's own flag is the one raised (the page's cancel button shares it).
    CancelFlag exportFlag;
    std::promise<void> sawCancel;
    std::promise<void> running;
    ASSERT_TRUE(work.start(
        "test.cancelled", WorkKind::Network,
        [&](const CancelFlag& cancel) {
            EXPECT_EQ(cancel, exportFlag);
            running.set_value();
            while (!cancel.raised()) std::this_thread::sleep_for(1ms);
            sawCancel.set_value();
        },
        exportFlag));
    running.get_future().wait();
    work.cancelAll();
    sawCancel.get_future().wait();
    EXPECT_TRUE(exportFlag.raised());

    // Work started after a cancelAll gets a fresh flag and runs normally; shutdown raises it.
    std::promise<bool> raisedAtStart;
    std::promise<void> sawShutdown;
    ASSERT_TRUE(work.start("test.shutdown", WorkKind::Network, [&](const CancelFlag& cancel) {
        raisedAtStart.set_value(cancel.raised());
        while (!cancel.raised()) std::this_thread::sleep_for(1ms);
        sawShutdown.set_value();
    }));
    EXPECT_FALSE(raisedAtStart.get_future().get());
    EXPECT_TRUE(work.shutdown(10s));
    EXPECT_EQ(sawShutdown.get_future().wait_for(0s), std::future_status::ready);
}

TEST(BackgroundWork, ShutdownWaitsForCooperativeWorkersToCleanUp) {
    BackgroundWork work;
    std::atomic<int> cleanedUp{0};
    std::atomic<int> running{0};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(work.start("test.cleanup", WorkKind::Network, [&](const CancelFlag& cancel) {
            ++running;
            while (!cancel.raised()) std::this_thread::sleep_for(1ms);
            // Removing temporary files after the flag: shutdown must wait for this too.
            std::this_thread::sleep_for(20ms);
            ++cleanedUp;
        }));
    }
    ASSERT_TRUE(eventually([&] { return running == 3; }));
    EXPECT_TRUE(work.shutdown(10s));
    EXPECT_EQ(cleanedUp, 3);
    EXPECT_EQ(work.inFlight(), 0u);
}

TEST(BackgroundWork, ShutdownGivesUpOnAWorkerThatIgnoresItsFlag) {
    Latch release;
    std::atomic<bool> ended{false};
    {
        BackgroundWork work;
        std::promise<void> started;
        ASSERT_TRUE(work.start("test.stubborn", WorkKind::Network, [&, wait = release.future](const CancelFlag&) {
            started.set_value();
            wait.wait();  // never looks at its flag
            ended = true;
        }));
        started.get_future().wait();
        EXPECT_FALSE(work.shutdown(50ms));
        EXPECT_FALSE(ended);
        EXPECT_EQ(work.inFlight(), 1u);
        // Shutting down again still reports it, and nothing new is taken on meanwhile.
        EXPECT_FALSE(work.shutdown(1ms));

        // The worker ends later; the owner's destructor joins it instead of leaving it behind.
        release.open();
    }
    EXPECT_TRUE(ended);
}

TEST(BackgroundWork, StartAfterShutdownIsRefusedAndTheTaskNeverRuns) {
    BackgroundWork work;
    EXPECT_TRUE(work.shutdown(1s));
    std::atomic<bool> ran{false};
    EXPECT_FALSE(work.start("test.late", WorkKind::Network, [&](const CancelFlag&) { ran = true; }));
    EXPECT_TRUE(work.shutdown(1s));
    EXPECT_FALSE(ran);
    EXPECT_EQ(work.inFlight(), 0u);
}

TEST(BackgroundWork, AKindRunsNoMoreThanItsBoundAtOnce) {
    BackgroundWork work;
    WorkGate& gate = workGate(WorkKind::Export);
    const std::size_t limit = gate.limit();
    const std::size_t count = limit + 2;

    Latch release;
    std::atomic<std::size_t> running{0}, mostAtOnce{0}, finished{0};
    for (std::size_t i = 0; i < count; ++i) {
        ASSERT_TRUE(work.start("test.export", WorkKind::Export, [&, wait = release.future](const CancelFlag&) {
            std::size_t now = ++running;
            std::size_t seen = mostAtOnce.load();
            while (now > seen && !mostAtOnce.compare_exchange_weak(seen, now)) {
            }
            wait.wait();
            --running;
            ++finished;
        }));
    }
    // Every worker counts as in flight, also the ones waiting their turn.
    EXPECT_EQ(work.inFlight(), count);
    ASSERT_TRUE(eventually([&] { return gate.running() == limit && gate.waiting() == count - limit; }));
    EXPECT_EQ(running.load(), limit);

    // Cancelled before the running ones end: the ones still waiting their turn run after them,
    // each seeing its flag, and never more than the bound at once.
    work.cancelAll();
    release.open();
    EXPECT_TRUE(work.shutdown(10s));
    EXPECT_EQ(finished.load(), count);
    EXPECT_EQ(mostAtOnce.load(), limit);
    EXPECT_EQ(gate.running(), 0u);
    EXPECT_EQ(gate.waiting(), 0u);
}

TEST(BackgroundWork, WorkCancelledWhileWaitingItsTurnSeesItsFlagRaisedWhenItRuns) {
    BackgroundWork work;
    WorkGate& gate = workGate(WorkKind::Merge);
    Latch release;
    std::atomic<int> ran{0}, sawFlag{0};
    for (std::size_t i = 0; i < gate.limit(); ++i)
        ASSERT_TRUE(
            work.start("test.merge", WorkKind::Merge, [wait = release.future](const CancelFlag&) { wait.wait(); }));
    // Threads take their tickets in whatever order they get to run: the gate is full first.
    ASSERT_TRUE(eventually([&] { return gate.running() == gate.limit(); }));
    CancelFlag queued;
    ASSERT_TRUE(work.start(
        "test.queued", WorkKind::Merge,
        [&](const CancelFlag& flag) {
            ++ran;
            if (flag.raised()) ++sawFlag;
        },
        queued));
    ASSERT_TRUE(eventually([&] { return gate.waiting() == 1; }));
    queued.raise();  // the page cancelled it before its turn came
    release.open();
    ASSERT_TRUE(eventually([&] { return work.inFlight() == 0; }));
    EXPECT_EQ(ran, 1);  // it runs, to answer for itself at once
    EXPECT_EQ(sawFlag, 1);

    // Fresh work of the kind runs again once the gate is free.
    std::promise<void> later;
    ASSERT_TRUE(work.start("test.after", WorkKind::Merge, [&](const CancelFlag&) { later.set_value(); }));
    later.get_future().wait();
    EXPECT_TRUE(work.shutdown(10s));
}

TEST(BackgroundWork, AThrowingTaskEndsOnlyItself) {
    BackgroundWork work;
    ASSERT_TRUE(
        work.start("test.throws", WorkKind::Network, [](const CancelFlag&) { throw std::runtime_error("boom"); }));
    ASSERT_TRUE(work.start("test.throws.other", WorkKind::Network, [](const CancelFlag&) { throw 42; }));
    ASSERT_TRUE(eventually([&] { return work.inFlight() == 0; }));

    // The owner still works: a following task runs and is joined.
    std::promise<int> answer;
    ASSERT_TRUE(work.start("test.after.throw", WorkKind::Network, [&](const CancelFlag&) { answer.set_value(7); }));
    EXPECT_EQ(answer.get_future().get(), 7);
    EXPECT_TRUE(work.shutdown(10s));
}

TEST(BackgroundWork, WorkersMayStartFollowUpWorkAndTheOwnerJoinsItAll) {
    std::atomic<int> ran{0};
    {
        BackgroundWork work;
        std::promise<void> second;
        ASSERT_TRUE(work.start("test.first", WorkKind::Network, [&](const CancelFlag&) {
            ++ran;
            EXPECT_TRUE(work.start("test.second", WorkKind::Network, [&](const CancelFlag&) {
                ++ran;
                second.set_value();
            }));
        }));
        second.get_future().wait();
        // Nothing is shut down: the destructor joins what is left.
    }
    EXPECT_EQ(ran, 2);
}

}  // namespace
}  // namespace tamo
