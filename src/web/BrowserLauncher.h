#pragma once
// Opens a web link in the user's browser: the window uses its toolkit's
// desktop services, the command line xdg-open (XdgOpenLauncher).

#include <string>

namespace quor::web {

class BrowserLauncher {
  public:
    virtual ~BrowserLauncher() = default;
    // False when the browser could not be started.
    virtual bool OpenLink(const std::string& link) = 0;
};

}  // namespace quor::web
