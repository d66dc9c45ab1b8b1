#pragma once
#include "platform/dialogs.h"

typedef struct _GtkWindow GtkWindow;

namespace tamo {

// Open and save choosers as GtkFileChooserNative (a portal dialog where one runs), shown
// non-modally, and questions as a message dialog over the window; the answer arrives on the
// main thread when the user is done.
class GtkDialogs : public Dialogs {
public:
    GtkDialogs() = default;
    ~GtkDialogs() override;
    GtkDialogs(const GtkDialogs&) = delete;
    GtkDialogs& operator=(const GtkDialogs&) = delete;

    // Choosers are placed over this window once it exists.
    void setParent(GtkWindow* parent);

    void chooseFileToOpen(const ChooserOptions& options, ChooserDone done) override;
    void chooseFileToSave(const ChooserOptions& options, ChooserDone done) override;
    void askQuestion(const QuestionOptions& options, QuestionDone done) override;

private:
    void show(bool save, const ChooserOptions& options, ChooserDone done);
    GtkWindow* parent_ = nullptr;  // weak
};

}  // namespace tamo
