#include "platform/glib_main_queue.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <thread>

#include "support/fakes.h"

namespace tamo {
namespace {

TEST(GlibMainQueue, RunsTasksFromAnyThreadOnTheLoopThreadInPostingOrder) {
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GlibMainQueue queue(context);
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    queue.post([&] {
        order.push_back(1);
        threads.push_back(std::this_thread::get_id());
    });
    std::thread worker([&] {
        queue.post([&] {
            order.push_back(2);
            threads.push_back(std::this_thread::get_id());
        });
    });
    worker.join();
    queue.post([&] { order.push_back(3); });
    EXPECT_EQ(queue.pending(), 3u);
    while (queue.pending() > 0) g_main_context_iteration(context, TRUE);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    for (auto id : threads) EXPECT_EQ(id, std::this_thread::get_id());
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
}

TEST(AppDelegate, ACallBuiltOnAWorkerIsDeliveredOnTheMainThreadAfterEarlierCalls) {
    test::FakeApp f;
    f.app->evaluate(std::string("first()"));
    std::thread worker(
        [weak = std::weak_ptr<AppDelegate>(f.app)] { AppDelegate::evaluateOnMain(weak, "fromWorker()"); });
    worker.join();
    f.app->evaluate(std::string("second()"));
    EXPECT_EQ(f.page->calls, (std::vector<std::string>{"first()", "second()"}));
    f.queue->drain();
    EXPECT_EQ(f.page->calls, (std::vector<std::string>{"first()", "second()", "fromWorker()"}));
}

TEST(AppDelegate, WorkFinishingAfterTheApplicationObjectIsGoneDoesNothing) {
    test::FakeApp f;
    std::weak_ptr<AppDelegate> weak = f.app;
    AppDelegate::evaluateOnMain(weak, "late()");
    f.app.reset();
    f.queue->drain();
    EXPECT_TRUE(f.page->calls.empty());
    AppDelegate::evaluateOnMain(weak, "later()");  // gone before posting
    EXPECT_EQ(f.queue->size(), 0u);
}

TEST(AppDelegate, CallsWithoutAPageOrWithAnUnwritablePayloadAreDropped) {
    test::FakeApp f;
    f.app->evaluate(std::optional<std::string>{});
    EXPECT_TRUE(f.page->calls.empty());
    f.app->webView.reset();
    f.app->evaluate(std::string("x()"));
    EXPECT_TRUE(f.page->calls.empty());
}

}  // namespace
}  // namespace tamo
