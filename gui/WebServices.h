#pragma once
// The window's web services: the newer-version check the app core runs
// (after start-up and from its menu), and the "Send Feedback to VOREN"
// form the window opens itself. Both talk to the maker's host on libcurl,
// on the window's thread, and run the window's events while a request
// waits, so the window never freezes.
//
// Ownership: owns the two HTTP clients (one each, so a check and a
// feedback post never share a transfer), the dialogs, the browser
// launcher, the checker and the form with its window. The main window
// and the settings store are borrowed and must outlive it; the app is
// borrowed through SetApp.

#include <memory>

#include "app/App.h"
#include "app/VersionCheck.h"
#include "app/WebVersionCheck.h"
#include "gui/FeedbackDialog.h"
#include "web/BrowserLauncher.h"
#include "web/CurlHttpClient.h"
#include "web/FeedbackForm.h"
#include "web/VersionCheck.h"
#include "web/WebDialogs.h"

class QWidget;

namespace quor::gui {

// The web services' message boxes and file picker, on the main window:
// the kind's icon after the desktop's bell, Yes and No (Yes the default)
// for a question, else OK.
class QtWebDialogs final : public web::WebDialogs {
  public:
    explicit QtWebDialogs(QWidget* parent) : parent_(parent) {}
    bool ShowDialog(const std::string& message, const std::string& caption, bool ask,
                    int kind) override;
    bool PickFile(const web::FilePickOptions& options, std::string* path) override;

  private:
    QWidget* parent_;
};

// Links open in the desktop's browser (QDesktopServices).
class DesktopBrowserLauncher final : public web::BrowserLauncher {
  public:
    bool OpenLink(const std::string& link) override;
};

class WebServices final : public app::VersionCheck {
  public:
    WebServices(QWidget& mainWindow, app::SettingsStore& settings,
                web::WebConfig config = web::CurrentWebConfig());
    ~WebServices() override;
    WebServices(const WebServices&) = delete;
    WebServices& operator=(const WebServices&) = delete;

    void SetApp(app::App* app) { app_ = app; }

    // The app's check; a check asked for while a request of these
    // services runs (from a menu clicked meanwhile) does nothing.
    std::int32_t CheckForNewerVersion(std::int32_t currentVersion, const std::string& path,
                                      bool quiet, const std::string& productText) override;

    // "Send Feedback to VOREN...": the log cut for sending, the main
    // window's record, the connection test, then the form. An open form
    // is only raised.
    void OpenFeedback();

    FeedbackDialog& FeedbackWindow() { return *dialog_; }
    web::FeedbackForm& Feedback() { return *form_; }
    web::VersionChecker& Checker() { return checker_; }
    const web::WebConfig& Config() const { return config_; }

  private:
    web::WebConfig config_;
    app::App* app_ = nullptr;
    bool requestRunning_ = false;

    web::CurlHttpClient checkHttp_;
    web::CurlHttpClient feedbackHttp_;
    QtWebDialogs dialogs_;
    DesktopBrowserLauncher browser_;
    web::VersionChecker checker_;
    app::WebVersionCheck check_;
    app::WebFeedbackSettings feedbackSettings_;
    // A child of the main window, deleted here first (before the window).
    std::unique_ptr<FeedbackDialog> dialog_;
    std::unique_ptr<web::FeedbackForm> form_;
};

}  // namespace quor::gui
