#include "platform/gtk/gtk_dialogs.h"

#include <gtk/gtk.h>

#include <memory>

namespace tamo {
namespace {

struct PendingChooser {
    GtkFileChooserNative* chooser;
    ChooserDone done;
};

void onResponse(GtkNativeDialog* dialog, int response, gpointer data) {
    std::unique_ptr<PendingChooser> pending(static_cast<PendingChooser*>(data));
    std::optional<std::filesystem::path> answer;
    if (response == GTK_RESPONSE_ACCEPT) {
        if (GFile* file = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog))) {
            // A location without a local path (a remote share) cannot be opened by the media code.
            if (char* path = g_file_get_path(file)) {
                answer = std::filesystem::path(path);
                g_free(path);
            }
            g_object_unref(file);
        }
    }
    g_signal_handlers_disconnect_by_data(dialog, data);
    gtk_native_dialog_destroy(dialog);
    ChooserDone done = std::move(pending->done);
    g_object_unref(pending->chooser);
    pending.reset();
    if (done) done(std::move(answer));
}

}  // namespace

GtkDialogs::~GtkDialogs() { setParent(nullptr); }

void GtkDialogs::setParent(GtkWindow* parent) {
    if (parent_) g_object_remove_weak_pointer(G_OBJECT(parent_), reinterpret_cast<gpointer*>(&parent_));
    parent_ = parent;
    if (parent_) g_object_add_weak_pointer(G_OBJECT(parent_), reinterpret_cast<gpointer*>(&parent_));
}

void GtkDialogs::chooseFileToOpen(const ChooserOptions& options, ChooserDone done) {
    show(false, options, std::move(done));
}

void GtkDialogs::chooseFileToSave(const ChooserOptions& options, ChooserDone done) {
    show(true, options, std::move(done));
}

void GtkDialogs::show(bool save, const ChooserOptions& options, ChooserDone done) {
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
        options.title.c_str(), parent_, save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN, nullptr,
        nullptr);
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), FALSE);

    if (!options.extensions.empty()) {
        GtkFileFilter* filter = gtk_file_filter_new();
        std::string name;
        for (const auto& ext : options.extensions) {
            gtk_file_filter_add_suffix(filter, ext.c_str());  // matches any letter case
            name += (name.empty() ? "" : ", ") + ("*." + ext);
        }
        gtk_file_filter_set_name(filter, name.c_str());
        gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
        gtk_file_chooser_set_filter(GTK_FILE_CHOOSER(chooser), filter);
        g_object_unref(filter);
    }
    if (save && !options.suggestedName.empty())
        gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), options.suggestedName.c_str());

    auto* pending = new PendingChooser{chooser, std::move(done)};
    g_signal_connect(chooser, "response", G_CALLBACK(onResponse), pending);
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

}  // namespace tamo
