#pragma once
// The feedback form's remembered values (the per-user section
// "FeedbackForm"): "Name", "Company", "Phone", "Email" and "EmailTo".

#include <map>
#include <string>

namespace quor::web {

inline constexpr const char* kFeedbackValueName = "Name";
inline constexpr const char* kFeedbackValueCompany = "Company";
inline constexpr const char* kFeedbackValuePhone = "Phone";
inline constexpr const char* kFeedbackValueEmail = "Email";
inline constexpr const char* kFeedbackValueEmailTo = "EmailTo";

class FeedbackSettings {
  public:
    virtual ~FeedbackSettings() = default;
    // False, leaving *value alone, when the value is missing.
    virtual bool ReadString(const std::string& name, std::string* value) = 0;
    virtual void WriteString(const std::string& name, const std::string& value) = 0;
};

// Values held in memory (tests, and front ends that keep nothing).
class MemoryFeedbackSettings final : public FeedbackSettings {
  public:
    bool ReadString(const std::string& name, std::string* value) override {
        const auto it = values.find(name);
        if (it == values.end()) return false;
        *value = it->second;
        return true;
    }
    void WriteString(const std::string& name, const std::string& value) override {
        values[name] = value;
    }

    std::map<std::string, std::string> values;
};

}  // namespace quor::web
