#pragma once
// HttpClient on libcurl. The client owns one easy handle for its life, so
// cookies and open connections carry from one request to the next.

#include <atomic>
#include <memory>

#include "web/HttpClient.h"

namespace quor::web {

class CurlHttpClient final : public HttpClient {
  public:
    explicit CurlHttpClient(HttpLimits limits = {});
    ~CurlHttpClient() override;
    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    ResultCode Get(const std::string& url, std::string* body, std::string* error) override;
    ResultCode PostForm(const std::string& url, const MultipartForm& form, std::string* body,
                        std::string* error) override;
    void Abort() override { abort_.store(true); }
    void SetProgress(const HttpProgress* progress) override { progress_ = progress; }

    const HttpLimits& Limits() const { return limits_; }

  private:
    ResultCode Perform(const std::string& url, const MultipartForm* form, std::uint32_t timeoutMs,
                       std::string* body, std::string* error);

    HttpLimits limits_;
    void* curl_ = nullptr;  // CURL*, owned
    const HttpProgress* progress_ = nullptr;
    std::atomic<bool> abort_{false};
};

}  // namespace quor::web
