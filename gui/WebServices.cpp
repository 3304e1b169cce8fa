#include "gui/WebServices.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include "bsl/QuorBSLHost.h"
#include "gui/WindowFrontEnd.h"
#include "platform/AppFolder.h"
#include "web/WebSystem.h"

namespace quor::gui {

namespace {

QMessageBox::Icon KindIcon(int kind) {
    switch (kind) {
        case web::kDialogError:
            return QMessageBox::Critical;
        case web::kDialogInformation:
            return QMessageBox::Information;
        case web::kDialogConfirmation:
            return QMessageBox::Question;
        default:
            return QMessageBox::Warning;
    }
}

void PumpWindowEvents() {
    QCoreApplication::processEvents();
}

// Sets a flag for a scope: the services' requests run the window's events,
// and a menu clicked meanwhile must not start a second one.
class RunningFlag {
  public:
    explicit RunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~RunningFlag() { flag_ = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

  private:
    bool& flag_;
};

}  // namespace

bool QtWebDialogs::ShowDialog(const std::string& message, const std::string& caption, bool ask,
                              int kind) {
    // The desktop has one bell; every kind rings it.
    QApplication::beep();
    QMessageBox box(KindIcon(kind), QString::fromStdString(caption),
                    QString::fromStdString(message),
                    ask ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, parent_);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.setDefaultButton(ask ? QMessageBox::Yes : QMessageBox::Ok);
    return box.exec() == QMessageBox::Yes && ask;
}

bool QtWebDialogs::PickFile(const web::FilePickOptions& options, std::string* path) {
    QFileDialog dialog(parent_, QString::fromStdString(options.title),
                       QString::fromStdString(options.initialFolder), QtNameFilter(options.filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    *path = dialog.selectedFiles().front().toStdString();
    return true;
}

bool DesktopBrowserLauncher::OpenLink(const std::string& link) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(link), QUrl::StrictMode));
}

WebServices::WebServices(QWidget& mainWindow, app::SettingsStore& settings, web::WebConfig config)
    : config_(std::move(config)),
      dialogs_(&mainWindow),
      checker_(checkHttp_, dialogs_, browser_, config_.softwareHost),
      check_(checker_),
      feedbackSettings_(settings),
      dialog_(std::make_unique<FeedbackDialog>(&mainWindow)) {
    checker_.SetPump(PumpWindowEvents);
    form_ =
        std::make_unique<web::FeedbackForm>(feedbackHttp_, dialogs_, feedbackSettings_, *dialog_,
                                            config_, web::CurrentFeedbackEnvironment());
    dialog_->SetForm(form_.get());
}

WebServices::~WebServices() {
    // A transfer cannot outlive its form: the window's events that could
    // still arrive go nowhere.
    dialog_->SetForm(nullptr);
    form_.reset();
    dialog_.reset();
}

std::int32_t WebServices::CheckForNewerVersion(std::int32_t currentVersion, const std::string& path,
                                               bool quiet, const std::string& productText) {
    if (requestRunning_) return 0;
    const RunningFlag running(requestRunning_);
    checker_.SetLog(app_ ? app_->Log() : nullptr);
    return check_.CheckForNewerVersion(currentVersion, path, quiet, productText);
}

void WebServices::OpenFeedback() {
    if (requestRunning_ || form_->TransferRunning()) return;
    if (dialog_->isVisible()) {
        dialog_->raise();
        dialog_->activateWindow();
        return;
    }
    const RunningFlag running(requestRunning_);
    QuorLog* log = app_ ? app_->Log() : nullptr;
    form_->SetLog(log);
    std::string caption;
    std::string imageLabel;
    std::string errorFile;
    if (app_) {
        caption = app_->WindowCaption();
        if (app_->Host()) imageLabel = app_->Host()->ImageLabel();
        errorFile = app_->ErrorFile();
    }
    if (log) web::PrepareLogForFeedback(*log, caption);
    form_->SetFormInfo(web::MainWindowFormInfo(caption, imageLabel, config_.supportEmail, errorFile,
                                               platform::ProgramFolder()));
    // The connection test waits on the host; the window keeps its events.
    web::HttpProgress pump;
    pump.work = [](web::HttpDirection, std::int64_t) { PumpWindowEvents(); };
    feedbackHttp_.SetProgress(&pump);
    form_->OpenFeedbackForm();
    feedbackHttp_.SetProgress(nullptr);
}

}  // namespace quor::gui
