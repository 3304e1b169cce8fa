#include "app/WebVersionCheck.h"

namespace quor::app {

std::int32_t WebVersionCheck::CheckForNewerVersion(std::int32_t currentVersion,
                                                   const std::string& path, bool quiet,
                                                   const std::string& productText) {
    return checker_.CheckForNewerVersion(currentVersion, path, quiet, productText);
}

bool WebFeedbackSettings::ReadString(const std::string& name, std::string* value) {
    return store_.ReadString(kFeedbackSection, name, value);
}

void WebFeedbackSettings::WriteString(const std::string& name, const std::string& value) {
    store_.WriteString(kFeedbackSection, name, value);
}

}  // namespace quor::app
