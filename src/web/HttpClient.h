#pragma once
// The web services' one way to the network: a blocking HTTP client with a
// GET and a multipart form POST. Redirects are followed and cookies kept
// for the client's life. A failed request (no connection, a time limit
// passed, an HTTP error status, an abort) returns rc::kWebConnectionError
// with a text saying what went wrong.
//
// Threads: a request runs on the caller's thread and calls the progress
// callbacks there. Abort() may be called from those callbacks or from any
// other thread.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/ResultCode.h"

namespace quor::web {

// Without a connection after this long a host counts as unreachable.
inline constexpr std::uint32_t kConnectTimeoutMs = 10000;
// A version file or the connectivity test: small answers, so a host that
// accepts but never answers fails after this long.
inline constexpr std::uint32_t kGetTimeoutMs = 20000;
// The feedback post carries up to 8 MiB and more on slow links; it is
// limited as a whole and, tighter, by how long it may stand still.
inline constexpr std::uint32_t kPostTimeoutMs = 600000;
inline constexpr std::uint32_t kStallTimeoutMs = 30000;
inline constexpr long kMaxRedirects = 10;
// Answers larger than this are refused rather than held in memory.
inline constexpr std::size_t kMaxResponseBytes = 4 * 1024 * 1024;

inline constexpr const char* kAcceptHeader = "text/html, */*";
inline constexpr const char* kUserAgent = "Mozilla/3.0 (compatible; Indy Library)";

struct HttpLimits {
    std::uint32_t connectTimeoutMs = kConnectTimeoutMs;
    std::uint32_t getTimeoutMs = kGetTimeoutMs;
    std::uint32_t postTimeoutMs = kPostTimeoutMs;
    // No bytes moved in either direction for this long ends a request.
    std::uint32_t stallTimeoutMs = kStallTimeoutMs;
};

// One part of a multipart form: a text field, or a file with its name and
// content type. Contents are held in memory.
struct FormPart {
    std::string name;
    std::string content;
    bool isFile = false;
    std::string fileName;
    std::string contentType;
};

struct MultipartForm {
    std::vector<FormPart> parts;

    void AddField(std::string name, std::string value) {
        parts.push_back({std::move(name), std::move(value), false, {}, {}});
    }
    void AddFile(std::string name, std::string content, std::string fileName,
                 std::string contentType) {
        parts.push_back({std::move(name), std::move(content), true, std::move(fileName),
                         std::move(contentType)});
    }
};

enum class HttpDirection : std::uint8_t { kUpload, kDownload };

// The component's work events. Begin comes once a direction's total is
// known, Work whenever the client has news (also while nothing moves, so a
// window can dispatch its messages), End when the request ends after a
// Begin. Any member may be empty.
struct HttpProgress {
    std::function<void(HttpDirection, std::int64_t total)> begin;
    std::function<void(HttpDirection, std::int64_t done)> work;
    std::function<void(HttpDirection)> end;
};

class HttpClient {
  public:
    virtual ~HttpClient() = default;

    // url: a whole address ("http://host:port/path"). *body gets the
    // answer's body; *error the failure's text ("" on success).
    virtual ResultCode Get(const std::string& url, std::string* body, std::string* error) = 0;
    virtual ResultCode PostForm(const std::string& url, const MultipartForm& form,
                                std::string* body, std::string* error) = 0;
    // Makes the running request (if any) fail soon with an "aborted" text.
    virtual void Abort() = 0;
    // Borrowed; null for none. Used by the following requests.
    virtual void SetProgress(const HttpProgress* progress) = 0;
};

}  // namespace quor::web
