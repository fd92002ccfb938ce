#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace mavu::services {

// The command that shows the desktop's startup-applications settings: the first settings
// tool found on searchPath, those of currentDesktop (XDG_CURRENT_DESKTOP, colon-separated)
// before the others; else xdg-open on autostartFolder. Empty when none is installed.
// argv[0] is an absolute path.
std::vector<std::string> loginItemsCommand(const std::string& searchPath,
                                           const std::string& currentDesktop,
                                           const std::filesystem::path& autostartFolder);

// Starts that command for this session's PATH and desktop without waiting for it.
void openLoginItemsSettings(const std::filesystem::path& autostartFolder);

}  // namespace mavu::services
