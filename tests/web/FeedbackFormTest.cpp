#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "WebTestSupport.h"
#include "web/CurlHttpClient.h"
#include "web/FeedbackForm.h"

namespace quor::web {
namespace {

using test::RecordingDialogs;
using test::RecordingFeedbackView;
using test::SeenRequest;
using test::TempFolder;
using test::TestServer;

constexpr const char* kCaption = "Dewmark Tru Firmware Updater";
constexpr const char* kWebHost = "www.karvell.test";
constexpr const char* kSupport = "support@karvell.test";
constexpr const char* kProgram = "/opt/quorbsl/bin/quorbsl";
constexpr const char* kComputer = "Debian GNU/Linux 12 (bookworm) 6.1.0 (Version 6.1 build 0)";
constexpr const char* kLogText = "9 Dec 2017 7:05:03 - Quor_protocol: DPConnect\r\n";

TEST(FeedbackTexts, TypeLabelsAndRespondViaByIndex) {
    struct Case {
        int index;
        const char* type;
        const char* label;
    };
    const Case cases[] = {
        {0, "General Feedback", "Please describe the feedback below"},
        {1, "Feature Suggestion", "Please describe the feature suggestion below"},
        {2, "Bug Report", "Please describe the bug or issue below"},
        {3, "Other Feedback", "Please describe the other feedback below"},
        {4, "General Feedback", "Please describe the feedback below"},
        {-1, "General Feedback", "Please describe the feedback below"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FeedbackTypeText(c.index), c.type) << c.index;
        EXPECT_EQ(DescriptionLabel(c.index), c.label) << c.index;
    }
    EXPECT_EQ(RespondViaText(0), "No response necessary");
    EXPECT_EQ(RespondViaText(4), "Telephone (afternoon is best)");
    EXPECT_EQ(RespondViaText(5), "Unknown RespondVia");
    EXPECT_EQ(RespondViaText(-1), "Unknown RespondVia");
}

TEST(FeedbackTexts, FileTooBigShowsMegabytesWithOneDecimal) {
    EXPECT_EQ(FileTooBigText("scan.tif", 13107200),
              "The file \"scan.tif\" is too big.\n\n"
              "The maximun file size you can send with your feedback\n"
              "is 8 megabytes (this file is 12.5 MB).\n\n"
              "Please choose a different file to send.");
    EXPECT_NE(FileTooBigText("a", kMaxFeedbackFileBytes + 1).find("(this file is 8.0 MB)"),
              std::string::npos);
}

TEST(PrepareLogForFeedback, CutsTheLogOrNotesThatItIsEmpty) {
    TempFolder folder;
    QuorLog log((folder.Path() + "/x.errors.txt").c_str(), QuorLog::kLevelDetail);
    PrepareLogForFeedback(log, kCaption);
    std::ifstream empty(log.FileName());
    const std::string line((std::istreambuf_iterator<char>(empty)), {});
    EXPECT_NE(line.find(std::string(" - ") + kCaption +
                        ": Launching web feedback with an empty error file.\r\n"),
              std::string::npos)
        << line;

    std::string big;
    for (int i = 0; big.size() < 50000; ++i) big += "line " + std::to_string(i) + "\r\n";
    folder.Write("x.errors.txt", big);
    PrepareLogForFeedback(log, kCaption);
    EXPECT_LE(log.FileSize(), static_cast<long>(kFeedbackLogTailBytes));
    EXPECT_GT(log.FileSize(), 30000);
    std::ifstream cut(log.FileName());
    const std::string kept((std::istreambuf_iterator<char>(cut)), {});
    EXPECT_EQ(kept.rfind("line ", 0), 0u);
    EXPECT_EQ(big.substr(big.size() - kept.size()), kept);
}

class FeedbackFormTest : public ::testing::Test {
  protected:
    FeedbackFormTest() {
        logFile_ = folder_.Write(std::string(kCaption) + ".errors.txt", kLogText);
        server_.Serve("/", "<html>home</html>");
        server_.Serve(kFeedbackScriptPath, "<html><body>Script Completed</body></html>");
        form_ = MakeForm(server_.Host());
    }

    std::unique_ptr<FeedbackForm> MakeForm(const std::string& host) {
        FeedbackEnvironment env;
        env.programPath = kProgram;
        env.computerInformation = kComputer;
        env.mimeTypesPath =
            folder_.Write("mime.types", "# test table\ntext/plain txt log\napplication/zip zip\n");
        auto form = std::make_unique<FeedbackForm>(http_, dialogs_, settings_, view_,
                                                   WebConfig{host, kWebHost, kSupport}, env);
        form->SetFormInfo(
            MainWindowFormInfo(kCaption, "TRU 3.65", kSupport, logFile_, folder_.Path()));
        return form;
    }

    void OpenAndFill() {
        ASSERT_EQ(form_->OpenFeedbackForm(), rc::kOk);
        FeedbackFields& f = form_->Fields();
        f.name = "Ada Lovelace";
        f.company = "Analytical Engines";
        f.email = "ada@example.test";
        f.telephone = "555 0100";
        f.description = "The reader lost its port.";
    }

    // The boxes the remembered values fill.
    void ExpectContact(const std::string& name, const std::string& company,
                       const std::string& email, const std::string& telephone,
                       const std::string& representative) {
        const FeedbackFields& f = form_->Fields();
        EXPECT_EQ(f.name, name);
        EXPECT_EQ(f.company, company);
        EXPECT_EQ(f.email, email);
        EXPECT_EQ(f.telephone, telephone);
        EXPECT_EQ(f.representativeEmail, representative);
    }

    std::vector<SeenRequest> Posts() {
        std::vector<SeenRequest> posts;
        for (const SeenRequest& r : server_.Requests()) {
            if (r.method == "POST") posts.push_back(r);
        }
        return posts;
    }

    TempFolder folder_;
    std::string logFile_;
    TestServer server_;
    CurlHttpClient http_{test::TestLimits()};
    RecordingDialogs dialogs_;
    MemoryFeedbackSettings settings_;
    RecordingFeedbackView view_;
    std::unique_ptr<FeedbackForm> form_;
};

TEST_F(FeedbackFormTest, OpeningLoadsRememberedValuesAndResetsTheRest) {
    settings_.values = {{"Name", "Ada"},
                        {"Company", "Old Co"},
                        {"Phone", "555 0199"},
                        {"Email", "ada@example.test"},
                        {"EmailTo", "rep@karvell.test"}};
    WebFormInfo info = form_->Info();
    info.registeredCompany = "Registered Co";
    info.productName = "";
    form_->SetFormInfo(info);
    form_->Fields().description = "left over";
    form_->Fields().fileShown = "old.zip";
    form_->OnTypeChange(2);

    ASSERT_EQ(form_->OpenFeedbackForm(), rc::kOk);
    EXPECT_EQ(view_.shows, 1);
    const FeedbackFields& f = form_->Fields();
    ExpectContact("Ada", "Registered Co", "ada@example.test", "555 0199", "rep@karvell.test");
    EXPECT_EQ(f.description, "");
    EXPECT_EQ(f.fileShown, "");
    EXPECT_EQ(f.respondVia, kRespondViaEmail);
    EXPECT_EQ(f.feedbackType, 0);
    EXPECT_EQ(form_->TypeText(), "General Feedback");
    EXPECT_EQ(form_->Label(), "Please describe the feedback below");
    EXPECT_EQ(form_->Info().productName, "QuorBSL");
    EXPECT_EQ(view_.progressVisible, std::vector<bool>{false});
    EXPECT_GE(view_.fieldsChanged, 1);
    // The connectivity test was a GET of "/".
    ASSERT_EQ(server_.Requests().size(), 1u);
    EXPECT_EQ(server_.Requests()[0].path, "/");
}

TEST_F(FeedbackFormTest, NoConnectionTellsTheUserAndKeepsTheFormClosed) {
    form_ = MakeForm("127.0.0.1:" + std::to_string(test::ClosedPort()));
    EXPECT_EQ(form_->OpenFeedbackForm(), rc::kWebConnectionError);
    EXPECT_EQ(view_.shows, 0);
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    const test::ShownDialog& d = dialogs_.shown[0];
    EXPECT_EQ(d.caption, "Internet Access Error");
    EXPECT_EQ(d.kind, kDialogError);
    const std::string start =
        "Error connecting to Karvell's customer feedback internet service.\n\n"
        "This feature requires your computer to be connected to the internet\n"
        "and be able to contact Karvell's Web Site (www.karvell.test).\n\n"
        "Please make a connection to the internet and try again.\n\nError: ";
    EXPECT_EQ(d.message.rfind(start, 0), 0u) << d.message;
    EXPECT_GT(d.message.size(), start.size());
}

TEST_F(FeedbackFormTest, EachSendCheckStopsWithItsMessageAndSendsNothing) {
    const std::string badEmail =
        "The email address you entered doesn't seem to be correct.\n\n"
        "Please enter a complete email address including\n"
        "the '@' symbol and domain name.";
    struct Case {
        const char* name;
        std::function<void(FeedbackFields&)> change;
        std::string caption;
        std::string message;
        FeedbackControl focus;
    };
    const Case cases[] = {
        {"empty name comes first",
         [](FeedbackFields& f) {
             f.name = "";
             f.email = "no at sign";
         },
         "Missing Information", "Please enter your name in the name field", FeedbackControl::kName},
        {"no way to answer",
         [](FeedbackFields& f) {
             f.email = "";
             f.telephone = "";
             f.respondVia = 2;
         },
         "Missing Information",
         "Please enter your phone number or email address so Karvell can respond to your "
         "feedback.",
         FeedbackControl::kTelephone},
        {"representative without @",
         [](FeedbackFields& f) {
             f.representativeEmail = "rep.karvell.test";
             f.email = "bad";
         },
         "Bad Email Address",
         "The email address you entered for your Karvell\nRepresentative isn't complete.\n\n"
         "Please enter a complete email address including\nthe '@' symbol and domain name.",
         FeedbackControl::kRepresentativeEmail},
        {"e-mail without @", [](FeedbackFields& f) { f.email = "ada.example.test"; },
         "Bad Email Address", badEmail, FeedbackControl::kEmail},
        {"e-mail with a space", [](FeedbackFields& f) { f.email = "ada @example.test"; },
         "Bad Email Address",
         badEmail + "\n\nPlease remove any space characters in the email address.",
         FeedbackControl::kEmail},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpenAndFill();
        c.change(form_->Fields());
        dialogs_ = {};
        view_.focused.clear();
        EXPECT_EQ(form_->OnSend(), rc::kMissingArgument);
        ASSERT_EQ(dialogs_.shown.size(), 1u);
        EXPECT_EQ(dialogs_.shown[0].caption, c.caption);
        EXPECT_EQ(dialogs_.shown[0].message, c.message);
        EXPECT_EQ(dialogs_.shown[0].kind, kDialogWarning);
        EXPECT_EQ(view_.focused, std::vector<FeedbackControl>{c.focus});
        EXPECT_TRUE(settings_.values.empty());
        EXPECT_TRUE(view_.visible);
    }
    EXPECT_TRUE(Posts().empty());
}

TEST_F(FeedbackFormTest, NoResponseNeededNeedsNoAddressAndEmailToFallsBackToSupport) {
    OpenAndFill();
    FeedbackFields& f = form_->Fields();
    f.email = "";
    f.telephone = "";
    f.respondVia = kRespondViaNone;
    f.representativeEmail = "";
    EXPECT_EQ(form_->OnSend(), rc::kOk);
    const auto posts = Posts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].parts.at(0).name, "EmailTo");
    EXPECT_EQ(posts[0].parts.at(0).content, kSupport);
    EXPECT_EQ(posts[0].parts.at(6).content, "No response necessary");
}

TEST_F(FeedbackFormTest, TheServerReceivesTheThirteenFieldsInOrderThenTheFiles) {
    const std::string zip = folder_.Write("notes.zip", std::string("PK\x03\x04zip body", 12));
    WebFormInfo info = form_->Info();
    info.registeredName = "Reg Name";
    info.logFile2 = folder_.Path() + "/missing.log";  // left out without a word
    form_->SetFormInfo(info);
    OpenAndFill();
    FeedbackFields& f = form_->Fields();
    f.name = "Ada Lovelace";  // the registered name filled the box; the user typed over it
    f.respondVia = 3;
    form_->OnTypeChange(2);
    ASSERT_TRUE(form_->ChooseFile(zip));
    EXPECT_EQ(f.fileShown, "notes.zip");
    EXPECT_EQ(form_->PickedPath(), zip);

    ASSERT_EQ(form_->OnSend(), rc::kOk);
    const auto posts = Posts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].path, kFeedbackScriptPath);
    EXPECT_TRUE(posts[0].complete);
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"EmailTo", kSupport},
        {"EmailSubject", "Dewmark Tru Firmware Updater Bug Report"},
        {"Name", "Ada Lovelace"},
        {"Company Name", "Analytical Engines"},
        {"Email", "ada@example.test"},
        {"Telephone", "555 0100"},
        {"Respond Via", "Telephone (mid day is best)"},
        {"Registered Name", "Reg Name"},
        {"Registered Company", ""},
        {"Software Version", "Dewmark Tru Firmware Updater version TRU 3.65"},
        {"Installation Path", kProgram},
        {"Computer Information", kComputer},
        {"Feedback", "The reader lost its port."},
    };
    const auto& parts = posts[0].parts;
    ASSERT_EQ(parts.size(), fields.size() + 2);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(parts[i].name, fields[i].first) << i;
        EXPECT_EQ(parts[i].content, fields[i].second) << i;
        EXPECT_EQ(parts[i].filename, "") << i;
    }
    const std::string logName = std::string(kCaption) + ".errors.txt";
    EXPECT_EQ(parts[13].name, logName);
    EXPECT_EQ(parts[13].filename, logName);
    EXPECT_EQ(parts[13].content_type, "text/plain");
    EXPECT_EQ(parts[13].content, kLogText);
    EXPECT_EQ(parts[14].name, "notes.zip");
    EXPECT_EQ(parts[14].filename, "notes.zip");
    EXPECT_EQ(parts[14].content_type, "application/zip");
    EXPECT_EQ(parts[14].content, std::string("PK\x03\x04zip body", 12));

    // Thanked once the form is hidden, then closed.
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].message, "Thank you for submitting your Bug Report.");
    EXPECT_EQ(dialogs_.shown[0].caption, "Feedback Successfully Sent");
    EXPECT_EQ(dialogs_.shown[0].kind, kDialogInformation);
    EXPECT_FALSE(view_.visible);
    EXPECT_EQ(view_.closes, 1);
    EXPECT_EQ(view_.sendEnabled, (std::vector<bool>{false, true}));
    EXPECT_EQ(view_.busyCursor, (std::vector<bool>{true, false}));
    // A small upload shows no progress bar.
    EXPECT_EQ(std::count(view_.progressVisible.begin(), view_.progressVisible.end(), true), 0);
}

TEST_F(FeedbackFormTest, OnlyScriptCompletedCountsAndTheValuesStayForTheNextShow) {
    struct Case {
        const char* name;
        std::function<void(const httplib::Request&, httplib::Response&)> answer;
        std::string errorLine;
    };
    const Case cases[] = {
        {"an error page with status 200",
         [](const httplib::Request&, httplib::Response& res) {
             res.set_content("<html>Error: mail could not be sent</html>", "text/html");
         },
         ""},
        {"a server error",
         [](const httplib::Request&, httplib::Response& res) {
             res.status = 500;
             res.set_content("Script Completed", "text/html");
         },
         "\n\nError: HTTP/1.1 500 Internal Server Error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server_.Serve(kFeedbackScriptPath, c.answer);
        settings_.values.clear();
        dialogs_ = {};
        OpenAndFill();
        form_->Fields().representativeEmail = "rep@karvell.test";
        EXPECT_EQ(form_->OnSend(), rc::kFeedbackNotSent);
        ASSERT_EQ(dialogs_.shown.size(), 1u);
        EXPECT_EQ(dialogs_.shown[0].caption, "Error Sending Feedback");
        EXPECT_EQ(dialogs_.shown[0].kind, kDialogWarning);
        EXPECT_EQ(dialogs_.shown[0].message,
                  "There was an error trying to send your General Feedback to Karvell.\n\n"
                  "Please try again." +
                      c.errorLine);
        EXPECT_TRUE(view_.visible);
        EXPECT_EQ(form_->Fields().description, "The reader lost its port.");

        // Written before the post, so the next show has them back.
        ASSERT_EQ(form_->OpenFeedbackForm(), rc::kOk);
        ExpectContact("Ada Lovelace", "Analytical Engines", "ada@example.test", "555 0100",
                      "rep@karvell.test");
        EXPECT_EQ(form_->Fields().description, "");
    }
}

TEST_F(FeedbackFormTest, APickedFileUpToEightMegabytesIsTakenOneByteMoreIsNot) {
    const std::string limit = folder_.Write("limit.bin", "");
    std::filesystem::resize_file(limit, kMaxFeedbackFileBytes);
    const std::string over = folder_.Write("over.bin", "");
    std::filesystem::resize_file(over, kMaxFeedbackFileBytes + 1);
    OpenAndFill();

    dialogs_.pickedPath = over;
    form_->OnBrowse();
    ASSERT_EQ(dialogs_.pickOptions.size(), 1u);
    EXPECT_EQ(dialogs_.pickOptions[0].title, "Send File with Feedback");
    EXPECT_EQ(dialogs_.pickOptions[0].filter, "Any File Type (*.*)|*.*");
    EXPECT_EQ(dialogs_.pickOptions[0].initialFolder, folder_.Path());
    EXPECT_EQ(form_->Fields().fileShown, "");
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].caption, "File Size Error");
    EXPECT_EQ(dialogs_.shown[0].kind, kDialogError);
    EXPECT_EQ(dialogs_.shown[0].message, FileTooBigText("over.bin", kMaxFeedbackFileBytes + 1));

    dialogs_ = {};
    dialogs_.pickedPath = limit;
    form_->OnBrowse();
    EXPECT_TRUE(dialogs_.shown.empty());
    EXPECT_EQ(form_->Fields().fileShown, "limit.bin");
    ASSERT_EQ(form_->OnSend(), rc::kOk);
    const auto posts = Posts();
    ASSERT_EQ(posts.size(), 1u);
    ASSERT_EQ(posts[0].parts.size(), 15u);
    EXPECT_EQ(posts[0].parts[14].filename, "limit.bin");
    EXPECT_EQ(posts[0].parts[14].content_type, "application/octet-stream");
    EXPECT_EQ(posts[0].parts[14].content.size(), kMaxFeedbackFileBytes);
    // Above 2 MiB the progress bar shows for the upload and hides after.
    EXPECT_EQ(view_.progressVisible, (std::vector<bool>{false, true, false}));
    EXPECT_GT(view_.progressMaximum, static_cast<std::int64_t>(kMaxFeedbackFileBytes));

    // A cancelled picker leaves the box empty.
    dialogs_ = {};
    form_->OnBrowse();
    EXPECT_EQ(form_->Fields().fileShown, "");
    EXPECT_EQ(form_->PickedPath(), "");
}

TEST_F(FeedbackFormTest, APickedFileThatCannotBeReadStopsTheSendWithItsMessage) {
    const std::string notes = folder_.Write("notes.txt", "notes");
    OpenAndFill();
    ASSERT_TRUE(form_->ChooseFile(notes));
    std::filesystem::remove(notes);
    EXPECT_EQ(form_->OnSend(), 0);
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].caption, "Error Reading File");
    EXPECT_EQ(dialogs_.shown[0].kind, kDialogError);
    EXPECT_EQ(dialogs_.shown[0].message,
              "Error sending the file \"notes.txt\". \nThe file is empty or can't be found on "
              "the system.\n\nPlease check your file name and try again.");
    EXPECT_TRUE(Posts().empty());
    EXPECT_TRUE(view_.visible);

    // A folder is no file: the general text with the system's reason.
    dialogs_ = {};
    std::filesystem::create_directory(folder_.Path() + "/sub");
    EXPECT_FALSE(form_->ChooseFile(folder_.Path() + "/sub"));
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].caption, "Error Reading File");
    EXPECT_EQ(dialogs_.shown[0].message,
              "Error sending the file \"sub\". \n\nPlease try again.\n\nError: Is a directory");
    EXPECT_EQ(form_->Fields().fileShown, "");
}

TEST_F(FeedbackFormTest, ClosingTheFormMidUploadAbortsTheTransfer) {
    const std::string big = folder_.Write("capture.bin", std::string(6 * 1048576, 'c'));
    OpenAndFill();
    ASSERT_TRUE(form_->ChooseFile(big));
    bool closed = false;
    view_.onPump = [&] {
        // The user closes the window while the upload runs.
        if (closed || view_.positions.empty() || view_.positions.back() <= 0) return;
        closed = true;
        EXPECT_TRUE(form_->TransferRunning());
        view_.CloseForm();
        form_->OnClose();
    };
    EXPECT_EQ(form_->OnSend(), rc::kFeedbackNotSent);
    EXPECT_TRUE(closed);
    EXPECT_FALSE(form_->TransferRunning());
    EXPECT_EQ(form_->LastError(), "The transfer was aborted");
    // The form is gone, so nothing more is said.
    EXPECT_TRUE(dialogs_.shown.empty());
    EXPECT_EQ(view_.progressVisible.back(), false);
    ASSERT_TRUE(server_.WaitForRequests(2));
    const auto posts = Posts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_FALSE(posts[0].complete);
}

}  // namespace
}  // namespace quor::web
