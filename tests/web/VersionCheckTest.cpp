#include <gtest/gtest.h>

#include "WebTestSupport.h"
#include "web/CurlHttpClient.h"
#include "web/VersionCheck.h"

namespace quor::web {
namespace {

using test::RecordingBrowser;
using test::RecordingDialogs;
using test::TestServer;

TEST(ReadVersionNumber, IntegersFromTenUpAndScaledDecimalsBelow) {
    struct Case {
        const char* text;
        bool readable;
        std::int32_t version;
    };
    const Case cases[] = {
        {"3.65", true, 365},   {"365", true, 365},
        {"3", true, 300},      {"2", true, 200},
        {"3.66\r", true, 366}, {" 366 \t", true, 366},
        {"10", true, 10},      {"9.9", true, 990},
        {"0.5", true, 50},     {"2147483647", true, 2147483647},
        {"", false, 0},        {"abc", false, 0},
        {"3.6.5", false, 0},   {"-5", false, 0},
        {"nan", false, 0},     {"inf", false, 0},
        {"1e300", false, 0},   {"99999999999", false, 0},
        {"3,65", false, 0},
    };
    for (const Case& c : cases) {
        std::int32_t version = -1;
        EXPECT_EQ(ReadVersionNumber(c.text, &version), c.readable) << '"' << c.text << '"';
        if (c.readable) {
            EXPECT_EQ(version, c.version) << '"' << c.text << '"';
        }
    }
}

TEST(ReadVersionFile, LinkFromFirstHttpVersionBeforeItsSeparator) {
    VersionFile file;
    ASSERT_EQ(ReadVersionFile("3.66\r\nhttp://h/dl/Tru-Setup.exe \r\n", &file), rc::kOk);
    EXPECT_EQ(file.version, 366);
    EXPECT_EQ(file.link, "http://h/dl/Tru-Setup.exe");
    EXPECT_TRUE(file.directDownload);

    ASSERT_EQ(ReadVersionFile("365\nhttps://h/news.html", &file), rc::kOk);
    EXPECT_EQ(file.version, 365);
    EXPECT_EQ(file.link, "https://h/news.html");
    EXPECT_FALSE(file.directDownload);

    // The link is cut at 999 characters, then loses its trailing blanks.
    const std::string longLink = "http://h/" + std::string(2000, 'x');
    ASSERT_EQ(ReadVersionFile("4\n" + longLink, &file), rc::kOk);
    EXPECT_EQ(file.link, longLink.substr(0, kMaxLinkChars));
    ASSERT_EQ(ReadVersionFile("4\n" + longLink.substr(0, 990) + std::string(20, ' '), &file),
              rc::kOk);
    EXPECT_EQ(file.link, longLink.substr(0, 990));
}

TEST(ReadVersionFile, WithoutHttpOrNumberIsUnreadableAndLeavesTheRecord) {
    for (const char* body :
         {"3.65\n", "", "http://h/only-a-link", "new!\nhttp://h/", "-400\nhttp://h/"}) {
        VersionFile file;
        file.version = 7;
        EXPECT_EQ(ReadVersionFile(body, &file), rc::kVersionFileUnreadable) << body;
        EXPECT_EQ(file.version, 7);
    }
}

constexpr const char* kPath = "/versionfinder/Tru-Firmware.txt";
constexpr const char* kProduct = "Dewmark Tru Firmware Updater";

class VersionCheckTest : public ::testing::Test {
  protected:
    VersionChecker CheckerFor(const std::string& host) {
        return VersionChecker(http_, dialogs_, browser_, host);
    }
    std::int32_t Check(std::int32_t current, bool quiet, const std::string& path = kPath) {
        VersionChecker checker = CheckerFor(server_.Host());
        return checker.CheckForNewerVersion(current, path, quiet, kProduct);
    }

    TestServer server_;
    CurlHttpClient http_{test::TestLimits()};
    RecordingDialogs dialogs_;
    RecordingBrowser browser_;
};

TEST_F(VersionCheckTest, VersionBodiesGiveTheirOffersAndMessages) {
    const std::string exe = "http://dl.example.test/Tru-Setup-366.exe";
    const std::string page = "http://www.example.test/tru/news.html";
    struct Case {
        const char* name;
        std::string body;
        bool quiet;
        bool answerYes;
        std::int32_t returned;
        std::string caption;  // "" for no dialog
        std::string text;
        bool ask;
        int kind;
        std::string opened;  // "" for no browser start
    };
    const Case cases[] = {
        {"download, yes", "3.66\r\n" + exe + "\r\n", false, true, 366, "New Version Available",
         NewerDownloadText(kProduct), true, kDialogInformation, exe},
        {"download, quiet still asks", "3.66\n" + exe, true, true, 366, "New Version Available",
         NewerDownloadText(kProduct), true, kDialogInformation, exe},
        {"page, no", "3.66\n" + page, false, false, 366, "New Version Available",
         NewerPageText(kProduct, page), true, kDialogInformation, ""},
        {"same, on demand", "365\n" + exe, false, true, 365, "Version Finder",
         LatestVersionText(kProduct), false, kDialogInformation, ""},
        {"same, quiet", "365\n" + exe, true, true, 365, "", "", false, -1, ""},
        {"older, on demand", "2\n" + page, false, true, 200, "Version Finder",
         RunningNewerText(kProduct), false, kDialogInformation, ""},
        {"older, quiet", "2\n" + page, true, true, 200, "", "", false, -1, ""},
        {"no link, on demand", "3.66\n", false, true, 0, "Version Check Error",
         VersionParseErrorText(), false, kDialogError, ""},
        {"no link, quiet", "3.66\n", true, true, 0, "", "", false, -1, ""},
        {"no number, on demand", "new\n" + page, false, true, 0, "Version Check Error",
         VersionParseErrorText(), false, kDialogError, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server_.Serve(kPath, c.body);
        dialogs_ = {};
        dialogs_.answerYes = c.answerYes;
        browser_ = {};
        EXPECT_EQ(Check(365, c.quiet), c.returned);
        if (c.caption.empty()) {
            EXPECT_TRUE(dialogs_.shown.empty());
        } else {
            ASSERT_EQ(dialogs_.shown.size(), 1u);
            EXPECT_EQ(dialogs_.shown[0].caption, c.caption);
            EXPECT_EQ(dialogs_.shown[0].message, c.text);
            EXPECT_EQ(dialogs_.shown[0].ask, c.ask);
            EXPECT_EQ(dialogs_.shown[0].kind, c.kind);
        }
        if (c.opened.empty()) {
            EXPECT_TRUE(browser_.opened.empty());
        } else {
            EXPECT_EQ(browser_.opened, std::vector<std::string>{c.opened});
        }
    }
}

TEST_F(VersionCheckTest, TheTextsReadAsTheUserSeesThem) {
    EXPECT_EQ(NewerPageText(kProduct, "http://h/p"),
              "There is information about a newer version of Dewmark Tru Firmware Updater\n"
              "available at http://h/p\n\nWould you like to visit this page with your web "
              "browser now?");
    EXPECT_NE(VersionParseErrorText().find("\n[error -1002]\n\nPlease try again"),
              std::string::npos);
    EXPECT_EQ(LatestVersionText(kProduct),
              "You are using the latest version of Dewmark Tru Firmware Updater.");
}

TEST_F(VersionCheckTest, ABrowserThatFailsToStartIsReportedEvenWhenQuiet) {
    server_.Serve(kPath, "3.66\nhttp://h/Setup.exe");
    browser_.succeeds = false;
    EXPECT_EQ(Check(365, true), 366);
    ASSERT_EQ(dialogs_.shown.size(), 2u);
    EXPECT_EQ(dialogs_.shown[1].caption, "Web Browser Launch Error");
    EXPECT_EQ(dialogs_.shown[1].kind, kDialogWarning);
    EXPECT_EQ(dialogs_.shown[1].message,
              "Dewmark Tru Firmware Updater had trouble launching your web browser.\n"
              "Please try manually going to:\nhttp://h/Setup.exe");
}

TEST_F(VersionCheckTest, OnlyWebLinksReachTheBrowser) {
    // Any other scheme would start whatever program claims it.
    for (const char* link : {"httpx-handler:run", "http:/one-slash", "httpsfoo://h/"}) {
        SCOPED_TRACE(link);
        server_.Serve(kPath, std::string("3.66\n") + link);
        dialogs_ = {};
        browser_ = {};
        EXPECT_EQ(Check(365, true), 366);
        EXPECT_TRUE(browser_.opened.empty());
        ASSERT_EQ(dialogs_.shown.size(), 2u);
        EXPECT_EQ(dialogs_.shown[1].message, BrowserLaunchErrorText(kProduct, link));
    }
    EXPECT_TRUE(IsWebLink("HTTPS://h.example.test/Setup.exe"));
    EXPECT_TRUE(IsWebLink("http://h"));
}

TEST_F(VersionCheckTest, ThePumpRunsWhileTheRequestWaits) {
    int pumped = 0;
    VersionChecker checker = CheckerFor(server_.Host());
    checker.SetPump([&] { ++pumped; });
    // The silent path keeps the request waiting until its time limit.
    EXPECT_EQ(checker.CheckForNewerVersion(365, "/silent", true, kProduct), 0);
    EXPECT_GT(pumped, 0);
}

TEST_F(VersionCheckTest, TheRequestGoesToTheSoftwareHostWithThePath) {
    server_.Serve(kPath, "365\nhttp://h/");
    Check(365, true);
    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, kPath);
}

TEST_F(VersionCheckTest, AnEmptyPathOrNoVersionDoesNothing) {
    server_.Serve(kPath, "3.66\nhttp://h/Setup.exe");
    EXPECT_EQ(Check(365, false, ""), 0);
    EXPECT_EQ(Check(365, true, ""), 0);
    EXPECT_EQ(Check(0, false), 0);
    EXPECT_TRUE(dialogs_.shown.empty());
    EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(VersionCheckTest, UnreachableHostsGiveTheConnectionErrorOnDemandOnly) {
    struct Case {
        const char* name;
        std::string host;
        std::string path;
        const char* errorPart;  // in the failure's text
    };
    const Case cases[] = {
        {"connection refused", "127.0.0.1:" + std::to_string(test::ClosedPort()), kPath, "onnect"},
        // Accepts and reads the request, then never answers: the GET time
        // limit ends it.
        {"never answers", server_.Host(), "/silent", "timed out"},
        {"no such file", server_.Host(), "/versionfinder/missing.txt", "404"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VersionChecker checker = CheckerFor(c.host);
        dialogs_ = {};
        EXPECT_EQ(checker.CheckForNewerVersion(365, c.path, true, kProduct), 0);
        EXPECT_EQ(checker.LastOutcome(), rc::kWebConnectionError);
        EXPECT_TRUE(dialogs_.shown.empty());

        EXPECT_EQ(checker.CheckForNewerVersion(365, c.path, false, kProduct), 0);
        EXPECT_EQ(checker.LastOutcome(), rc::kWebConnectionError);
        EXPECT_NE(checker.LastError().find(c.errorPart), std::string::npos) << checker.LastError();
        ASSERT_EQ(dialogs_.shown.size(), 1u);
        EXPECT_EQ(dialogs_.shown[0].caption, "Version Check Error");
        EXPECT_EQ(dialogs_.shown[0].kind, kDialogError);
        EXPECT_EQ(dialogs_.shown[0].message, VersionConnectionErrorText(checker.LastError()));
        EXPECT_NE(dialogs_.shown[0].message.find("\n\nError: " + checker.LastError()),
                  std::string::npos);
    }
}

TEST_F(VersionCheckTest, FailuresAndFindingsAreLogged) {
    test::TempFolder folder;
    QuorLog log((folder.Path() + "/web.errors.txt").c_str(), QuorLog::kLevelDetail);
    server_.Serve(kPath, "366\nhttp://h/Setup.exe");
    dialogs_.answerYes = false;
    VersionChecker checker(http_, dialogs_, browser_, server_.Host(), &log);
    checker.CheckForNewerVersion(365, kPath, true, kProduct);
    checker.CheckForNewerVersion(365, "/versionfinder/missing.txt", true, kProduct);
    std::ifstream file(log.FileName());
    const std::string text((std::istreambuf_iterator<char>(file)), {});
    EXPECT_NE(text.find("CheckForNewerVersion found version 366"), std::string::npos) << text;
    EXPECT_NE(text.find("CheckForNewerVersion failed for http://" + server_.Host() +
                        "/versionfinder/missing.txt (error -1001)"),
              std::string::npos)
        << text;
}

}  // namespace
}  // namespace quor::web
