#include "platform/services/LoginItemsSettings.h"

#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <system_error>

#include "platform/log/Log.h"
#include "platform/services/DetachedLaunch.h"

namespace mavu::services {

namespace {

struct SettingsTool {
    const char* desktop;  // as XDG_CURRENT_DESKTOP names it
    std::vector<std::string> argv;
};

// Every tool edits the same autostart folder, so another desktop's tool still does the job.
const std::vector<SettingsTool>& settingsTools() {
    static const std::vector<SettingsTool> tools = {
        {"GNOME", {"gnome-session-properties"}},      {"GNOME", {"gnome-tweaks"}},
        {"KDE", {"systemsettings", "kcm_autostart"}}, {"KDE", {"kcmshell6", "kcm_autostart"}},
        {"KDE", {"kcmshell5", "kcm_autostart"}},      {"XFCE", {"xfce4-session-settings"}},
        {"MATE", {"mate-session-properties"}},        {"LXQt", {"lxqt-config-session"}},
    };
    return tools;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);) {
        parts.push_back(part);
    }
    return parts;
}

std::optional<std::string> findProgram(const std::string& name, const std::string& searchPath) {
    for (const auto& folder : split(searchPath, ':')) {
        if (folder.empty() || folder.front() != '/') {
            continue;
        }
        const auto candidate = std::filesystem::path(folder) / name;
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> installed(const SettingsTool& tool,
                                                  const std::string& searchPath) {
    auto program = findProgram(tool.argv.front(), searchPath);
    if (!program) {
        return std::nullopt;
    }
    auto argv = tool.argv;
    argv.front() = *program;
    return argv;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

std::vector<std::string> loginItemsCommand(const std::string& searchPath,
                                           const std::string& currentDesktop,
                                           const std::filesystem::path& autostartFolder) {
    const auto desktops = split(currentDesktop, ':');
    for (const auto& desktop : desktops) {
        for (const auto& tool : settingsTools()) {
            if (desktop == tool.desktop) {
                if (auto argv = installed(tool, searchPath)) {
                    return *argv;
                }
            }
        }
    }
    for (const auto& tool : settingsTools()) {
        if (auto argv = installed(tool, searchPath)) {
            return *argv;
        }
    }
    if (auto opener = findProgram("xdg-open", searchPath)) {
        return {*opener, autostartFolder.string()};
    }
    return {};
}

void openLoginItemsSettings(const std::filesystem::path& autostartFolder) {
    // The folder may not exist before the first login item; a file manager needs it.
    std::error_code ignored;
    std::filesystem::create_directories(autostartFolder, ignored);
    const auto argv =
        loginItemsCommand(environment("PATH"), environment("XDG_CURRENT_DESKTOP"), autostartFolder);
    if (argv.empty() || !launchDetached(argv)) {
        log::line("MAVU: found no program to show the login items");
    }
}

}  // namespace mavu::services
