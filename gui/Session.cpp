#include "gui/Session.h"

namespace quor::gui {

Session::Session(app::SettingsStore& settings, app::VersionCheck& versionCheck,
                 const app::ProductConfig& config, app::AppEnvironment environment)
    : window_(std::make_unique<MainWindow>()),
      timers_(std::make_unique<QtTimers>()),
      view_(*window_),
      dialogs_(*window_) {
    app_ = std::make_unique<app::App>(
        app::AppFrontEnd{view_, dialogs_, settings, *timers_, versionCheck}, config,
        std::move(environment));
    window_->SetApp(app_.get());
}

Session::~Session() {
    // The update uses the app and posts to the window: both stay until it ends.
    timers_->Worker().WaitIdle();
    window_->SetApp(nullptr);
    app_.reset();
    timers_.reset();
}

}  // namespace quor::gui
