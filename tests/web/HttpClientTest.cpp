#include <gtest/gtest.h>

#include "WebTestSupport.h"
#include "web/CurlHttpClient.h"

namespace quor::web {
namespace {

using test::TestServer;

class HttpClientTest : public ::testing::Test {
  protected:
    TestServer server_;
    CurlHttpClient http_{test::TestLimits()};
    std::string body_;
    std::string error_;
};

TEST_F(HttpClientTest, SendsTheAcceptHeaderAndUserAgent) {
    server_.Serve("/", "home");
    ASSERT_EQ(http_.Get(server_.Url("/"), &body_, &error_), rc::kOk) << error_;
    EXPECT_EQ(body_, "home");
    EXPECT_EQ(error_, "");
    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Header("Accept"), "text/html, */*");
    EXPECT_EQ(requests[0].Header("User-Agent"), "Mozilla/3.0 (compatible; Indy Library)");
}

TEST_F(HttpClientTest, FollowsRedirectsAndKeepsCookies) {
    server_.Serve("/old", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Set-Cookie", "session=abc123; Path=/");
        res.set_redirect("/new");
    });
    server_.Serve("/new", "moved here");
    server_.Serve("/later", "later");
    ASSERT_EQ(http_.Get(server_.Url("/old"), &body_, &error_), rc::kOk) << error_;
    EXPECT_EQ(body_, "moved here");
    ASSERT_EQ(http_.Get(server_.Url("/later"), &body_, &error_), rc::kOk) << error_;
    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].path, "/new");
    EXPECT_EQ(requests[1].Header("Cookie"), "session=abc123");
    EXPECT_EQ(requests[2].Header("Cookie"), "session=abc123");
}

TEST_F(HttpClientTest, AnErrorStatusOrAnOversizedAnswerFails) {
    EXPECT_EQ(http_.Get(server_.Url("/missing"), &body_, &error_), rc::kWebConnectionError);
    EXPECT_EQ(error_, "HTTP/1.1 404 Not Found");
    EXPECT_EQ(body_, "");

    server_.Serve("/huge", std::string(kMaxResponseBytes + 1, 'x'));
    EXPECT_EQ(http_.Get(server_.Url("/huge"), &body_, &error_), rc::kWebConnectionError);
    EXPECT_NE(error_.find("larger than"), std::string::npos) << error_;
    EXPECT_EQ(body_, "");

    // A scheme other than http and https is never fetched.
    EXPECT_EQ(http_.Get("file:///etc/hostname", &body_, &error_), rc::kWebConnectionError);
}

TEST_F(HttpClientTest, UploadProgressBeginsWithTheTotalAndEnds) {
    server_.Serve("/post", "ok");
    MultipartForm form;
    form.AddField("Name", "Ada");
    form.AddFile("big.bin", std::string(3 * 1048576, 'b'), "big.bin", "application/octet-stream");

    std::vector<std::int64_t> totals;
    std::int64_t lastDone = 0;
    int ends = 0;
    HttpProgress progress;
    progress.begin = [&](HttpDirection d, std::int64_t total) {
        if (d == HttpDirection::kUpload) totals.push_back(total);
    };
    progress.work = [&](HttpDirection d, std::int64_t done) {
        if (d == HttpDirection::kUpload) lastDone = done;
    };
    progress.end = [&](HttpDirection d) {
        if (d == HttpDirection::kUpload) ++ends;
    };
    http_.SetProgress(&progress);
    ASSERT_EQ(http_.PostForm(server_.Url("/post"), form, &body_, &error_), rc::kOk) << error_;
    ASSERT_EQ(totals.size(), 1u);
    EXPECT_GT(totals[0], 3 * 1048576);
    EXPECT_EQ(lastDone, totals[0]);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(body_, "ok");
    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].complete);
    EXPECT_EQ(requests[0].Header("Accept"), "text/html, */*");
}

TEST_F(HttpClientTest, AbortFromAProgressCallbackEndsTheUpload) {
    server_.Serve("/post", "ok");
    MultipartForm form;
    form.AddFile("big.bin", std::string(6 * 1048576, 'b'), "big.bin", "application/octet-stream");
    HttpProgress progress;
    progress.work = [&](HttpDirection d, std::int64_t done) {
        if (d == HttpDirection::kUpload && done > 0) http_.Abort();
    };
    http_.SetProgress(&progress);
    EXPECT_EQ(http_.PostForm(server_.Url("/post"), form, &body_, &error_), rc::kWebConnectionError);
    EXPECT_EQ(error_, "The transfer was aborted");
    // The server saw the request begin but never its whole body.
    ASSERT_TRUE(server_.WaitForRequests(1));
    EXPECT_FALSE(server_.Requests()[0].complete);

    // The next request runs normally.
    http_.SetProgress(nullptr);
    EXPECT_EQ(http_.Get(server_.Url("/post"), &body_, &error_), rc::kOk) << error_;
    EXPECT_EQ(body_, "ok");
}

}  // namespace
}  // namespace quor::web
