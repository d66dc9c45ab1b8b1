#include "platform/glib_main_queue.h"

#include <glib.h>

#include <memory>

namespace tamo {
namespace {
struct PostedTask {
    std::function<void()> task;
    std::shared_ptr<std::atomic<std::size_t>> pending;
};

gboolean runPosted(gpointer data) {
    std::unique_ptr<PostedTask> posted(static_cast<PostedTask*>(data));
    posted->task();
    posted->task = nullptr;  // captured state dies before the task counts as done
    posted->pending->fetch_sub(1);
    return G_SOURCE_REMOVE;
}
}  // namespace

GlibMainQueue::GlibMainQueue(GMainContext* context) : context_(context) {}

void GlibMainQueue::post(std::function<void()> task) {
    pending_->fetch_add(1);
    auto* posted = new PostedTask{std::move(task), pending_};
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, runPosted, posted, nullptr);
    g_source_attach(source, context_);
    g_source_unref(source);
}

}  // namespace tamo
