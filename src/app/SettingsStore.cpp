#include "app/SettingsStore.h"

namespace quor::app {

bool MemorySettingsStore::ReadString(const std::string& section, const std::string& name,
                                     std::string* value) {
    auto it = values_.find({section, name});
    if (it == values_.end()) return false;
    const std::string* text = std::get_if<std::string>(&it->second);
    if (!text) return false;
    *value = *text;
    return true;
}

bool MemorySettingsStore::ReadInt(const std::string& section, const std::string& name,
                                  std::int32_t* value) {
    auto it = values_.find({section, name});
    if (it == values_.end()) return false;
    const std::int32_t* number = std::get_if<std::int32_t>(&it->second);
    if (!number) return false;
    *value = *number;
    return true;
}

void MemorySettingsStore::WriteString(const std::string& section, const std::string& name,
                                      const std::string& value) {
    values_[{section, name}] = value;
}

void MemorySettingsStore::WriteInt(const std::string& section, const std::string& name,
                                   std::int32_t value) {
    values_[{section, name}] = value;
}

}  // namespace quor::app
