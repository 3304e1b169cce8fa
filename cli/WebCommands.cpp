// quorbsl check-version and quorbsl feedback: the window's web services
// on the command line, with the app started as the window starts it (for
// its product, image, log and version-file path) but no port opened.

#include <unistd.h>

#include <memory>

#include "app/App.h"
#include "app/ProductConfig.h"
#include "app/WebVersionCheck.h"
#include "bsl/QuorBSLHost.h"
#include "cli/CliFrontEnd.h"
#include "cli/Commands.h"
#include "cli/Reporter.h"
#include "platform/AppFolder.h"
#include "qt/QtSettingsStore.h"
#include "web/CurlHttpClient.h"
#include "web/FeedbackForm.h"
#include "web/VersionCheck.h"
#include "web/WebConfig.h"
#include "web/WebSystem.h"

namespace quor::cli {

namespace {

const char* KindName(int kind) {
    switch (kind) {
        case web::kDialogError:
            return "error";
        case web::kDialogInformation:
            return "information";
        case web::kDialogConfirmation:
            return "question";
        default:
            return "warning";
    }
}

// The web services' messages on standard error; a question is answered
// as the update's are (--yes, else asked on a terminal, else No). There
// is no file picker: the file comes from --file.
class CliWebDialogs final : public web::WebDialogs {
  public:
    CliWebDialogs(Reporter& reporter, AnswerPolicy policy) : reporter_(reporter), policy_(policy) {}

    bool ShowDialog(const std::string& message, const std::string& caption, bool ask,
                    int kind) override {
        if (!ask) {
            reporter_.Message(caption, message, KindName(kind));
            return false;
        }
        AnsweredBy by = AnsweredBy::kNoTerminal;
        if (policy_.yes) {
            by = AnsweredBy::kYesOption;
        } else if (policy_.terminal) {
            by = AnsweredBy::kUser;
        }
        return reporter_.Question(caption, message, by, policy_.yes);
    }
    bool PickFile(const web::FilePickOptions&, std::string*) override { return false; }

  private:
    Reporter& reporter_;
    AnswerPolicy policy_;
};

// The form without a window: visible from its opening until it closes.
class CliFeedbackView final : public web::FeedbackView {
  public:
    void ShowForm() override { visible_ = true; }
    void HideForm() override { visible_ = false; }
    void CloseForm() override { visible_ = false; }
    bool IsFormVisible() const override { return visible_; }
    void FieldsChanged() override {}
    void Focus(web::FeedbackControl) override {}
    void SetSendEnabled(bool) override {}
    void SetBusyCursor(bool) override {}
    void SetProgressVisible(bool) override {}
    void SetProgressMaximum(std::int64_t) override {}
    void SetProgressPosition(std::int64_t) override {}

  private:
    bool visible_ = false;
};

// The app as the window has it once shown: no port is listed, and its
// timers (the quiet check among them) never run.
class StartedApp {
  public:
    StartedApp(Reporter& reporter, AnswerPolicy policy, app::VersionCheck& versionCheck)
        : follower_(reporter, false),
          view_(reporter, follower_),
          dialogs_(reporter, view_, policy),
          app_(app::AppFrontEnd{view_, dialogs_, settings_, timers_, versionCheck},
               app::BuildProductConfig(), NoPorts()) {
        app_.OnWindowShown();
    }
    ~StartedApp() { settings_.Sync(); }
    StartedApp(const StartedApp&) = delete;
    StartedApp& operator=(const StartedApp&) = delete;

    app::App& App() { return app_; }
    app::SettingsStore& Settings() { return settings_; }

  private:
    static app::AppEnvironment NoPorts() {
        app::AppEnvironment env;
        env.listPorts = [](PortRecord*, std::uint32_t* count, bool) -> ResultCode {
            *count = 0;
            return 0;
        };
        return env;
    }

    frontend::QtSettingsStore settings_;
    LogFollower follower_;
    CliView view_;
    CliDialogs dialogs_;
    RealTimeTimers timers_;
    app::App app_;
};

bool IsTerminal(std::FILE* f) {
    return f && ::isatty(::fileno(f)) == 1;
}

OutputMode TextMode(const Streams& io) {
    return IsTerminal(io.in) && IsTerminal(io.out) ? OutputMode::kTerminal : OutputMode::kPlain;
}

}  // namespace

ExitStatus ExitStatusForWebOutcome(ResultCode outcome) {
    switch (outcome) {
        case rc::kOk:
            return ExitStatus::kFinished;
        case rc::kWebConnectionError:
            return ExitStatus::kNoConnection;
        case rc::kVersionFileUnreadable:
            return ExitStatus::kBadAnswer;
        default:
            return ExitStatus::kFailed;
    }
}

ExitStatus RunCheckVersion(const CheckVersionOptions& options, const Streams& io) {
    const OutputMode mode = TextMode(io);
    std::unique_ptr<Reporter> reporter = MakeReporter(mode, io.in, io.out, io.err);
    const web::WebConfig config = web::CurrentWebConfig();
    web::CurlHttpClient http;
    CliWebDialogs dialogs(*reporter, AnswerPolicy{options.yes, mode == OutputMode::kTerminal});
    web::XdgOpenLauncher browser;
    web::VersionChecker checker(http, dialogs, browser, config.softwareHost);
    app::WebVersionCheck check(checker);
    StartedApp started(*reporter, AnswerPolicy{options.yes, mode == OutputMode::kTerminal}, check);
    app::App& app = started.App();
    checker.SetLog(app.Log());
    if (app.VersionCheckPath().empty()) {
        reporter->Message("Version Finder",
                          "No version file is known for " + app.ProductName() + ".", "error");
        return ExitStatus::kFailed;
    }
    app.OnCheckNewerVersion();
    return ExitStatusForWebOutcome(checker.LastOutcome());
}

ExitStatus RunFeedback(const FeedbackOptions& options, const Streams& io) {
    const OutputMode mode = TextMode(io);
    std::unique_ptr<Reporter> reporter = MakeReporter(mode, io.in, io.out, io.err);
    if (options.message.size() > web::kDescriptionMaxChars) {
        reporter->Message(
            "Usage Error",
            "The feedback message has at most " + std::to_string(web::kDescriptionMaxChars) +
                " characters (this one has " + std::to_string(options.message.size()) + ").",
            "error");
        return ExitStatus::kUsage;
    }
    const AnswerPolicy policy{false, mode == OutputMode::kTerminal};
    const web::WebConfig config = web::CurrentWebConfig();
    NoVersionCheck noCheck;
    StartedApp started(*reporter, policy, noCheck);
    app::App& app = started.App();

    web::CurlHttpClient http;
    CliWebDialogs dialogs(*reporter, policy);
    app::WebFeedbackSettings settings(started.Settings());
    CliFeedbackView view;
    web::FeedbackForm form(http, dialogs, settings, view, config, web::CurrentFeedbackEnvironment(),
                           app.Log());

    if (app.Log()) web::PrepareLogForFeedback(*app.Log(), app.WindowCaption());
    form.SetFormInfo(
        web::MainWindowFormInfo(app.WindowCaption(), app.Host() ? app.Host()->ImageLabel() : "",
                                config.supportEmail, app.ErrorFile(), platform::ProgramFolder()));
    if (form.OpenFeedbackForm() != rc::kOk) return ExitStatus::kNoConnection;

    // As the form fills its boxes: the values of the last feedback, where
    // the command line gives none.
    web::FeedbackFields& f = form.Fields();
    if (options.name) f.name = *options.name;
    if (options.company) f.company = *options.company;
    if (options.email) f.email = *options.email;
    if (options.phone) f.telephone = *options.phone;
    if (options.to) f.representativeEmail = *options.to;
    f.respondVia = options.respondVia;
    f.description = options.message;
    form.OnTypeChange(options.type);
    if (!options.file.empty() && !form.ChooseFile(options.file)) return ExitStatus::kUsage;

    const ResultCode r = form.OnSend();
    if (r == rc::kOk) return ExitStatus::kFinished;
    if (r == rc::kMissingArgument || r == 0) return ExitStatus::kUsage;
    return form.LastError().empty() ? ExitStatus::kBadAnswer : ExitStatus::kNoConnection;
}

}  // namespace quor::cli
