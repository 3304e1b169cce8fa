#include "gui/Session.h"

namespace quor::gui {

Session::Session(app::SettingsStore& settings, const app::ProductConfig& config,
                 app::AppEnvironment environment)
    : Session(settings, nullptr, config, std::move(environment)) {}

Session::Session(app::SettingsStore& settings, app::VersionCheck& versionCheck,
                 const app::ProductConfig& config, app::AppEnvironment environment)
    : Session(settings, &versionCheck, config, std::move(environment)) {}

Session::Session(app::SettingsStore& settings, app::VersionCheck* versionCheck,
                 const app::ProductConfig& config, app::AppEnvironment environment)
    : window_(std::make_unique<MainWindow>()),
      timers_(std::make_unique<QtTimers>()),
      view_(*window_),
      dialogs_(*window_),
      web_(std::make_unique<WebServices>(*window_, settings)) {
    app_ = std::make_unique<app::App>(
        app::AppFrontEnd{view_, dialogs_, settings, *timers_, versionCheck ? *versionCheck : *web_},
        config, std::move(environment));
    window_->SetApp(app_.get());
    web_->SetApp(app_.get());
    window_->SetSendFeedback([this] { web_->OpenFeedback(); });
    // The form goes with the window, and ends a post that still runs.
    QObject::connect(window_.get(), &MainWindow::closed, &web_->FeedbackWindow(), &QDialog::reject);
}

Session::~Session() {
    // The update uses the app and posts to the window: both stay until it ends.
    timers_->Worker().WaitIdle();
    window_->SetSendFeedback({});
    window_->SetApp(nullptr);
    web_->SetApp(nullptr);
    app_.reset();
    web_.reset();
    timers_.reset();
}

}  // namespace quor::gui
