#include <gtest/gtest.h>

#include <vector>

#include "app/WebVersionCheck.h"

namespace quor::app {
namespace {

// Answers every GET with one body and remembers the addresses asked.
class CannedHttp final : public web::HttpClient {
  public:
    ResultCode Get(const std::string& url, std::string* body, std::string* error) override {
        urls.push_back(url);
        *body = answer;
        error->clear();
        return rc::kOk;
    }
    ResultCode PostForm(const std::string&, const web::MultipartForm&, std::string*,
                        std::string* error) override {
        *error = "not here";
        return rc::kWebConnectionError;
    }
    void Abort() override {}
    void SetProgress(const web::HttpProgress*) override {}

    std::string answer;
    std::vector<std::string> urls;
};

class CountingDialogs final : public web::WebDialogs {
  public:
    bool ShowDialog(const std::string& message, const std::string&, bool, int) override {
        messages.push_back(message);
        return false;
    }
    bool PickFile(const web::FilePickOptions&, std::string*) override { return false; }
    std::vector<std::string> messages;
};

class NoBrowser final : public web::BrowserLauncher {
  public:
    bool OpenLink(const std::string&) override { return false; }
};

TEST(WebVersionCheck, TheAppsCheckRunsTheWebChecker) {
    CannedHttp http;
    http.answer = "3.66\nhttp://h.example.test/Setup.exe";
    CountingDialogs dialogs;
    NoBrowser browser;
    web::VersionChecker checker(http, dialogs, browser, "software.example.test");
    WebVersionCheck check(checker);
    VersionCheck& asApp = check;
    EXPECT_EQ(asApp.CheckForNewerVersion(365, "/versionfinder/Tru-Firmware.txt", true,
                                         "Dewmark Tru Firmware Updater"),
              366);
    EXPECT_EQ(http.urls, std::vector<std::string>{
                             "http://software.example.test/versionfinder/Tru-Firmware.txt"});
    EXPECT_EQ(dialogs.messages.size(), 1u);  // the offer, declined
}

TEST(WebFeedbackSettings, TheFormsValuesLiveInTheFeedbackSection) {
    MemorySettingsStore store;
    WebFeedbackSettings settings(store);
    settings.WriteString(web::kFeedbackValueEmailTo, "rep@karvell.test");
    EXPECT_TRUE(store.Has("FeedbackForm", "EmailTo"));
    EXPECT_FALSE(store.Has("QuorBSL", "EmailTo"));
    std::string value;
    ASSERT_TRUE(settings.ReadString("EmailTo", &value));
    EXPECT_EQ(value, "rep@karvell.test");
    EXPECT_FALSE(settings.ReadString("Name", &value));
    EXPECT_EQ(value, "rep@karvell.test");
}

}  // namespace
}  // namespace quor::app
