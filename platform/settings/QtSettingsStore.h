#pragma once

#include <filesystem>
#include <string>

#include "platform/settings/SettingsStore.h"

namespace mavu::settings {

// The settings as an INI file, through QSettings. The app's file is the one the updater
// keeps its own group in (~/.config/norvel/MAVU.conf), so removing the domain removes both,
// as it does for the original's user defaults. Each call opens the file afresh: another
// writer (the updater) may have changed it since.
class QtSettingsStore final : public SettingsStore {
  public:
    explicit QtSettingsStore(std::filesystem::path file);

    // Where QSettings keeps organization/application for this user ($XDG_CONFIG_HOME or
    // ~/.config).
    static std::filesystem::path userFile(const std::string& organization = "norvel",
                                          const std::string& application = "MAVU");

    const std::filesystem::path& file() const { return file_; }

    bool contains(const std::string& key) const override;
    std::optional<std::string> string(const std::string& key) const override;
    std::optional<std::int64_t> integer(const std::string& key) const override;
    void setString(const std::string& key, const std::string& value) override;
    void setInteger(const std::string& key, std::int64_t value) override;
    void removeDomain() override;

  private:
    const std::filesystem::path file_;
};

}  // namespace mavu::settings
