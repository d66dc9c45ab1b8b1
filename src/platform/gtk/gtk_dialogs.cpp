#include "platform/gtk/gtk_dialogs.h"

#include <gtk/gtk.h>

#include <memory>
#include <string>

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

// GtkAlertDialog arrives with GTK 4.10; on 4.8 the message dialog is the way to ask.
G_GNUC_BEGIN_IGNORE_DEPRECATIONS
void onQuestionResponse(GtkDialog* dialog, int response, gpointer data) {
    std::unique_ptr<QuestionDone> done(static_cast<QuestionDone*>(data));
    g_signal_handlers_disconnect_by_data(dialog, data);
    gtk_window_destroy(GTK_WINDOW(dialog));
    if (*done) (*done)(response == GTK_RESPONSE_ACCEPT);
}
G_GNUC_END_IGNORE_DEPRECATIONS

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

G_GNUC_BEGIN_IGNORE_DEPRECATIONS
void GtkDialogs::askQuestion(const QuestionOptions& options, QuestionDone done) {
    GtkWidget* dialog = gtk_message_dialog_new(parent_, GTK_DIALOG_DESTROY_WITH_PARENT, GTK_MESSAGE_QUESTION,
                                               GTK_BUTTONS_NONE, "%s", options.title.c_str());
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", options.message.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), options.title.c_str());
    // Button labels are mnemonics: the first letter becomes the Alt shortcut, other underscores are literal.
    auto mnemonic = [](const std::string& label) {
        std::string out = "_";
        for (char c : label) out += c == '_' ? std::string("__") : std::string(1, c);
        return out;
    };
    gtk_dialog_add_button(GTK_DIALOG(dialog), mnemonic(options.cancelLabel).c_str(), GTK_RESPONSE_CANCEL);
    gtk_dialog_add_button(GTK_DIALOG(dialog), mnemonic(options.acceptLabel).c_str(), GTK_RESPONSE_ACCEPT);
    // Cancel is the default: Enter must not replace a file by accident.
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    gtk_window_set_modal(GTK_WINDOW(dialog), parent_ != nullptr);
    // Closing the window answers GTK_RESPONSE_DELETE_EVENT, which is a no.
    g_signal_connect(dialog, "response", G_CALLBACK(onQuestionResponse), new QuestionDone(std::move(done)));
    gtk_window_present(GTK_WINDOW(dialog));
}
G_GNUC_END_IGNORE_DEPRECATIONS

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
