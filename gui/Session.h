#pragma once
// One run of the window: the main window, the front-end objects the app
// core talks to, the web services, and the core itself, wired together.
//
// Ownership: the session owns the window, the view, the dialogs, the
// timers (with the update's worker), the web services and the app; the
// settings store (and a version check given in its place) are borrowed
// and must outlive it. Destroying the session first waits for a running
// update to end.

#include <memory>

#include "app/App.h"
#include "gui/MainWindow.h"
#include "gui/QtTimers.h"
#include "gui/WebServices.h"
#include "gui/WindowFrontEnd.h"

namespace quor::gui {

class Session {
  public:
    // The newer-version check of the web services.
    Session(app::SettingsStore& settings, const app::ProductConfig& config,
            app::AppEnvironment environment = {});
    // versionCheck in place of the web services' check (tests).
    Session(app::SettingsStore& settings, app::VersionCheck& versionCheck,
            const app::ProductConfig& config, app::AppEnvironment environment = {});
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    MainWindow& Window() { return *window_; }
    app::App& App() { return *app_; }
    QtTimers& Timers() { return *timers_; }
    UpdateWorker& Worker() { return timers_->Worker(); }
    WebServices& Web() { return *web_; }

  private:
    Session(app::SettingsStore& settings, app::VersionCheck* versionCheck,
            const app::ProductConfig& config, app::AppEnvironment environment);

    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<QtTimers> timers_;
    WindowView view_;
    WindowDialogs dialogs_;
    std::unique_ptr<WebServices> web_;
    std::unique_ptr<app::App> app_;
};

}  // namespace quor::gui
