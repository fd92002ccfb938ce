#pragma once

#include <optional>

namespace mavu::updater {

// The updater's own stored settings, apart from the app's.
class UpdaterSettings {
  public:
    virtual ~UpdaterSettings() = default;
    // Nothing when never set.
    virtual std::optional<bool> automaticallyChecksForUpdates() const = 0;
    virtual void setAutomaticallyChecksForUpdates(bool enabled) = 0;
};

}  // namespace mavu::updater
