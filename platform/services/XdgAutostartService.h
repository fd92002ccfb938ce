#pragma once

#include <filesystem>
#include <string>

#include "platform/dispatch/Queue.h"
#include "platform/services/ServiceManagement.h"

namespace mavu::services {

// $XDG_CONFIG_HOME/autostart, or ~/.config/autostart when that variable is unset or not an
// absolute path, as the XDG base directory rules say.
std::filesystem::path autostartDirectory();

// The app's login item as an XDG autostart entry, mavu.desktop in the autostart folder.
// Present and not hidden reads 1, anything else 0. Desktops never ask for approval, so 2
// is never reported.
class XdgAutostartService final : public AppService {
  public:
    // executable is the program the entry starts at login.
    XdgAutostartService(std::filesystem::path directory, std::string executable,
                        dispatch::MainQueue& mainQueue);

    const std::filesystem::path& entryPath() const { return entry_; }

    int status() override;
    // Writes the entry in one step (temporary file, then rename), so a session starting
    // meanwhile never reads half of it.
    std::optional<ServiceError> registerService() override;
    // Removing an entry that is not there is an error, as the caller asked for something
    // that did not happen.
    std::optional<ServiceError> unregisterService() override;
    void unregisterService(std::function<void(std::optional<ServiceError>)> completion) override;

  private:
    std::filesystem::path directory_;
    std::filesystem::path entry_;
    std::string executable_;
    dispatch::MainQueue& mainQueue_;
};

// The Exec= value that runs program with no arguments, quoted and escaped by the desktop
// entry format's rules.
std::string desktopExecValue(const std::string& program);

}  // namespace mavu::services
