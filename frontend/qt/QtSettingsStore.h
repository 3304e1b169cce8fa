#pragma once
// The user settings in QSettings, organisation "Karvell Devices, Inc" and
// application "QuorBSL": the main section is the application's top level,
// every other section (the feedback form's) a group of its own. Both front
// ends use it, so a port chosen in one is the default in the other.
//
// Ownership: the QSettings object is owned here; values are written through
// to its file when this object is destroyed or Sync() is called.

#include <QSettings>

#include "app/SettingsStore.h"

namespace quor::frontend {

inline constexpr const char* kOrganisationName = "Karvell Devices, Inc";
inline constexpr const char* kApplicationName = "QuorBSL";

class QtSettingsStore final : public app::SettingsStore {
  public:
    QtSettingsStore();
    // A store in file (INI format), for tests and private setups.
    explicit QtSettingsStore(const QString& file);

    bool ReadString(const std::string& section, const std::string& name,
                    std::string* value) override;
    bool ReadInt(const std::string& section, const std::string& name,
                 std::int32_t* value) override;
    void WriteString(const std::string& section, const std::string& name,
                     const std::string& value) override;
    void WriteInt(const std::string& section, const std::string& name,
                  std::int32_t value) override;

    void Sync() { settings_.sync(); }
    QString FileName() const { return settings_.fileName(); }

  private:
    static QString Key(const std::string& section, const std::string& name);
    QSettings settings_;
};

}  // namespace quor::frontend
