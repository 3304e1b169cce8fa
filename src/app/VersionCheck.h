#pragma once
// The newer-version check the main window hands its product to. The web
// form runs it: it asks the maker's host for the version file at path and
// tells the user when that names a version above currentVersion.

#include <cstdint>
#include <string>

namespace quor::app {

class VersionCheck {
  public:
    virtual ~VersionCheck() = default;
    // quiet: the start-up check, which says nothing when no newer version is
    // found or the host cannot be reached. Returns the version found, or 0
    // when the check did not run or failed.
    virtual std::int32_t CheckForNewerVersion(std::int32_t currentVersion, const std::string& path,
                                              bool quiet, const std::string& productText) = 0;
};

}  // namespace quor::app
