// Calls for the page built on workers arrive on the main thread after earlier ones, or not at all
// once the application object is gone.
#include <gtest/gtest.h>

#include <thread>

#include "support/fakes.h"

namespace tamo {
namespace {

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
