#include "qt/QtSettingsStore.h"

#include <charconv>

namespace quor::frontend {

QtSettingsStore::QtSettingsStore()
    : settings_(QSettings::NativeFormat, QSettings::UserScope, kOrganisationName,
                kApplicationName) {}

QtSettingsStore::QtSettingsStore(const QString& file) : settings_(file, QSettings::IniFormat) {}

QString QtSettingsStore::Key(const std::string& section, const std::string& name) {
    const QString n = QString::fromStdString(name);
    if (section == app::kSettingsSection) return n;
    return QString::fromStdString(section) + '/' + n;
}

bool QtSettingsStore::ReadString(const std::string& section, const std::string& name,
                                 std::string* value) {
    const QVariant v = settings_.value(Key(section, name));
    if (!v.isValid()) return false;
    *value = v.toString().toStdString();
    return true;
}

// An INI file keeps no types, so a number is any value that reads whole as
// a 32-bit decimal integer.
bool QtSettingsStore::ReadInt(const std::string& section, const std::string& name,
                              std::int32_t* value) {
    const QVariant v = settings_.value(Key(section, name));
    if (!v.isValid()) return false;
    const std::string text = v.toString().toStdString();
    std::int32_t n = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, n);
    if (text.empty() || ec != std::errc() || ptr != end) return false;
    *value = n;
    return true;
}

void QtSettingsStore::WriteString(const std::string& section, const std::string& name,
                                  const std::string& value) {
    settings_.setValue(Key(section, name), QString::fromStdString(value));
}

void QtSettingsStore::WriteInt(const std::string& section, const std::string& name,
                               std::int32_t value) {
    settings_.setValue(Key(section, name), value);
}

}  // namespace quor::frontend
