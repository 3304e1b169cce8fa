#pragma once
// The per-user settings, by section and value name: the counterpart of the
// registry keys the program has always used ("Software\Karvell Devices,
// Inc\QuorBSL" and "...\FeedbackForm"). Booleans are kept as numbers, 1
// for true and 0 for false, so either reader sees the same value.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <variant>

namespace quor::app {

inline constexpr const char* kSettingsSection = "QuorBSL";
inline constexpr const char* kFeedbackSection = "FeedbackForm";

inline constexpr const char* kValueFindAllComms = "FindAllComms";
inline constexpr const char* kValueVerboseLog = "VerboseLog";
inline constexpr const char* kValueCommPort = "CommPort";

class SettingsStore {
  public:
    virtual ~SettingsStore() = default;

    // Each read returns false, leaving *value alone, when the value is
    // missing or of the other kind.
    virtual bool ReadString(const std::string& section, const std::string& name,
                            std::string* value) = 0;
    virtual bool ReadInt(const std::string& section, const std::string& name,
                         std::int32_t* value) = 0;
    virtual void WriteString(const std::string& section, const std::string& name,
                             const std::string& value) = 0;
    virtual void WriteInt(const std::string& section, const std::string& name,
                          std::int32_t value) = 0;

    bool ReadBool(const std::string& section, const std::string& name, bool* value) {
        std::int32_t n = 0;
        if (!ReadInt(section, name, &n)) return false;
        *value = n != 0;
        return true;
    }
    void WriteBool(const std::string& section, const std::string& name, bool value) {
        WriteInt(section, name, value ? 1 : 0);
    }
};

// Values held in memory for the life of the object (tests, and front ends
// that keep nothing between runs).
class MemorySettingsStore final : public SettingsStore {
  public:
    using Value = std::variant<std::string, std::int32_t>;

    bool ReadString(const std::string& section, const std::string& name,
                    std::string* value) override;
    bool ReadInt(const std::string& section, const std::string& name, std::int32_t* value) override;
    void WriteString(const std::string& section, const std::string& name,
                     const std::string& value) override;
    void WriteInt(const std::string& section, const std::string& name, std::int32_t value) override;

    bool Has(const std::string& section, const std::string& name) const {
        return values_.count({section, name}) != 0;
    }
    void Clear() { values_.clear(); }
    const std::map<std::pair<std::string, std::string>, Value>& Values() const { return values_; }

  private:
    std::map<std::pair<std::string, std::string>, Value> values_;
};

}  // namespace quor::app
