#pragma once
// Where the web services go: the maker's software host (version files and
// the feedback script), its web host (named in messages) and the support
// address (the feedback's default recipient). They are build values
// (CMake cache QUOR_SOFTWARE_HOST, QUOR_WEB_HOST, QUOR_SUPPORT_EMAIL); the
// environment variables of the same names override the two hosts, so
// tests and test benches can point a build at a local server.

#include <string>

namespace quor::web {

// The source tag of the web services' log lines.
inline constexpr const char* kWebLogTag = "QuorBSL frmWeb";

inline constexpr const char* kSoftwareHostVariable = "QUOR_SOFTWARE_HOST";
inline constexpr const char* kWebHostVariable = "QUOR_WEB_HOST";

struct WebConfig {
    std::string softwareHost;  // "host", "host:port" or "scheme://host[:port]"
    std::string webHost;
    std::string supportEmail;
};

// The values the program was built with.
WebConfig BuiltWebConfig();
// config with non-empty override texts in place of its hosts (null: none).
WebConfig WithHostOverrides(WebConfig config, const char* softwareHost, const char* webHost);
// The built values with this process's environment overrides.
WebConfig CurrentWebConfig();

// The address of path on host: "http://" unless host names its scheme,
// and a '/' between them unless path begins with one.
std::string HostUrl(const std::string& host, const std::string& path);

}  // namespace quor::web
