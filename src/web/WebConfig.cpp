#include "web/WebConfig.h"

#include <cstdlib>

namespace quor::web {

WebConfig BuiltWebConfig() {
    return {QUOR_SOFTWARE_HOST, QUOR_WEB_HOST, QUOR_SUPPORT_EMAIL};
}

WebConfig WithHostOverrides(WebConfig config, const char* softwareHost, const char* webHost) {
    if (softwareHost && *softwareHost) config.softwareHost = softwareHost;
    if (webHost && *webHost) config.webHost = webHost;
    return config;
}

WebConfig CurrentWebConfig() {
    return WithHostOverrides(BuiltWebConfig(), std::getenv(kSoftwareHostVariable),
                             std::getenv(kWebHostVariable));
}

std::string HostUrl(const std::string& host, const std::string& path) {
    std::string url = host.find("://") == std::string::npos ? "http://" + host : host;
    while (!url.empty() && url.back() == '/') url.pop_back();
    if (path.empty() || path.front() != '/') url += '/';
    return url + path;
}

}  // namespace quor::web
