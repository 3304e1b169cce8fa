#pragma once
// The main window: the controls and menus the app core names, built from
// their initial state, and the user's clicks and keys handed to the core.
// Every member runs on the window's (the GUI) thread; WindowView brings the
// core's calls here from the update's worker thread.
//
// Ownership: Qt's parent chain owns every widget, action and shortcut; the
// app is borrowed (SetApp) and must outlive the window's use of it.

#include <QComboBox>
#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>

#include "app/AppControls.h"
#include "app/AppView.h"

class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QShortcut;

namespace quor::app {
class App;
}

namespace quor::gui {

// The comm-port list, which tells the core just before it drops down.
class PortComboBox final : public QComboBox {
    Q_OBJECT
  public:
    using QComboBox::QComboBox;
    void showPopup() override;

  signals:
    void aboutToDropDown();
};

class MainWindow final : public QMainWindow {
    Q_OBJECT
  public:
    // The window's client area is never smaller than this.
    static constexpr int kClientWidthPx = 346;
    static constexpr int kClientHeightPx = 262;
    static constexpr int kIconPx = 48;

    MainWindow();
    ~MainWindow() override;

    void SetApp(app::App* app) { app_ = app; }
    // What "Send Feedback to VOREN..." opens: the core leaves the item to
    // the window, which owns the feedback form. Empty for none.
    void SetSendFeedback(std::function<void()> open) { sendFeedback_ = std::move(open); }

    // --- the core's view calls, on this thread ---
    void SetTextOf(app::Control control, const QString& text);
    QString TextOf(app::Control control) const;
    void SetEnabledOf(app::Control control, bool enabled);
    void SetCheckedOf(app::Control control, bool checked);
    void SetVisibleOf(app::Control control, bool visible);
    void SetDefaultButtonTo(app::Control control);
    void SetFocusTo(app::Control control);
    void SetProgressTo(int percent);
    void ClearPorts();
    void AddPort(const QString& text);
    void SelectPort(int index);
    void SetCursorTo(app::Cursor cursor);
    void SetApplicationTitle(const QString& title);
    // The core's own close: the window closes without asking the quit guard.
    void CloseFromApp();

    // --- what tests and the simulator look at ---
    QWidget* WidgetOf(app::Control control) const;
    QAction* ActionOf(app::Control control) const;
    QShortcut* DumpShortcut() const { return dumpShortcut_; }
    const QString& ApplicationTitle() const { return applicationTitle_; }
    bool ClosedByApp() const { return closeAllowed_; }

  signals:
    // Every text the core set, in order (control: the Control's number).
    void textSet(int control, const QString& text);
    void progressSet(int percent);
    // The window has closed for good (the quit guard let it).
    void closed();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildControls();
    void BuildMenus();
    QAction* AddAction(QMenu* menu, app::Control control, const QKeySequence& shortcut = {});
    void ApplyInitialState();
    void FitSize();
    void Command(app::Control control);

    app::App* app_ = nullptr;
    std::function<void()> sendFeedback_;
    bool shown_ = false;
    bool closeAllowed_ = false;
    QString applicationTitle_;

    QLabel* icon_ = nullptr;
    QLabel* userText1_ = nullptr;
    QLabel* userText2_ = nullptr;
    QLabel* lblConnect_ = nullptr;
    QLabel* commLabel_ = nullptr;
    PortComboBox* cbCommPort_ = nullptr;
    QLabel* statusCaption_ = nullptr;
    QLabel* statusText_ = nullptr;
    QProgressBar* statusBar_ = nullptr;
    QLabel* newSN_ = nullptr;
    QLineEdit* newSNstr_ = nullptr;
    QPushButton* btnStart_ = nullptr;
    QPushButton* btnClose_ = nullptr;
    QShortcut* dumpShortcut_ = nullptr;
    std::array<QAction*, app::kControlCount> actions_{};
};

}  // namespace quor::gui
