#pragma once
// The newer-version check: fetch the version file of a product from the
// maker's software host, compare the version it names with the one this
// program installs, and offer the link in the browser when it is newer.
//
// A version file's body is the version ("3.65" or "365"), one separator
// character (a line break), then the link: everything from the first
// "http" to the end. A link containing ".exe" is a direct download, any
// other a page about the new version.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "common/ResultCode.h"
#include "log/QuorLog.h"
#include "web/BrowserLauncher.h"
#include "web/HttpClient.h"
#include "web/WebConfig.h"
#include "web/WebDialogs.h"

namespace quor::web {

inline constexpr std::size_t kMaxLinkChars = 999;

struct VersionFile {
    std::int32_t version = 0;
    std::string link;
    bool directDownload = false;
};

// The version text as major*100 + minor*10 + sub: an integer from 10 up is
// taken as it stands, anything below as a decimal (scaled by 100 below 100
// and rounded), so "3.65" and "365" both read 365 and "3" reads 300. False
// for a text that is no number, negative, not finite or past int32.
bool ReadVersionNumber(const std::string& text, std::int32_t* version);

// Reads a version file's body: rc::kOk, or rc::kVersionFileUnreadable
// when it has no "http" or its version is unreadable.
ResultCode ReadVersionFile(const std::string& body, VersionFile* file);

// True for an http:// or https:// address (case ignored): the only links
// the check hands to a browser, since the file comes from the network.
bool IsWebLink(const std::string& link);

// The check's messages.
std::string VersionConnectionErrorText(const std::string& errorText);
std::string VersionParseErrorText();
std::string NewerDownloadText(const std::string& productText);
std::string NewerPageText(const std::string& productText, const std::string& link);
std::string LatestVersionText(const std::string& productText);
std::string RunningNewerText(const std::string& productText);
std::string BrowserLaunchErrorText(const std::string& productText, const std::string& link);

inline constexpr const char* kVersionCheckErrorCaption = "Version Check Error";
inline constexpr const char* kNewVersionCaption = "New Version Available";
inline constexpr const char* kVersionFinderCaption = "Version Finder";
inline constexpr const char* kBrowserLaunchErrorCaption = "Web Browser Launch Error";

// Borrows everything it is given; they must outlive it. Keeps no state
// between checks.
class VersionChecker {
  public:
    VersionChecker(HttpClient& http, WebDialogs& dialogs, BrowserLauncher& browser,
                   std::string softwareHost, QuorLog* log = nullptr);

    // quiet: the start-up check, which speaks only of a newer version (and
    // of a browser that failed to start after the user said Yes). Returns
    // the version found, or 0 when the check did not run or failed.
    std::int32_t CheckForNewerVersion(std::int32_t currentVersion, const std::string& path,
                                      bool quiet, const std::string& productText);

    // What the last check ended with: rc::kOk, rc::kWebConnectionError or
    // rc::kVersionFileUnreadable (rc::kMissingArgument when it did not run),
    // and the failure's text. For front ends that report in their own way.
    ResultCode LastOutcome() const { return lastOutcome_; }
    // The app's log exists only once its window has shown; null for none.
    void SetLog(QuorLog* log) { log_ = log; }
    // Called on every progress tick of the request, so a window can run
    // its pending messages while the check waits; empty for none.
    void SetPump(std::function<void()> pump) { pump_ = std::move(pump); }
    const std::string& LastError() const { return lastError_; }

  private:
    HttpClient& http_;
    WebDialogs& dialogs_;
    BrowserLauncher& browser_;
    std::string softwareHost_;
    QuorLog* log_;
    std::function<void()> pump_;
    ResultCode lastOutcome_ = rc::kMissingArgument;
    std::string lastError_;
};

}  // namespace quor::web
