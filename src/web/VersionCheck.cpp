#include "web/VersionCheck.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

#include "web/WebConfig.h"

namespace quor::web {

namespace {

// Blanks, line ends and every other control character count as white space.
bool IsWhite(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string TrimRight(std::string s) {
    while (!s.empty() && IsWhite(s.back())) s.pop_back();
    return s;
}

std::string Trim(std::string s) {
    s = TrimRight(std::move(s));
    std::size_t i = 0;
    while (i < s.size() && IsWhite(s[i])) ++i;
    return s.substr(i);
}

}  // namespace

bool ReadVersionNumber(const std::string& text, std::int32_t* version) {
    const std::string t = Trim(text);
    const char* first = t.data();
    const char* last = t.data() + t.size();
    std::int32_t whole = 0;
    const auto [wholeEnd, wholeError] = std::from_chars(first, last, whole);
    if (wholeError != std::errc() || wholeEnd != last) whole = 0;
    if (whole >= 10) {
        *version = whole;
        return true;
    }
    double x = 0;
    const auto [end, error] = std::from_chars(first, last, x);
    if (t.empty() || error != std::errc() || end != last || !std::isfinite(x) || x < 0) {
        return false;
    }
    if (x < 100) x *= 100;
    x = std::round(x);
    if (x > static_cast<double>(std::numeric_limits<std::int32_t>::max())) return false;
    *version = static_cast<std::int32_t>(x);
    return true;
}

ResultCode ReadVersionFile(const std::string& body, VersionFile* file) {
    const std::size_t p = body.find("http");
    if (p == std::string::npos) return rc::kVersionFileUnreadable;
    VersionFile read;
    read.link = TrimRight(body.substr(p, kMaxLinkChars));
    // The text before "http" less its one separator character.
    if (!ReadVersionNumber(body.substr(0, p == 0 ? 0 : p - 1), &read.version)) {
        return rc::kVersionFileUnreadable;
    }
    read.directDownload = read.link.find(".exe") != std::string::npos;
    *file = std::move(read);
    return rc::kOk;
}

bool IsWebLink(const std::string& link) {
    std::string start = link.substr(0, 8);
    for (char& c : start) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return start.rfind("http://", 0) == 0 || start.rfind("https://", 0) == 0;
}

std::string VersionConnectionErrorText(const std::string& errorText) {
    std::string text =
        "Error connecting to Karvell's version check service.\n"
        "This feature requires your computer to be connected \n"
        "to the internet.\n"
        "\n\nPlease make a connection to the internet and try again.";
    if (!errorText.empty()) text += "\n\nError: " + errorText;
    return text;
}

std::string VersionParseErrorText() {
    return "Error parsing the version information returned by \n"
           "Karvell's version check service.\n"
           "[error " +
           std::to_string(rc::kVersionFileUnreadable) +
           "]"
           "\n\nPlease try again or contact Karvell for help.";
}

std::string NewerDownloadText(const std::string& productText) {
    return "There is newer version of " + productText + " available for download." +
           "\n\nWould you like to download this new version with your web browser now?";
}

std::string NewerPageText(const std::string& productText, const std::string& link) {
    return "There is information about a newer version of " + productText + "\navailable at " +
           link + "\n\nWould you like to visit this page with your web browser now?";
}

std::string LatestVersionText(const std::string& productText) {
    return "You are using the latest version of " + productText + ".";
}

std::string RunningNewerText(const std::string& productText) {
    return "You are running a newer version of " + productText +
           "\nthan is available from Karvell's web site.";
}

std::string BrowserLaunchErrorText(const std::string& productText, const std::string& link) {
    return productText + " had trouble launching your web browser.\n" +
           "Please try manually going to:\n" + link;
}

VersionChecker::VersionChecker(HttpClient& http, WebDialogs& dialogs, BrowserLauncher& browser,
                               std::string softwareHost, QuorLog* log)
    : http_(http),
      dialogs_(dialogs),
      browser_(browser),
      softwareHost_(std::move(softwareHost)),
      log_(log) {}

std::int32_t VersionChecker::CheckForNewerVersion(std::int32_t currentVersion,
                                                  const std::string& path, bool quiet,
                                                  const std::string& productText) {
    lastOutcome_ = rc::kMissingArgument;
    lastError_.clear();
    if (path.empty() || currentVersion <= 0) return 0;

    const std::string url = HostUrl(softwareHost_, path);
    std::string body;
    VersionFile file;
    HttpProgress progress;
    if (pump_) progress.work = [this](HttpDirection, std::int64_t) { pump_(); };
    http_.SetProgress(pump_ ? &progress : nullptr);
    ResultCode outcome = http_.Get(url, &body, &lastError_);
    http_.SetProgress(nullptr);
    if (outcome == rc::kOk) {
        outcome = ReadVersionFile(body, &file);
    } else {
        outcome = rc::kWebConnectionError;
    }
    lastOutcome_ = outcome;

    if (outcome != rc::kOk) {
        if (log_) {
            log_->WriteLine(QuorLog::kLevelFailure, kWebLogTag,
                            "CheckForNewerVersion failed for %s (error %d)%s%s", url.c_str(),
                            outcome, lastError_.empty() ? "" : ": ", lastError_.c_str());
        }
        if (!quiet) {
            const std::string text = outcome == rc::kWebConnectionError
                                         ? VersionConnectionErrorText(lastError_)
                                         : VersionParseErrorText();
            dialogs_.ShowDialog(text, kVersionCheckErrorCaption, false, kDialogError);
        }
        return 0;
    }

    if (log_) {
        log_->WriteLine(QuorLog::kLevelMilestone, kWebLogTag,
                        "CheckForNewerVersion found version %d at %s (this program: %d)",
                        file.version, url.c_str(), currentVersion);
    }
    if (file.version > currentVersion) {
        const std::string text = file.directDownload ? NewerDownloadText(productText)
                                                     : NewerPageText(productText, file.link);
        if (dialogs_.ShowDialog(text, kNewVersionCaption, true, kDialogInformation) &&
            (!IsWebLink(file.link) || !browser_.OpenLink(file.link))) {
            if (log_) {
                log_->WriteLine(QuorLog::kLevelFailure, kWebLogTag,
                                "CheckForNewerVersion could not start a browser for %s",
                                file.link.c_str());
            }
            dialogs_.ShowDialog(BrowserLaunchErrorText(productText, file.link),
                                kBrowserLaunchErrorCaption, false, kDialogWarning);
        }
    } else if (!quiet) {
        const std::string text = file.version == currentVersion ? LatestVersionText(productText)
                                                                : RunningNewerText(productText);
        dialogs_.ShowDialog(text, kVersionFinderCaption, false, kDialogInformation);
    }
    return file.version;
}

}  // namespace quor::web
