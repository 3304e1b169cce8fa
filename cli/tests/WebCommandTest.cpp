// quorbsl check-version and quorbsl feedback run as programs against an
// HTTP server on the loopback, named to them through QUOR_SOFTWARE_HOST.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "cli/tests/CliTestSupport.h"
#include "support/ScopedEnv.h"
#include "web/WebTestSupport.h"

namespace quor::cli {
namespace {

using testing::Contains;
using testing::ProgramRun;
using testing::QuorbslRunner;
using web::test::TestServer;

constexpr const char* kVersionPath = "/versionfinder/Tru-Firmware.txt";
constexpr const char* kScriptPath = "/php-bin/app_feedback.php";

class WebCommandTest : public ::testing::Test {
  protected:
    WebCommandTest()
        : host_(web::kSoftwareHostVariable, server.Host().c_str()),
          webHost_(web::kWebHostVariable, "www.example.test"),
          path_("PATH", (bin_.Path().string() + ":" + std::getenv("PATH")).c_str()) {
        // A stand-in for the desktop's xdg-open: it notes the link.
        const std::string script = bin_.File("xdg-open");
        std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> " << LinksFile() << "\n";
        ::chmod(script.c_str(), 0755);
    }

    std::string LinksFile() const { return bin_.File("links.txt"); }
    std::string Links() const {
        std::ifstream in(LinksFile());
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<web::test::SeenRequest> Posts() {
        std::vector<web::test::SeenRequest> posts;
        for (web::test::SeenRequest& r : server.Requests()) {
            if (r.method == "POST") posts.push_back(std::move(r));
        }
        return posts;
    }
    static std::string Part(const web::test::SeenRequest& post, const std::string& name) {
        for (const auto& part : post.parts) {
            if (part.name == name) return part.content;
        }
        return "(missing)";
    }

    TestServer server;

  private:
    quor::testing::TempDir bin_;
    quor::testing::ScopedEnv host_;
    quor::testing::ScopedEnv webHost_;
    quor::testing::ScopedEnv path_;
};

TEST_F(WebCommandTest, CheckVersionTellsWhatTheHostSaysAndExitsByTheOutcome) {
    struct Case {
        const char* what;
        const char* body;  // null: nothing served (404)
        std::vector<std::string> args;
        int exit;
        std::string err;
        std::string links;
    };
    const Case cases[] = {
        {"newer, --yes opens the download",
         "3.66\nhttp://downloads.example.test/Tru.exe\n",
         {"check-version", "--yes"},
         0,
         "There is newer version of Dewmark Tru Firmware Updater available for download.",
         "http://downloads.example.test/Tru.exe\n"},
        {"newer, no terminal answers No",
         "367\nhttp://www.example.test/news",
         {"check-version"},
         0,
         "available at http://www.example.test/news",
         ""},
        {"up to date",
         "365\nhttp://www.example.test/",
         {"check-version"},
         0,
         "You are using the latest version of Dewmark Tru Firmware Updater.",
         ""},
        {"older here",
         "2\nhttp://www.example.test/",
         {"check-version"},
         0,
         "You are running a newer version of Dewmark Tru Firmware Updater",
         ""},
        {"no link", "3.66 soon", {"check-version"}, 8, "[error -1002]", ""},
        {"no version file",
         nullptr,
         {"check-version"},
         3,
         "Error connecting to Karvell's version check service.",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(LinksFile());
        if (c.body) {
            server.Serve(kVersionPath, c.body);
        } else {
            server.Serve(kVersionPath,
                         [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
        }
        QuorbslRunner quorbsl;
        const ProgramRun r = quorbsl(c.args);
        EXPECT_EQ(r.exit, c.exit) << r.err;
        EXPECT_TRUE(Contains(r.err, c.err)) << r.err;
        EXPECT_EQ(Links(), c.links);
    }
}

TEST_F(WebCommandTest, CheckVersionOnADeadHostExitsThree) {
    const std::string dead = "127.0.0.1:" + std::to_string(web::test::ClosedPort());
    quor::testing::ScopedEnv host(web::kSoftwareHostVariable, dead.c_str());
    QuorbslRunner quorbsl;
    const ProgramRun r = quorbsl({"check-version"});
    EXPECT_EQ(r.exit, 3);
    EXPECT_TRUE(Contains(r.err, "\n  Error: ")) << r.err;
}

// A feedback is posted with its fields, the error file and the chosen
// file; the next one takes the contact values the first stored.
TEST_F(WebCommandTest, FeedbackIsPostedAndItsContactRemembered) {
    server.Serve("/", "<html>Karvell</html>");
    server.Serve(kScriptPath, "<html>Script Completed</html>");
    QuorbslRunner quorbsl;
    const std::string picked = quorbsl.File("reading.csv");
    std::ofstream(picked) << "T,RH\n21.4,43.0\n";
    const std::string message(web::kDescriptionMaxChars, 'm');
    ProgramRun r =
        quorbsl({"feedback", "--name", "Ada Lovelace", "--email", "ada@example.test", "--type",
                 "bug", "--respond-via", "none", "--message", message, "--file", picked});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, "Thank you for submitting your Bug Report.")) << r.err;
    std::vector<web::test::SeenRequest> posts = Posts();
    ASSERT_EQ(posts.size(), 1u);
    const web::test::SeenRequest& post = posts[0];
    EXPECT_EQ(post.path, kScriptPath);
    ASSERT_EQ(post.parts.size(), 15u);
    EXPECT_EQ(post.parts[0].name, "EmailTo");
    EXPECT_EQ(post.parts[0].content, web::BuiltWebConfig().supportEmail);
    EXPECT_EQ(Part(post, "EmailSubject"), "Dewmark Tru Firmware Updater Bug Report");
    EXPECT_EQ(Part(post, "Name"), "Ada Lovelace");
    EXPECT_EQ(Part(post, "Email"), "ada@example.test");
    EXPECT_EQ(Part(post, "Respond Via"), "No response necessary");
    EXPECT_EQ(Part(post, "Software Version"), "Dewmark Tru Firmware Updater version TRU 3.65");
    EXPECT_EQ(Part(post, "Feedback"), message);
    EXPECT_EQ(post.parts[12].name, "Feedback");
    EXPECT_EQ(post.parts[13].filename, "Dewmark Tru Firmware Updater.errors.txt");
    EXPECT_EQ(post.parts[14].filename, "reading.csv");
    EXPECT_EQ(post.parts[14].content, "T,RH\n21.4,43.0\n");

    r = quorbsl({"feedback", "--message", "Again."});
    EXPECT_EQ(r.exit, 0) << r.err;
    posts = Posts();
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(Part(posts[1], "Name"), "Ada Lovelace");
    EXPECT_EQ(Part(posts[1], "Email"), "ada@example.test");
    EXPECT_EQ(Part(posts[1], "EmailSubject"), "Dewmark Tru Firmware Updater General Feedback");
    EXPECT_EQ(Part(posts[1], "Respond Via"), "Email");
}

// Each check stops the feedback with its message and exit status 2, and
// sends nothing; a host without the confirmation is a failure.
TEST_F(WebCommandTest, FeedbackChecksStopItBeforeSending) {
    server.Serve("/", "<html>Karvell</html>");
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int exit;
        std::string err;
        std::size_t posts;
    };
    QuorbslRunner files;
    const std::string big = files.File("big.bin");
    { std::ofstream create(big); }
    std::filesystem::resize_file(big, web::kMaxFeedbackFileBytes + 1);
    const Case cases[] = {
        {"no name",
         {"feedback", "--email", "ada@example.test", "--message", "x"},
         2,
         "Please enter your name in the name field",
         0},
        {"no way to answer",
         {"feedback", "--name", "Ada", "--message", "x"},
         2,
         "Please enter your phone number or email address so Karvell can respond",
         0},
        {"e-mail with a space",
         {"feedback", "--name", "Ada", "--email", "ada @example.test", "--message", "x"},
         2,
         "Please remove any space characters in the email address.",
         0},
        {"message too long",
         {"feedback", "--name", "Ada", "--phone", "1", "--message",
          std::string(web::kDescriptionMaxChars + 1, 'x')},
         2,
         "at most 2048 characters",
         0},
        {"file too big",
         {"feedback", "--name", "Ada", "--phone", "1", "--file", big},
         2,
         "is 8 megabytes (this file is 8.0 MB).",
         0},
        {"missing file",
         {"feedback", "--name", "Ada", "--phone", "1", "--file", files.File("gone.txt")},
         2,
         "The file is empty or can't be found on the system.",
         0},
        {"no confirmation",
         {"feedback", "--name", "Ada", "--phone", "1", "--message", "x"},
         8,
         "There was an error trying to send your General Feedback to Karvell.",
         1},
    };
    server.Serve(kScriptPath, "<html>Database unavailable</html>");
    std::size_t before = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QuorbslRunner quorbsl;
        const ProgramRun r = quorbsl(c.args);
        EXPECT_EQ(r.exit, c.exit) << r.err;
        EXPECT_TRUE(Contains(r.err, c.err)) << r.err;
        EXPECT_EQ(Posts().size(), before + c.posts);
        before = Posts().size();
    }
}

TEST_F(WebCommandTest, FeedbackWithoutTheHostExitsThree) {
    const std::string dead = "127.0.0.1:" + std::to_string(web::test::ClosedPort());
    quor::testing::ScopedEnv host(web::kSoftwareHostVariable, dead.c_str());
    QuorbslRunner quorbsl;
    const ProgramRun r = quorbsl({"feedback", "--name", "Ada", "--phone", "1", "--message", "x"});
    EXPECT_EQ(r.exit, 3);
    EXPECT_TRUE(Contains(r.err, "Internet Access Error")) << r.err;
    EXPECT_TRUE(Contains(r.err, "(www.example.test)")) << r.err;
}

}  // namespace
}  // namespace quor::cli
