#pragma once
// The app's side of the web services: its VersionCheck run by the web
// layer's checker, and its settings store seen as the feedback form's
// remembered values (section "FeedbackForm").

#include "app/SettingsStore.h"
#include "app/VersionCheck.h"
#include "web/FeedbackSettings.h"
#include "web/VersionCheck.h"

namespace quor::app {

// Borrows the checker, which must outlive it.
class WebVersionCheck final : public VersionCheck {
  public:
    explicit WebVersionCheck(web::VersionChecker& checker) : checker_(checker) {}
    std::int32_t CheckForNewerVersion(std::int32_t currentVersion, const std::string& path,
                                      bool quiet, const std::string& productText) override;

  private:
    web::VersionChecker& checker_;
};

// Borrows the store, which must outlive it.
class WebFeedbackSettings final : public web::FeedbackSettings {
  public:
    explicit WebFeedbackSettings(SettingsStore& store) : store_(store) {}
    bool ReadString(const std::string& name, std::string* value) override;
    void WriteString(const std::string& name, const std::string& value) override;

  private:
    SettingsStore& store_;
};

}  // namespace quor::app
