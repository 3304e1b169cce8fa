#pragma once
// The newer-version check until the web form joins the window: it asks no
// host and finds nothing, so the start-up check stays quiet.

#include "app/VersionCheck.h"

namespace quor::gui {

class VersionCheckStub final : public app::VersionCheck {
  public:
    std::int32_t CheckForNewerVersion(std::int32_t, const std::string&, bool,
                                      const std::string&) override {
        return 0;
    }
};

}  // namespace quor::gui
