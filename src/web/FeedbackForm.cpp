#include "web/FeedbackForm.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace quor::web {

namespace {

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }

  private:
    int fd_;
};

// Opens path for reading and takes its size; with content, reads it all.
// A file past maxBytes is refused with EFBIG. Returns 0 or the errno.
int ReadFile(const std::string& path, std::uint64_t maxBytes, std::uint64_t* size,
             std::string* content) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return errno;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return errno;
    if (S_ISDIR(st.st_mode)) return EISDIR;
    *size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    if (!content) return 0;
    if (*size > maxBytes) return EFBIG;
    content->clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return 0;
        // A file that grows while it is read is held to the same limit.
        if (content->size() + static_cast<std::size_t>(n) > maxBytes) return EFBIG;
        content->append(buffer, static_cast<std::size_t>(n));
    }
}

std::string ErrorText(int error) {
    if (error == EFBIG) return "The file is larger than 8 megabytes.";
    return std::strerror(error);
}

}  // namespace

std::string FeedbackTypeText(int typeIndex) {
    switch (typeIndex) {
        case 1:
            return "Feature Suggestion";
        case 2:
            return "Bug Report";
        case 3:
            return "Other Feedback";
        default:
            return "General Feedback";
    }
}

std::string DescriptionLabel(int typeIndex) {
    switch (typeIndex) {
        case 1:
            return "Please describe the feature suggestion below";
        case 2:
            return "Please describe the bug or issue below";
        case 3:
            return "Please describe the other feedback below";
        default:
            return "Please describe the feedback below";
    }
}

std::string RespondViaText(int respondViaIndex) {
    if (respondViaIndex < 0 || respondViaIndex >= static_cast<int>(kRespondViaItems.size())) {
        return "Unknown RespondVia";
    }
    return kRespondViaItems[static_cast<std::size_t>(respondViaIndex)];
}

void PrepareLogForFeedback(QuorLog& log, const std::string& windowCaption) {
    if (log.FileSize() > 0) {
        log.KeepTail(kFeedbackLogTailBytes);
    } else {
        log.WriteLine(QuorLog::kLevelMilestone, windowCaption.c_str(), "%s", kEmptyLogLine);
    }
}

WebFormInfo MainWindowFormInfo(const std::string& windowCaption, const std::string& imageLabel,
                               const std::string& supportEmail, const std::string& errorFile,
                               const std::string& programFolder) {
    WebFormInfo info;
    info.productName = windowCaption;
    info.versionLabel = imageLabel;
    info.defaultEmailTo = supportEmail;
    info.logFile1 = errorFile;
    info.startFolder = programFolder;
    return info;
}

std::string InternetAccessErrorText(const std::string& webHost, const std::string& errorText) {
    std::string text =
        "Error connecting to Karvell's customer feedback internet service.\n\n"
        "This feature requires your computer to be connected to the internet\n"
        "and be able to contact Karvell's Web Site (" +
        webHost + ")." + "\n\nPlease make a connection to the internet and try again.";
    if (!errorText.empty()) text += "\n\nError: " + errorText;
    return text;
}

std::string FileTooBigText(const std::string& fileName, std::uint64_t size) {
    char megabytes[32];
    std::snprintf(megabytes, sizeof megabytes, "%.1f", static_cast<double>(size) / 1048576.0);
    return "The file \"" + fileName + "\" is too big.\n\n" +
           "The maximun file size you can send with your feedback\n" +
           "is 8 megabytes (this file is " + megabytes + " MB)." +
           "\n\nPlease choose a different file to send.";
}

FeedbackForm::FeedbackForm(HttpClient& http, WebDialogs& dialogs, FeedbackSettings& settings,
                           FeedbackView& view, WebConfig config, FeedbackEnvironment environment,
                           QuorLog* log)
    : http_(http),
      dialogs_(dialogs),
      settings_(settings),
      view_(view),
      config_(std::move(config)),
      env_(std::move(environment)),
      log_(log),
      mimeTypes_(MimeTypes::Load(env_.mimeTypesPath)) {
    OnTypeChange(0);
}

int FeedbackForm::SetFormInfo(const WebFormInfo& info) {
    info_ = info;
    return 1;
}

ResultCode FeedbackForm::OpenFeedbackForm() {
    std::string body;
    std::string error;
    if (http_.Get(HostUrl(config_.softwareHost, "/"), &body, &error) != rc::kOk) {
        if (log_) {
            log_->WriteLine(QuorLog::kLevelFailure, kWebLogTag,
                            "OpenFeedbackForm could not reach %s: %s", config_.softwareHost.c_str(),
                            error.c_str());
        }
        dialogs_.ShowDialog(InternetAccessErrorText(config_.webHost, error),
                            kInternetAccessErrorCaption, false, kDialogError);
        return rc::kWebConnectionError;
    }
    OnShow();
    view_.ShowForm();
    return rc::kOk;
}

std::string FeedbackForm::ReadSetting(const char* name) {
    std::string value;
    if (!settings_.ReadString(name, &value)) value.clear();
    return value;
}

void FeedbackForm::OnShow() {
    fields_.name = ReadSetting(kFeedbackValueName);
    fields_.company = ReadSetting(kFeedbackValueCompany);
    fields_.telephone = ReadSetting(kFeedbackValuePhone);
    fields_.email = ReadSetting(kFeedbackValueEmail);
    fields_.representativeEmail = ReadSetting(kFeedbackValueEmailTo);
    if (!info_.registeredName.empty()) fields_.name = info_.registeredName;
    if (!info_.registeredCompany.empty()) fields_.company = info_.registeredCompany;
    if (info_.productName.empty()) info_.productName = env_.applicationName;

    fields_.fileShown.clear();
    pickedPath_.clear();
    fields_.description.clear();
    fields_.respondVia = kRespondViaEmail;
    fields_.feedbackType = 0;
    OnTypeChange(0);
    view_.SetProgressVisible(false);
    transferRunning_ = false;
    view_.FieldsChanged();
}

void FeedbackForm::OnTypeChange(int typeIndex) {
    fields_.feedbackType = typeIndex;
    typeText_ = FeedbackTypeText(typeIndex);
    label_ = DescriptionLabel(typeIndex);
}

void FeedbackForm::OnBrowse() {
    fields_.fileShown.clear();
    pickedPath_.clear();
    view_.FieldsChanged();
    std::string path;
    if (!dialogs_.PickFile({kPickFileTitle, kPickFileFilter, info_.startFolder}, &path)) return;
    ChooseFile(path);
}

bool FeedbackForm::ChooseFile(const std::string& path) {
    fields_.fileShown.clear();
    pickedPath_.clear();
    const std::string name = BaseName(path);
    std::uint64_t size = 0;
    const int error = ReadFile(path, kMaxFeedbackFileBytes, &size, nullptr);
    bool taken = false;
    if (error != 0) {
        ReportFileError(name, error, ErrorText(error));
    } else if (size > kMaxFeedbackFileBytes) {
        dialogs_.ShowDialog(FileTooBigText(name, size), kFileSizeErrorCaption, false, kDialogError);
    } else {
        fields_.fileShown = name;
        pickedPath_ = path;
        taken = true;
    }
    view_.FieldsChanged();
    return taken;
}

void FeedbackForm::Warn(const std::string& text, const std::string& caption,
                        FeedbackControl focus) {
    dialogs_.ShowDialog(text, caption, false, kDialogWarning);
    view_.Focus(focus);
}

ResultCode FeedbackForm::OnSend() {
    lastError_.clear();
    const FeedbackFields& f = fields_;
    if (f.name.empty()) {
        Warn("Please enter your name in the name field", kMissingInformationCaption,
             FeedbackControl::kName);
        return rc::kMissingArgument;
    }
    if (f.email.empty() && f.telephone.empty() && f.respondVia != kRespondViaNone) {
        Warn(
            "Please enter your phone number or email address so Karvell "
            "can respond to your feedback.",
            kMissingInformationCaption, FeedbackControl::kTelephone);
        return rc::kMissingArgument;
    }
    if (!f.representativeEmail.empty() && f.representativeEmail.find('@') == std::string::npos) {
        Warn(
            "The email address you entered for your Karvell\n"
            "Representative isn't complete.\n\n"
            "Please enter a complete email address including\n"
            "the '@' symbol and domain name.",
            kBadEmailCaption, FeedbackControl::kRepresentativeEmail);
        return rc::kMissingArgument;
    }
    const bool hasSpace = f.email.find(' ') != std::string::npos;
    if (!f.email.empty() && (f.email.find('@') == std::string::npos || hasSpace)) {
        std::string text =
            "The email address you entered doesn't seem to be correct.\n\n"
            "Please enter a complete email address including\n"
            "the '@' symbol and domain name.";
        if (hasSpace) text += "\n\nPlease remove any space characters in the email address.";
        Warn(text, kBadEmailCaption, FeedbackControl::kEmail);
        return rc::kMissingArgument;
    }

    view_.SetSendEnabled(false);
    view_.SetBusyCursor(true);
    settings_.WriteString(kFeedbackValueName, f.name);
    settings_.WriteString(kFeedbackValueCompany, f.company);
    settings_.WriteString(kFeedbackValuePhone, f.telephone);
    settings_.WriteString(kFeedbackValueEmail, f.email);
    settings_.WriteString(kFeedbackValueEmailTo, f.representativeEmail);

    const ResultCode r = SubmitFeedback();
    view_.SetSendEnabled(true);
    view_.SetBusyCursor(false);

    if (r == rc::kOk) {
        view_.HideForm();
        view_.ProcessPendingMessages();
        dialogs_.ShowDialog("Thank you for submitting your " + typeText_ + ".",
                            kFeedbackSentCaption, false, kDialogInformation);
        view_.CloseForm();
    } else if (r != 0 && view_.IsFormVisible()) {
        std::string text = "There was an error trying to send your " + typeText_ +
                           " to Karvell.\n\nPlease try again.";
        if (!lastError_.empty()) text += "\n\nError: " + lastError_;
        dialogs_.ShowDialog(text, kErrorSendingCaption, false, kDialogWarning);
    }
    return r;
}

void FeedbackForm::OnClose() {
    if (transferRunning_) http_.Abort();
}

void FeedbackForm::ReportFileError(const std::string& fileName, int error,
                                   const std::string& message) {
    std::string text = "Error sending the file \"" + fileName + "\". ";
    if (error == ENOENT) {
        text +=
            "\nThe file is empty or can't be found on the system."
            "\n\nPlease check your file name and try again.";
    } else if (error == EBUSY || error == ETXTBSY) {
        text +=
            "\nThe file is open and in use with another application."
            "\n\nPlease close the file and try again.";
    } else {
        text += "\n\nPlease try again.";
        if (!message.empty()) text += "\n\nError: " + message;
    }
    dialogs_.ShowDialog(text, kErrorReadingFileCaption, false, kDialogError);
}

bool FeedbackForm::AttachFile(MultipartForm* form, const std::string& path, bool report) {
    const std::string name = BaseName(path);
    std::uint64_t size = 0;
    std::string content;
    const int error = ReadFile(path, kMaxFeedbackFileBytes, &size, &content);
    if (error != 0) {
        if (log_) {
            log_->WriteLine(QuorLog::kLevelFailure, kWebLogTag, "AttachFile could not read %s: %s",
                            path.c_str(), ErrorText(error).c_str());
        }
        if (report) ReportFileError(name, error, ErrorText(error));
        return false;
    }
    form->AddFile(name, std::move(content), name, mimeTypes_.ForFileName(name));
    return true;
}

ResultCode FeedbackForm::SubmitFeedback() {
    lastError_.clear();
    const FeedbackFields& f = fields_;
    MultipartForm form;
    form.AddField("EmailTo",
                  f.representativeEmail.empty() ? info_.defaultEmailTo : f.representativeEmail);
    form.AddField("EmailSubject", info_.productName + " " + typeText_);
    form.AddField("Name", f.name);
    form.AddField("Company Name", f.company);
    form.AddField("Email", f.email);
    form.AddField("Telephone", f.telephone);
    form.AddField("Respond Via", RespondViaText(f.respondVia));
    form.AddField("Registered Name", info_.registeredName);
    form.AddField("Registered Company", info_.registeredCompany);
    form.AddField("Software Version", info_.productName + " version " + info_.versionLabel);
    form.AddField("Installation Path", env_.programPath);
    form.AddField("Computer Information", env_.computerInformation);
    form.AddField("Feedback", f.description);

    // The program's own logs go along when they can be read, silently.
    for (const std::string* logFile : {&info_.logFile1, &info_.logFile2, &info_.logFile3}) {
        if (!logFile->empty()) AttachFile(&form, *logFile, false);
    }
    if (!f.fileShown.empty() && !AttachFile(&form, pickedPath_, true)) return 0;

    HttpProgress progress;
    progress.begin = [this](HttpDirection direction, std::int64_t total) {
        if (direction != HttpDirection::kUpload || total <= kProgressBarThresholdBytes) return;
        view_.SetProgressVisible(true);
        view_.SetProgressMaximum(total);
    };
    progress.work = [this](HttpDirection, std::int64_t done) {
        view_.SetProgressPosition(done);
        view_.ProcessPendingMessages();
    };
    progress.end = [this](HttpDirection direction) {
        if (direction == HttpDirection::kUpload) view_.SetProgressVisible(false);
    };

    const std::string url = HostUrl(config_.softwareHost, kFeedbackScriptPath);
    std::string body;
    // Running for the whole request, so closing the form at any point of
    // it ends the transfer.
    transferRunning_ = true;
    http_.SetProgress(&progress);
    const ResultCode posted = http_.PostForm(url, form, &body, &lastError_);
    http_.SetProgress(nullptr);
    transferRunning_ = false;

    if (posted != rc::kOk) {
        if (log_) {
            log_->WriteLine(QuorLog::kLevelFailure, kWebLogTag,
                            "SubmitFeedback failed to post to %s: %s", url.c_str(),
                            lastError_.c_str());
        }
        return rc::kFeedbackNotSent;
    }
    if (body.find(kFeedbackConfirmation) == std::string::npos) {
        if (log_) {
            log_->WriteLine(QuorLog::kLevelFailure, kWebLogTag,
                            "SubmitFeedback got no confirmation from %s (%zu bytes answered)",
                            url.c_str(), body.size());
        }
        return rc::kFeedbackNotSent;
    }
    if (log_) {
        log_->WriteLine(QuorLog::kLevelMilestone, kWebLogTag, "SubmitFeedback sent %zu parts to %s",
                        form.parts.size(), url.c_str());
    }
    return rc::kOk;
}

}  // namespace quor::web
