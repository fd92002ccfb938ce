#pragma once

#include <string>

#include "platform/updater/UpdaterSettings.h"

namespace mavu::updater {

// The updater's own group in the user's settings file
// (~/.config/<organization>/<application>.conf), beside the app's keys but apart from them.
class QtUpdaterSettings final : public UpdaterSettings {
  public:
    static constexpr char kGroup[] = "Updater";
    static constexpr char kAutomaticChecksKey[] = "automaticallyChecksForUpdates";

    explicit QtUpdaterSettings(std::string organization = "norvel",
                               std::string application = "MAVU");

    std::optional<bool> automaticallyChecksForUpdates() const override;
    void setAutomaticallyChecksForUpdates(bool enabled) override;

  private:
    const std::string organization_;
    const std::string application_;
};

}  // namespace mavu::updater
