// The window's web services against a real HTTP server on the loopback:
// the newer-version check after start-up and from the menu, and the
// "Send Feedback to VOREN" form.
#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "GuiFixture.h"
#include "web/WebConfig.h"
#include "web/WebTestSupport.h"

namespace quor::gui::testing {

// Records the links the desktop would open in a browser.
class LinkRecorder : public QObject {
    Q_OBJECT
  public:
    LinkRecorder() {
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "Open");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "Open");
    }
    ~LinkRecorder() override {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    }
    std::vector<QString> opened;

  public slots:
    void Open(const QUrl& url) { opened.push_back(url.toString()); }
};

namespace {

using app::Control;
using web::FeedbackControl;
using web::test::TestServer;

constexpr const char* kVersionPath = "/versionfinder/Tru-Firmware.txt";
constexpr const char* kScriptPath = "/php-bin/app_feedback.php";
const QString kProduct = QStringLiteral("Dewmark Tru Firmware Updater");

class WebTest : public GuiFixture {
  protected:
    WebTest()
        : softwareHost_(web::kSoftwareHostVariable, server.Host().c_str()),
          webHost_(web::kWebHostVariable, "www.example.test") {
        webVersionCheck = true;
    }
    // The session's clients hang up first: the server would otherwise wait
    // out their kept-alive connections.
    ~WebTest() override { session.reset(); }

    // Shows the window and waits until the quiet check after start-up has
    // asked the server and ended.
    MainWindow& ShowAfterQuietCheck() {
        MainWindow& w = Show();
        EXPECT_TRUE(WaitFor([&] { return VersionRequests() >= 1; }));
        // The check runs inside the start-up timer's slot: once the event
        // loop is back here it has ended.
        QTest::qWait(0);
        return w;
    }

    std::size_t VersionRequests() {
        std::size_t n = 0;
        for (const web::test::SeenRequest& r : server.Requests()) n += r.path == kVersionPath;
        return n;
    }

    std::vector<web::test::SeenRequest> Posts() {
        std::vector<web::test::SeenRequest> posts;
        for (web::test::SeenRequest& r : server.Requests()) {
            if (r.method == "POST") posts.push_back(std::move(r));
        }
        return posts;
    }

    FeedbackDialog& OpenForm(MainWindow& w) {
        server.Serve("/", "<html>Karvell</html>");
        w.ActionOf(Control::mnuSendFeedback)->trigger();
        FeedbackDialog& form = session->Web().FeedbackWindow();
        EXPECT_TRUE(WaitFor([&] { return form.isVisible(); }));
        return form;
    }

    template <typename T>
    static T* Box(FeedbackDialog& form, FeedbackControl c) {
        return qobject_cast<T*>(form.ControlOf(c));
    }

    TestServer server;
    BoxAnswerer boxes;
    LinkRecorder links;

  private:
    quor::testing::ScopedEnv softwareHost_;
    quor::testing::ScopedEnv webHost_;
};

// The check on demand as the user sees it, for the version files a host
// may serve; the quiet check before it found nothing (no file yet).
TEST_F(WebTest, TheMenuCheckTellsWhatTheVersionFileSays) {
    struct Case {
        const char* what;
        std::string body;
        QString caption;
        QString text;
        std::vector<QString> buttons;
        std::vector<QString> opened;  // on Yes
    };
    const std::string download = "http://downloads.example.test/Tru-366.exe";
    const std::string page = "https://www.example.test/tru/news.html";
    const Case cases[] = {
        {"newer download",
         "3.66\r\n" + download + "\r\n",
         QStringLiteral("New Version Available"),
         QStringLiteral("There is newer version of Dewmark Tru Firmware Updater available for "
                        "download.\n\nWould you like to download this new version with your web "
                        "browser now?"),
         {QStringLiteral("&Yes"), QStringLiteral("&No")},
         {QString::fromStdString(download)}},
        {"newer page",
         "367\n" + page,
         QStringLiteral("New Version Available"),
         QStringLiteral("There is information about a newer version of Dewmark Tru Firmware "
                        "Updater\navailable at ") +
             QString::fromStdString(page) +
             QStringLiteral("\n\nWould you like to visit this page with your web browser now?"),
         {QStringLiteral("&Yes"), QStringLiteral("&No")},
         {QString::fromStdString(page)}},
        {"up to date",
         "3.65\n" + download,
         QStringLiteral("Version Finder"),
         QStringLiteral("You are using the latest version of Dewmark Tru Firmware Updater."),
         {QStringLiteral("OK")},
         {}},
        {"unreadable",
         "no link here",
         QStringLiteral("Version Check Error"),
         QStringLiteral("Error parsing the version information returned by \nKarvell's version "
                        "check service.\n[error -1002]\n\nPlease try again or contact Karvell "
                        "for help."),
         {QStringLiteral("OK")},
         {}},
    };
    MainWindow& w = ShowAfterQuietCheck();
    EXPECT_TRUE(boxes.seen.empty()) << "the quiet check spoke of a missing file";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        boxes.seen.clear();
        links.opened.clear();
        server.Serve(kVersionPath, c.body);
        boxes.answer = [](const SeenBox&) { return QMessageBox::Yes; };
        w.ActionOf(Control::mnuCheckNewerVersion)->trigger();
        ASSERT_EQ(boxes.seen.size(), 1u);
        EXPECT_EQ(boxes.seen[0].caption, c.caption);
        EXPECT_EQ(boxes.seen[0].text, c.text);
        std::vector<QString> buttons = boxes.seen[0].buttons;
        for (QString& b : buttons) b.remove(QLatin1Char('&'));
        std::vector<QString> expected = c.buttons;
        for (QString& b : expected) b.remove(QLatin1Char('&'));
        EXPECT_EQ(buttons, expected);
        EXPECT_EQ(links.opened, c.opened);
    }
}

// The check after start-up speaks only of a newer version; No opens nothing.
TEST_F(WebTest, TheQuietCheckAfterStartOffersANewerVersion) {
    server.Serve(kVersionPath, "3.66\nhttp://downloads.example.test/Tru-366.exe");
    boxes.answer = [](const SeenBox&) { return QMessageBox::No; };
    Show();
    ASSERT_TRUE(WaitFor([&] { return !boxes.seen.empty(); }));
    EXPECT_EQ(boxes.seen[0].caption, QStringLiteral("New Version Available"));
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Information);
    EXPECT_TRUE(links.opened.empty());
    EXPECT_EQ(VersionRequests(), 1u);
}

// While the host takes its time the window keeps running its events: the
// server answers only once a timer of the window has fired.
TEST_F(WebTest, TheWindowRunsItsEventsWhileTheCheckWaits) {
    MainWindow& w = ShowAfterQuietCheck();
    std::mutex mutex;
    std::condition_variable released;
    bool timerFired = false;
    server.Serve(kVersionPath, [&](const httplib::Request&, httplib::Response& res) {
        std::unique_lock<std::mutex> lock(mutex);
        released.wait_for(lock, std::chrono::milliseconds(web::test::kServerWaitMs),
                          [&] { return timerFired; });
        res.set_content(timerFired ? "365\nhttp://www.example.test/" : "", "text/plain");
    });
    QTimer::singleShot(0, &w, [&] {
        {
            std::lock_guard<std::mutex> lock(mutex);
            timerFired = true;
        }
        released.notify_all();
    });
    w.ActionOf(Control::mnuCheckNewerVersion)->trigger();
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text,
              QStringLiteral("You are using the latest version of ") + kProduct + ".");
}

// A host that does not answer on demand: the connection error with the
// transfer's own text; the form's connection test fails the same way and
// the form stays closed.
TEST_F(WebTest, AnUnreachableHostGivesTheConnectionErrors) {
    const std::string dead = "127.0.0.1:" + std::to_string(web::test::ClosedPort());
    quor::testing::ScopedEnv host(web::kSoftwareHostVariable, dead.c_str());
    MainWindow& w = Show();
    w.ActionOf(Control::mnuCheckNewerVersion)->trigger();
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].caption, QStringLiteral("Version Check Error"));
    EXPECT_TRUE(boxes.seen[0].text.startsWith(
        QStringLiteral("Error connecting to Karvell's version check service.\n")));
    EXPECT_TRUE(boxes.seen[0].text.contains(QStringLiteral("\n\nError: ")));
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Critical);

    boxes.seen.clear();
    w.ActionOf(Control::mnuSendFeedback)->trigger();
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].caption, QStringLiteral("Internet Access Error"));
    EXPECT_TRUE(boxes.seen[0].text.contains(QStringLiteral("(www.example.test)")));
    EXPECT_FALSE(session->Web().FeedbackWindow().isVisible());
}

// The form as it opens: remembered values in their boxes, the controls in
// their order, the label that follows the type, the description's limit.
TEST_F(WebTest, TheFeedbackFormOpensWithItsControls) {
    store.WriteString(app::kFeedbackSection, web::kFeedbackValueName, "Ada Lovelace");
    store.WriteString(app::kFeedbackSection, web::kFeedbackValuePhone, "+44 20 7946 0000");
    MainWindow& w = ShowAfterQuietCheck();
    FeedbackDialog& form = OpenForm(w);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Send Feedback to VOREN"));
    EXPECT_FALSE(form.isModal());
    EXPECT_EQ(Box<QLineEdit>(form, FeedbackControl::kName)->text(), "Ada Lovelace");
    EXPECT_EQ(Box<QLineEdit>(form, FeedbackControl::kTelephone)->text(), "+44 20 7946 0000");
    EXPECT_EQ(Box<QComboBox>(form, FeedbackControl::kRespondVia)->currentText(), "Email");
    EXPECT_EQ(Box<QComboBox>(form, FeedbackControl::kFeedbackType)->currentText(),
              "General Feedback");
    EXPECT_EQ(form.DescriptionCaption()->text(), "Please describe the feedback below");
    EXPECT_FALSE(form.ProgressBar()->isVisible());
    EXPECT_TRUE(Box<QPushButton>(form, FeedbackControl::kSend)->isDefault());
    EXPECT_EQ(Box<QLineEdit>(form, FeedbackControl::kName)->toolTip(),
              "Please enter your first and last name");
    EXPECT_EQ(Box<QComboBox>(form, FeedbackControl::kRespondVia)->toolTip(),
              "How can Karvell contact you?");
    EXPECT_EQ(Box<QPushButton>(form, FeedbackControl::kSend)->toolTip(),
              "Click to send this information to Karvell");

    // Tab walks the boxes in the form's order.
    const std::vector<QWidget*> order = {form.ControlOf(FeedbackControl::kName),
                                         form.ControlOf(FeedbackControl::kCompany),
                                         form.ControlOf(FeedbackControl::kEmail),
                                         form.ControlOf(FeedbackControl::kTelephone),
                                         form.ControlOf(FeedbackControl::kFeedbackType),
                                         form.ControlOf(FeedbackControl::kRespondVia),
                                         form.ControlOf(FeedbackControl::kDescription),
                                         form.ControlOf(FeedbackControl::kFile),
                                         form.BrowseButton(),
                                         form.ControlOf(FeedbackControl::kRepresentativeEmail),
                                         form.ControlOf(FeedbackControl::kSend)};
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        QWidget* next = order[i]->nextInFocusChain();
        while (next && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
        EXPECT_EQ(next, order[i + 1]) << i;
    }

    auto* type = Box<QComboBox>(form, FeedbackControl::kFeedbackType);
    type->setCurrentIndex(2);
    EXPECT_EQ(form.DescriptionCaption()->text(), "Please describe the bug or issue below");
    type->setCurrentIndex(3);
    EXPECT_EQ(form.DescriptionCaption()->text(), "Please describe the other feedback below");
    EXPECT_EQ(session->Web().Feedback().TypeText(), "Other Feedback");

    auto* description = Box<QPlainTextEdit>(form, FeedbackControl::kDescription);
    description->setFocus();
    description->setPlainText(QString(2040, QLatin1Char('x')));
    description->moveCursor(QTextCursor::End);
    QTest::keyClicks(description, QStringLiteral("0123456789abc"));
    EXPECT_EQ(description->toPlainText().size(), 2048);
    EXPECT_TRUE(description->toPlainText().endsWith(QStringLiteral("xx01234567")));
    EXPECT_TRUE(Box<QLineEdit>(form, FeedbackControl::kFile)->isReadOnly());

    description->setPlainText(QStringLiteral("The dew point reads 0.3 K high after the update."));
    Screenshot(form, QStringLiteral("feedback-form"));

    // The form goes when the main window closes.
    w.close();
    EXPECT_TRUE(WaitFor([&] { return !w.isVisible(); }));
    EXPECT_TRUE(WaitFor([&] { return !form.isVisible(); }));
}

// Each send check stops with its text, puts the focus on its box, and
// sends and stores nothing.
TEST_F(WebTest, TheSendChecksStopWithTheirTextAndFocus) {
    struct Case {
        const char* what;
        QString name, email, telephone, representative;
        int respondVia;
        QString caption, text;
        FeedbackControl focus;
    };
    const Case cases[] = {
        {"no name", "", "ada@example.test", "", "", 1, "Missing Information",
         "Please enter your name in the name field", FeedbackControl::kName},
        {"no way to answer", "Ada", "", "", "", 1, "Missing Information",
         "Please enter your phone number or email address so Karvell can respond to your "
         "feedback.",
         FeedbackControl::kTelephone},
        {"representative without @", "Ada", "ada@example.test", "", "rep.example.test", 1,
         "Bad Email Address",
         "The email address you entered for your Karvell\nRepresentative isn't complete.\n\n"
         "Please enter a complete email address including\nthe '@' symbol and domain name.",
         FeedbackControl::kRepresentativeEmail},
        {"e-mail with a space", "Ada", "ada @example.test", "", "", 0, "Bad Email Address",
         "The email address you entered doesn't seem to be correct.\n\nPlease enter a complete "
         "email address including\nthe '@' symbol and domain name.\n\nPlease remove any space "
         "characters in the email address.",
         FeedbackControl::kEmail},
    };
    MainWindow& w = ShowAfterQuietCheck();
    server.Serve(kScriptPath, "Script Completed");
    FeedbackDialog& form = OpenForm(w);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        boxes.seen.clear();
        Box<QLineEdit>(form, FeedbackControl::kName)->setText(c.name);
        Box<QLineEdit>(form, FeedbackControl::kEmail)->setText(c.email);
        Box<QLineEdit>(form, FeedbackControl::kTelephone)->setText(c.telephone);
        Box<QLineEdit>(form, FeedbackControl::kRepresentativeEmail)->setText(c.representative);
        Box<QComboBox>(form, FeedbackControl::kRespondVia)->setCurrentIndex(c.respondVia);
        Box<QLineEdit>(form, FeedbackControl::kCompany)->setFocus();
        QTest::mouseClick(Box<QPushButton>(form, FeedbackControl::kSend), Qt::LeftButton);
        ASSERT_EQ(boxes.seen.size(), 1u);
        EXPECT_EQ(boxes.seen[0].caption, c.caption);
        EXPECT_EQ(boxes.seen[0].text, c.text);
        EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Warning);
        EXPECT_TRUE(WaitFor([&] { return form.focusWidget() == form.ControlOf(c.focus); }));
        EXPECT_TRUE(form.isVisible());
    }
    EXPECT_TRUE(Posts().empty());
    std::string stored;
    EXPECT_FALSE(store.ReadString(app::kFeedbackSection, web::kFeedbackValueName, &stored));
}

// A filled form is posted with its fields, the log and the chosen file;
// an answer without the confirmation keeps the form and what was typed,
// the next send goes through, and the remembered values come back.
TEST_F(WebTest, AFilledFormIsPostedAndRemembered) {
    const std::string picked = dir.File("reading.txt");
    { std::ofstream(picked) << "T=21.4 RH=43.0\n"; }
    MainWindow& w = ShowAfterQuietCheck();
    FeedbackDialog& form = OpenForm(w);

    Box<QLineEdit>(form, FeedbackControl::kName)->setText("Ada Lovelace");
    Box<QLineEdit>(form, FeedbackControl::kCompany)->setText("Analytical Engines");
    Box<QLineEdit>(form, FeedbackControl::kEmail)->setText("ada@example.test");
    Box<QComboBox>(form, FeedbackControl::kFeedbackType)->setCurrentIndex(2);
    Box<QComboBox>(form, FeedbackControl::kRespondVia)->setCurrentIndex(2);
    Box<QPlainTextEdit>(form, FeedbackControl::kDescription)
        ->setPlainText(QStringLiteral("Readings drift.\nSee the file."));
    {
        FileDialogAnswerer pick(QString::fromStdString(picked));
        QTest::mouseClick(form.BrowseButton(), Qt::LeftButton);
        EXPECT_EQ(pick.title, QStringLiteral("Send File with Feedback"));
    }
    EXPECT_EQ(Box<QLineEdit>(form, FeedbackControl::kFile)->text(), "reading.txt");

    // An error page with status 200 is no confirmation.
    server.Serve(kScriptPath, "<html>Database unavailable</html>");
    QTest::mouseClick(Box<QPushButton>(form, FeedbackControl::kSend), Qt::LeftButton);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].caption, QStringLiteral("Error Sending Feedback"));
    EXPECT_EQ(boxes.seen[0].text,
              QStringLiteral("There was an error trying to send your Bug Report to Karvell.\n\n"
                             "Please try again."));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(Box<QLineEdit>(form, FeedbackControl::kName)->text(), "Ada Lovelace");
    EXPECT_EQ(Box<QLineEdit>(form, FeedbackControl::kFile)->text(), "reading.txt");
    EXPECT_TRUE(Box<QPushButton>(form, FeedbackControl::kSend)->isEnabled());

    boxes.seen.clear();
    server.Serve(kScriptPath, "<html>Script Completed</html>");
    QTest::mouseClick(Box<QPushButton>(form, FeedbackControl::kSend), Qt::LeftButton);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].caption, QStringLiteral("Feedback Successfully Sent"));
    EXPECT_EQ(boxes.seen[0].text, QStringLiteral("Thank you for submitting your Bug Report."));
    EXPECT_FALSE(form.isVisible());

    const std::vector<web::test::SeenRequest> posts = Posts();
    ASSERT_EQ(posts.size(), 2u);
    const web::test::SeenRequest& post = posts[1];
    EXPECT_EQ(post.path, kScriptPath);
    const std::string caption = App().WindowCaption();
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"EmailTo", web::BuiltWebConfig().supportEmail},
        {"EmailSubject", caption + " Bug Report"},
        {"Name", "Ada Lovelace"},
        {"Company Name", "Analytical Engines"},
        {"Email", "ada@example.test"},
        {"Telephone", ""},
        {"Respond Via", "Telephone (morning is best)"},
        {"Registered Name", ""},
        {"Registered Company", ""},
        {"Software Version", caption + " version TRU 3.65"},
    };
    ASSERT_GE(post.parts.size(), 15u);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(post.parts[i].name, fields[i].first);
        EXPECT_EQ(post.parts[i].content, fields[i].second) << fields[i].first;
    }
    EXPECT_EQ(post.parts[10].name, "Installation Path");
    EXPECT_FALSE(post.parts[10].content.empty());
    EXPECT_EQ(post.parts[11].name, "Computer Information");
    EXPECT_NE(post.parts[11].content.find(" (Version "), std::string::npos);
    EXPECT_EQ(post.parts[12].name, "Feedback");
    EXPECT_EQ(post.parts[12].content, "Readings drift.\nSee the file.");
    // The error file, then the chosen one.
    const std::string errorFile = App().ErrorFile();
    EXPECT_EQ(post.parts[13].filename, errorFile.substr(errorFile.find_last_of('/') + 1));
    EXPECT_EQ(post.parts[14].name, "reading.txt");
    EXPECT_EQ(post.parts[14].filename, "reading.txt");
    EXPECT_EQ(post.parts[14].content_type, "text/plain");
    EXPECT_EQ(post.parts[14].content, "T=21.4 RH=43.0\n");

    // The next show brings back what was sent, and the form is fresh.
    boxes.seen.clear();
    FeedbackDialog& again = OpenForm(w);
    EXPECT_EQ(Box<QLineEdit>(again, FeedbackControl::kName)->text(), "Ada Lovelace");
    EXPECT_EQ(Box<QLineEdit>(again, FeedbackControl::kCompany)->text(), "Analytical Engines");
    EXPECT_EQ(Box<QLineEdit>(again, FeedbackControl::kEmail)->text(), "ada@example.test");
    EXPECT_TRUE(Box<QPlainTextEdit>(again, FeedbackControl::kDescription)->toPlainText().isEmpty());
    EXPECT_TRUE(Box<QLineEdit>(again, FeedbackControl::kFile)->text().isEmpty());
    EXPECT_EQ(Box<QComboBox>(again, FeedbackControl::kFeedbackType)->currentIndex(), 0);
    EXPECT_TRUE(boxes.seen.empty());
}

// Closing the form while its upload runs ends the transfer: the post
// never completes, and no message follows. The largest file the form
// takes (8 MiB) shows the progress bar, and the form is closed the moment
// the bar appears.
TEST_F(WebTest, ClosingTheFormMidUploadAbortsTheTransfer) {
    const std::string picked = dir.File("capture.bin");
    { std::ofstream create(picked); }
    std::filesystem::resize_file(picked, web::kMaxFeedbackFileBytes);
    MainWindow& w = ShowAfterQuietCheck();
    server.Serve(kScriptPath, "Script Completed");
    FeedbackDialog& form = OpenForm(w);
    Box<QLineEdit>(form, FeedbackControl::kName)->setText("Ada Lovelace");
    Box<QComboBox>(form, FeedbackControl::kRespondVia)->setCurrentIndex(0);
    {
        FileDialogAnswerer pick(QString::fromStdString(picked));
        QTest::mouseClick(form.BrowseButton(), Qt::LeftButton);
    }
    ASSERT_EQ(Box<QLineEdit>(form, FeedbackControl::kFile)->text(), "capture.bin");

    struct CloseOnShow : QObject {
        explicit CloseOnShow(FeedbackDialog& f) : form(f) {}
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Show) {
                shown = true;
                form.reject();  // as the title bar's close button does
            }
            return false;
        }
        FeedbackDialog& form;
        bool shown = false;
    } closer(form);
    form.ProgressBar()->installEventFilter(&closer);
    QTest::mouseClick(Box<QPushButton>(form, FeedbackControl::kSend), Qt::LeftButton);
    form.ProgressBar()->removeEventFilter(&closer);

    EXPECT_TRUE(closer.shown);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(session->Web().Feedback().TransferRunning());
    EXPECT_TRUE(boxes.seen.empty()) << boxes.seen.front().caption.toStdString();
    for (const web::test::SeenRequest& post : Posts()) EXPECT_FALSE(post.complete);
    EXPECT_TRUE(Box<QPushButton>(form, FeedbackControl::kSend)->isEnabled());
}

}  // namespace
}  // namespace quor::gui::testing

#include "WebTest.moc"
