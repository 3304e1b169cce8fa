#pragma once
// The feedback form without a window: what "Send Feedback to VOREN..."
// does, as logic a front end drives. The window (or the command line)
// keeps its controls in step with Fields(): it shows them again after
// every call that changes them (FeedbackView::FieldsChanged) and writes
// what the user typed back into Fields() before OnSend.
//
// Driving it: the main window prepares the log (PrepareLogForFeedback),
// calls SetFormInfo, then OpenFeedbackForm, which tests the connection,
// loads the fields (OnShow) and asks the view to show the form. The
// window's events go to OnTypeChange, OnBrowse, OnSend and OnClose.
//
// Ownership: the form borrows everything it is given (they must outlive
// it) and owns its fields, the picked file's path and the error texts.
// Threads: the view's and the dialogs' calls come on the thread that calls
// in; OnClose may come from the view's ProcessPendingMessages during a
// transfer, and then aborts it.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "common/ResultCode.h"
#include "log/QuorLog.h"
#include "web/FeedbackSettings.h"
#include "web/HttpClient.h"
#include "web/MimeTypes.h"
#include "web/WebConfig.h"
#include "web/WebDialogs.h"

namespace quor::web {

// What the main window hands the form (the old WEB_FORM_INFO_TYPE).
struct WebFormInfo {
    std::string productName;        // the main window's caption
    std::string versionLabel;       // the firmware image's label
    std::string registeredName;     // fills the name box when not empty
    std::string registeredCompany;  // fills the company box when not empty
    std::string defaultEmailTo;     // "EmailTo" when no representative is given
    std::string logFile1;           // the error file
    std::string logFile2;
    std::string logFile3;
    std::string startFolder;  // where the file picker starts
};

enum class FeedbackControl : std::uint8_t {
    kName,
    kCompany,
    kEmail,
    kTelephone,
    kFeedbackType,
    kRespondVia,
    kDescription,
    kFile,
    kRepresentativeEmail,
    kSend,
};

// The picked file may be up to 8 MiB.
inline constexpr std::uint64_t kMaxFeedbackFileBytes = 8 * 1048576;
// Uploads larger than this show the progress bar.
inline constexpr std::int64_t kProgressBarThresholdBytes = 2 * 1048576;
// The log is cut to its last 32 KiB before the form opens.
inline constexpr std::uint32_t kFeedbackLogTailBytes = 32768;
// The description box takes at most this many characters.
inline constexpr std::size_t kDescriptionMaxChars = 2048;

inline constexpr const char* kFeedbackScriptPath = "/php-bin/app_feedback.php";
inline constexpr const char* kFeedbackConfirmation = "Script Completed";
inline constexpr const char* kFeedbackFormCaption = "Send Feedback to VOREN";
inline constexpr const char* kPickFileTitle = "Send File with Feedback";
inline constexpr const char* kPickFileFilter = "Any File Type (*.*)|*.*";
inline constexpr const char* kEmptyLogLine = "Launching web feedback with an empty error file.";

inline constexpr std::array<const char*, 4> kFeedbackTypeItems = {
    "General Feedback", "Feature Suggestion", "Bug Report", "Other"};
inline constexpr std::array<const char*, 5> kRespondViaItems = {
    "No response necessary", "Email", "Telephone (morning is best)", "Telephone (mid day is best)",
    "Telephone (afternoon is best)"};
inline constexpr int kRespondViaNone = 0;
inline constexpr int kRespondViaEmail = 1;

// The feedback type text and the description's label for a type index
// (any index outside the list as 0); type 3 reads "Other Feedback".
std::string FeedbackTypeText(int typeIndex);
std::string DescriptionLabel(int typeIndex);
// The respond-via item's text, "Unknown RespondVia" outside the list.
std::string RespondViaText(int respondViaIndex);

// The controls' contents.
struct FeedbackFields {
    std::string name;
    std::string company;
    std::string email;
    std::string telephone;
    int feedbackType = 0;
    int respondVia = kRespondViaEmail;
    std::string description;
    std::string fileShown;  // the picked file's name without its folder
    std::string representativeEmail;
};

// What the form asks of its window.
class FeedbackView {
  public:
    virtual ~FeedbackView() = default;
    virtual void ShowForm() = 0;
    virtual void HideForm() = 0;
    // Closes (hides) the form; the window then sends OnClose.
    virtual void CloseForm() = 0;
    virtual bool IsFormVisible() const = 0;
    // Fields() or the description's label changed: show them.
    virtual void FieldsChanged() = 0;
    virtual void Focus(FeedbackControl control) = 0;
    virtual void SetSendEnabled(bool enabled) = 0;
    virtual void SetBusyCursor(bool busy) = 0;
    virtual void SetProgressVisible(bool visible) = 0;
    virtual void SetProgressMaximum(std::int64_t maximum) = 0;
    virtual void SetProgressPosition(std::int64_t position) = 0;
    // Runs the window's pending messages (during transfers, and between
    // hiding the form and its thank-you message).
    virtual void ProcessPendingMessages() {}
};

// What the form tells about the program and the computer.
struct FeedbackEnvironment {
    std::string programPath;                  // "Installation Path"
    std::string computerInformation;          // "Computer Information"
    std::string applicationName = "QuorBSL";  // the product when none is given
    std::string mimeTypesPath = kSystemMimeTypesPath;
};

// The main window's part before the form opens: the log cut to its last
// 32 KiB, or, when it is empty or missing, a milestone line saying so.
void PrepareLogForFeedback(QuorLog& log, const std::string& windowCaption);

// The record the main window fills.
WebFormInfo MainWindowFormInfo(const std::string& windowCaption, const std::string& imageLabel,
                               const std::string& supportEmail, const std::string& errorFile,
                               const std::string& programFolder);

// The form's messages.
std::string InternetAccessErrorText(const std::string& webHost, const std::string& errorText);
std::string FileTooBigText(const std::string& fileName, std::uint64_t size);

inline constexpr const char* kInternetAccessErrorCaption = "Internet Access Error";
inline constexpr const char* kFileSizeErrorCaption = "File Size Error";
inline constexpr const char* kErrorReadingFileCaption = "Error Reading File";
inline constexpr const char* kMissingInformationCaption = "Missing Information";
inline constexpr const char* kBadEmailCaption = "Bad Email Address";
inline constexpr const char* kFeedbackSentCaption = "Feedback Successfully Sent";
inline constexpr const char* kErrorSendingCaption = "Error Sending Feedback";

class FeedbackForm {
  public:
    FeedbackForm(HttpClient& http, WebDialogs& dialogs, FeedbackSettings& settings,
                 FeedbackView& view, WebConfig config, FeedbackEnvironment environment,
                 QuorLog* log = nullptr);

    // Stores the main window's record; returns 1.
    int SetFormInfo(const WebFormInfo& info);
    // Tests the connection to the software host; on success loads the
    // fields (OnShow) and shows the form (rc::kOk), else tells the user
    // (rc::kWebConnectionError) and the form stays closed.
    ResultCode OpenFeedbackForm();

    // The form's events.
    void OnShow();
    void OnTypeChange(int typeIndex);
    void OnBrowse();
    // Runs the send checks, stores the contact values and submits. Returns
    // rc::kOk when sent, 0 when the picked file could not be attached,
    // rc::kFeedbackNotSent when the post failed, rc::kMissingArgument when
    // a check stopped it (the user was told, the control has the focus).
    ResultCode OnSend();
    void OnClose();

    // The file rule of the picker, for a path chosen by other means (the
    // command line's --file): true when taken into the file box.
    bool ChooseFile(const std::string& path);

    // Posts the form: 1 confirmed, 0 the picked file could not be
    // attached, rc::kFeedbackNotSent failed (LastError() says why when the
    // transfer failed).
    ResultCode SubmitFeedback();
    // Adds path as a file part named by its file name; on failure tells the
    // user when report is set.
    bool AttachFile(MultipartForm* form, const std::string& path, bool report);

    FeedbackFields& Fields() { return fields_; }
    const FeedbackFields& Fields() const { return fields_; }
    const WebFormInfo& Info() const { return info_; }
    const std::string& TypeText() const { return typeText_; }
    const std::string& Label() const { return label_; }
    const std::string& PickedPath() const { return pickedPath_; }
    const std::string& LastError() const { return lastError_; }
    bool TransferRunning() const { return transferRunning_; }
    // Borrowed; null for none.
    void SetLog(QuorLog* log) { log_ = log; }

  private:
    std::string ReadSetting(const char* name);
    void Warn(const std::string& text, const std::string& caption, FeedbackControl focus);
    void ReportFileError(const std::string& fileName, int error, const std::string& message);

    HttpClient& http_;
    WebDialogs& dialogs_;
    FeedbackSettings& settings_;
    FeedbackView& view_;
    WebConfig config_;
    FeedbackEnvironment env_;
    QuorLog* log_;
    MimeTypes mimeTypes_;

    WebFormInfo info_;
    FeedbackFields fields_;
    std::string typeText_;
    std::string label_;
    std::string pickedPath_;
    std::string lastError_;
    std::atomic<bool> transferRunning_{false};
};

}  // namespace quor::web
