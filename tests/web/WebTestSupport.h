#pragma once
// An HTTP server on the loopback for the web tests (cpp-httplib, serving
// on its own thread at a free port of 127.0.0.1), and recording doubles of
// the web services' dialogs, browser and feedback window.

#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "web/BrowserLauncher.h"
#include "web/FeedbackForm.h"
#include "web/HttpClient.h"
#include "web/WebDialogs.h"

namespace quor::web::test {

// Short limits so that a dead host fails a test at once.
inline constexpr std::uint32_t kTestConnectTimeoutMs = 1000;
inline constexpr std::uint32_t kTestGetTimeoutMs = 300;
inline constexpr std::uint32_t kTestPostTimeoutMs = 20000;
inline constexpr std::uint32_t kTestStallTimeoutMs = 2000;
// How long a test waits for the server thread to record a request.
inline constexpr std::uint32_t kServerWaitMs = 5000;

inline HttpLimits TestLimits() {
    return {kTestConnectTimeoutMs, kTestGetTimeoutMs, kTestPostTimeoutMs, kTestStallTimeoutMs};
}

// One request as the server saw it; multipart parts in the order sent.
struct SeenRequest {
    std::string method;
    std::string path;
    httplib::Headers headers;
    std::vector<httplib::MultipartFormData> parts;
    bool complete = false;  // the whole body arrived

    std::string Header(const std::string& name) const {
        const auto it = headers.find(name);
        return it == headers.end() ? "" : it->second;
    }
};

class TestServer {
  public:
    TestServer() {
        server_.set_logger([](const httplib::Request&, const httplib::Response&) {});
        server_.Get("/silent", [this](const httplib::Request& req, httplib::Response&) {
            Record(req, {}, true);
            // Never answers: holds the request until the server stops.
            std::unique_lock<std::mutex> lock(mutex_);
            released_.wait(lock, [this] { return release_; });
        });
        server_.Get(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
            Record(req, {}, true);
            Answer(req, res);
        });
        server_.Post(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res,
                                      const httplib::ContentReader& reader) {
            std::vector<httplib::MultipartFormData> parts;
            bool complete = false;
            if (req.is_multipart_form_data()) {
                complete = reader(
                    [&](const httplib::MultipartFormData& part) {
                        parts.push_back(part);
                        return true;
                    },
                    [&](const char* data, std::size_t n) {
                        parts.back().content.append(data, n);
                        return true;
                    });
            } else {
                std::string body;
                complete = reader([&](const char* data, std::size_t n) {
                    body.append(data, n);
                    return true;
                });
            }
            Record(req, std::move(parts), complete);
            if (complete) Answer(req, res);
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // stop() before the loop runs would be lost and the join would hang.
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kServerWaitMs);
        while (!server_.is_running() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
    }

    ~TestServer() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            release_ = true;
        }
        released_.notify_all();
        server_.stop();
        thread_.join();
    }

    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    int Port() const { return port_; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string Url(const std::string& path) const { return "http://" + Host() + path; }

    // What a path answers (200, text/html); an unknown path answers 404.
    void Serve(const std::string& path, const std::string& body) {
        std::lock_guard<std::mutex> lock(mutex_);
        routes_[path] = [body](const httplib::Request&, httplib::Response& res) {
            res.set_content(body, "text/html");
        };
    }
    void Serve(const std::string& path,
               std::function<void(const httplib::Request&, httplib::Response&)> handler) {
        std::lock_guard<std::mutex> lock(mutex_);
        routes_[path] = std::move(handler);
    }

    std::vector<SeenRequest> Requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }
    // Waits (on the server's own signal) until count requests were seen.
    bool WaitForRequests(std::size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return recorded_.wait_for(lock, std::chrono::milliseconds(kServerWaitMs),
                                  [&] { return seen_.size() >= count; });
    }

  private:
    void Record(const httplib::Request& req, std::vector<httplib::MultipartFormData> parts,
                bool complete) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            seen_.push_back({req.method, req.path, req.headers, std::move(parts), complete});
        }
        recorded_.notify_all();
    }

    void Answer(const httplib::Request& req, httplib::Response& res) {
        std::function<void(const httplib::Request&, httplib::Response&)> handler;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto it = routes_.find(req.path);
            if (it != routes_.end()) handler = it->second;
        }
        if (handler) {
            handler(req, res);
        } else {
            res.status = 404;
            res.set_content("<html>Not Found</html>", "text/html");
        }
    }

    httplib::Server server_;
    int port_ = -1;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable recorded_;
    std::condition_variable released_;
    bool release_ = false;
    std::map<std::string, std::function<void(const httplib::Request&, httplib::Response&)>> routes_;
    std::vector<SeenRequest> seen_;
};

// A loopback port nobody listens on: bound, then let go.
inline int ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

struct ShownDialog {
    std::string message;
    std::string caption;
    bool ask = false;
    int kind = -1;
};

class RecordingDialogs final : public WebDialogs {
  public:
    bool ShowDialog(const std::string& message, const std::string& caption, bool ask,
                    int kind) override {
        shown.push_back({message, caption, ask, kind});
        return ask && answerYes;
    }
    bool PickFile(const FilePickOptions& options, std::string* path) override {
        pickOptions.push_back(options);
        if (pickedPath.empty()) return false;
        *path = pickedPath;
        return true;
    }

    bool answerYes = true;
    std::string pickedPath;  // "" cancels the picker
    std::vector<ShownDialog> shown;
    std::vector<FilePickOptions> pickOptions;
};

class RecordingBrowser final : public BrowserLauncher {
  public:
    bool OpenLink(const std::string& link) override {
        opened.push_back(link);
        return succeeds;
    }
    bool succeeds = true;
    std::vector<std::string> opened;
};

class RecordingFeedbackView final : public FeedbackView {
  public:
    void ShowForm() override {
        visible = true;
        ++shows;
    }
    void HideForm() override { visible = false; }
    void CloseForm() override {
        visible = false;
        ++closes;
    }
    bool IsFormVisible() const override { return visible; }
    void FieldsChanged() override { ++fieldsChanged; }
    void Focus(FeedbackControl control) override { focused.push_back(control); }
    void SetSendEnabled(bool enabled) override { sendEnabled.push_back(enabled); }
    void SetBusyCursor(bool busy) override { busyCursor.push_back(busy); }
    void SetProgressVisible(bool shown) override { progressVisible.push_back(shown); }
    void SetProgressMaximum(std::int64_t maximum) override { progressMaximum = maximum; }
    void SetProgressPosition(std::int64_t position) override { positions.push_back(position); }
    void ProcessPendingMessages() override {
        ++pumped;
        if (onPump) onPump();
    }

    bool visible = false;
    int shows = 0;
    int closes = 0;
    int fieldsChanged = 0;
    int pumped = 0;
    std::vector<FeedbackControl> focused;
    std::vector<bool> sendEnabled;
    std::vector<bool> busyCursor;
    std::vector<bool> progressVisible;
    std::int64_t progressMaximum = 0;
    std::vector<std::int64_t> positions;
    std::function<void()> onPump;
};

// A fresh folder under the test temp folder, removed with its contents.
class TempFolder {
  public:
    TempFolder() {
        std::string pattern = ::testing::TempDir() + "quor_web_XXXXXX";
        path_ = ::mkdtemp(pattern.data()) ? pattern : "";
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string Write(const std::string& name, const std::string& content) const {
        const std::string file = path_ + "/" + name;
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }

  private:
    std::string path_;
};

}  // namespace quor::web::test
