#include "web/CurlHttpClient.h"

#include <curl/curl.h>

#include <mutex>

namespace quor::web {

namespace {

std::once_flag curlInitOnce;

struct MimeDeleter {
    void operator()(curl_mime* mime) const { curl_mime_free(mime); }
};
struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// What one request's callbacks share.
struct Transfer {
    const HttpProgress* progress = nullptr;
    const std::atomic<bool>* abort = nullptr;
    std::string* body = nullptr;
    bool tooLarge = false;
    std::string statusLine;  // of the last answer, redirects included
    bool begun[2] = {false, false};

    void Begin(HttpDirection d, std::int64_t total) {
        const auto i = static_cast<std::size_t>(d);
        if (begun[i]) return;
        begun[i] = true;
        if (progress && progress->begin) progress->begin(d, total);
    }
    void Work(HttpDirection d, std::int64_t done) {
        if (progress && progress->work) progress->work(d, done);
    }
    void End() {
        for (auto d : {HttpDirection::kUpload, HttpDirection::kDownload}) {
            if (!begun[static_cast<std::size_t>(d)]) continue;
            if (progress && progress->end) progress->end(d);
        }
    }
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t n = size * count;
    if (t->body->size() + n > kMaxResponseBytes) {
        t->tooLarge = true;
        return 0;  // makes curl fail the request
    }
    t->body->append(data, n);
    return n;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t n = size * count;
    std::string line(data, n);
    if (line.rfind("HTTP/", 0) == 0) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        t->statusLine = line;
    }
    return n;
}

int OnProgress(void* user, curl_off_t downTotal, curl_off_t downNow, curl_off_t upTotal,
               curl_off_t upNow) {
    auto* t = static_cast<Transfer*>(user);
    if (upTotal > 0) t->Begin(HttpDirection::kUpload, upTotal);
    if (downTotal > 0) t->Begin(HttpDirection::kDownload, downTotal);
    // Every tick is reported, moved or not, so a window keeps painting.
    if (t->begun[0]) t->Work(HttpDirection::kUpload, upNow);
    if (t->begun[1] || downNow > 0 || !t->begun[0]) t->Work(HttpDirection::kDownload, downNow);
    return t->abort->load() ? 1 : 0;
}

}  // namespace

CurlHttpClient::CurlHttpClient(HttpLimits limits) : limits_(limits) {
    std::call_once(curlInitOnce, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    curl_ = curl_easy_init();
    // The in-memory cookie store, once for the handle's life (each setting
    // would add to the handle's list of cookie files).
    if (curl_) curl_easy_setopt(static_cast<CURL*>(curl_), CURLOPT_COOKIEFILE, "");
}

CurlHttpClient::~CurlHttpClient() {
    if (curl_) curl_easy_cleanup(static_cast<CURL*>(curl_));
}

ResultCode CurlHttpClient::Get(const std::string& url, std::string* body, std::string* error) {
    return Perform(url, nullptr, limits_.getTimeoutMs, body, error);
}

ResultCode CurlHttpClient::PostForm(const std::string& url, const MultipartForm& form,
                                    std::string* body, std::string* error) {
    return Perform(url, &form, limits_.postTimeoutMs, body, error);
}

ResultCode CurlHttpClient::Perform(const std::string& url, const MultipartForm* form,
                                   std::uint32_t timeoutMs, std::string* body, std::string* error) {
    body->clear();
    error->clear();
    abort_.store(false);
    auto* curl = static_cast<CURL*>(curl_);
    if (!curl) {
        *error = "The HTTP library could not be started";
        return rc::kWebConnectionError;
    }

    Transfer t;
    t.progress = progress_;
    t.abort = &abort_;
    t.body = body;
    char curlError[CURL_ERROR_SIZE] = {};

    // Every option a request uses is set again here; the handle keeps
    // the cookies and connections between requests.
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, curlError);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits_.connectTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeoutMs));
    // The stall limit: under one byte a second for the whole span.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>((limits_.stallTimeoutMs + 999) / 1000));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);

    std::unique_ptr<curl_slist, SlistDeleter> headers(
        curl_slist_append(nullptr, (std::string("Accept: ") + kAcceptHeader).c_str()));
    // The form goes in one piece; no "Expect: 100-continue" round trip.
    if (form) headers.reset(curl_slist_append(headers.release(), "Expect:"));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());

    std::unique_ptr<curl_mime, MimeDeleter> mime;
    if (form) {
        mime.reset(curl_mime_init(curl));
        for (const FormPart& part : form->parts) {
            curl_mimepart* p = curl_mime_addpart(mime.get());
            curl_mime_name(p, part.name.c_str());
            curl_mime_data(p, part.content.data(), part.content.size());
            if (part.isFile) {
                curl_mime_filename(p, part.fileName.c_str());
                curl_mime_type(p, part.contentType.c_str());
            }
        }
        curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime.get());
    } else {
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    }

    const CURLcode code = curl_easy_perform(curl);
    t.End();
    // The handle keeps no pointers into this call's buffers and lists.
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, nullptr);

    if (code != CURLE_OK) {
        if (code == CURLE_ABORTED_BY_CALLBACK) {
            *error = "The transfer was aborted";
        } else if (t.tooLarge) {
            *error = "The answer is larger than " + std::to_string(kMaxResponseBytes) + " bytes";
        } else {
            *error = curlError[0] ? curlError : curl_easy_strerror(code);
        }
        body->clear();
        return rc::kWebConnectionError;
    }
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 400) {
        *error = t.statusLine.empty() ? "HTTP error " + std::to_string(status) : t.statusLine;
        body->clear();
        return rc::kWebConnectionError;
    }
    return rc::kOk;
}

}  // namespace quor::web
