#pragma once
// The app core's view and dialogs on the main window. The core calls them
// from whichever thread runs it: on the window's thread they act at once;
// from the update's worker thread a view change is queued to the window
// (in call order), and a question, a message, a file dialog or a read of
// an edit blocks the worker until the window's thread has the answer. The
// window's thread never waits for the worker, so it never freezes.
//
// Ownership: both borrow the window, which must outlive them.

#include <QString>
#include <functional>
#include <string>

#include "app/AppDialogs.h"
#include "app/AppView.h"
#include "gui/MainWindow.h"

namespace quor::gui {

// Runs fn on target's thread: at once when called there; otherwise queued,
// and with wait the caller blocks until fn has run.
void RunOnThreadOf(QObject* target, std::function<void()> fn, bool wait);

// "Firmware File (*.txt)|*.txt|Any File (*.*)|*.*" as Qt's name filter
// ("Firmware File (*.txt);;Any File (*.*)"): description and pattern pairs;
// a description without its patterns gets them added.
QString QtNameFilter(const std::string& filter);

class WindowView final : public app::AppView {
  public:
    explicit WindowView(MainWindow& window) : window_(window) {}

    void SetWindowCaption(const std::string& text) override;
    void SetApplicationTitle(const std::string& text) override;
    void SetText(app::Control control, const std::string& text) override;
    std::string Text(app::Control control) const override;
    void SetEnabled(app::Control control, bool enabled) override;
    void SetChecked(app::Control control, bool checked) override;
    void SetVisible(app::Control control, bool visible) override;
    void SetDefaultButton(app::Control control) override;
    void SetFocus(app::Control control) override;
    void SetProgress(int percent) override;
    void ClearPortList() override;
    void AddPortEntry(const std::string& text) override;
    void SelectPortEntry(int index) override;
    void SetCursor(app::Cursor cursor) override;
    void CloseWindow() override;

  private:
    void Post(std::function<void(MainWindow&)> fn);
    MainWindow& window_;
};

class WindowDialogs final : public app::AppDialogs {
  public:
    explicit WindowDialogs(MainWindow& window) : window_(window) {}

    void SoundBeep(app::Beep beep) override;
    void ShowMessage(const std::string& text, const std::string& caption, app::Icon icon) override;
    bool AskOkCancel(const std::string& text, const std::string& caption) override;
    bool OpenFile(const app::FileDialogOptions& options, std::string* path) override;
    bool SaveFile(const app::FileDialogOptions& options, std::string* path) override;

  private:
    bool FileDialog(const app::FileDialogOptions& options, bool save, std::string* path);
    MainWindow& window_;
};

}  // namespace quor::gui
