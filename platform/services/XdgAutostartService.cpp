#include "platform/services/XdgAutostartService.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string_view>
#include <system_error>
#include <vector>

namespace mavu::services {

namespace {

constexpr char kEntryName[] = "mavu.desktop";

ServiceError posixError(const std::string& what, int error) {
    return {kPosixErrorDomain, what + ": " + std::generic_category().message(error)};
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Whether the entry's main group tells the session not to start it.
bool isHidden(std::istream& entry) {
    bool inMainGroup = false;
    bool hidden = false;
    std::string raw;
    while (std::getline(entry, raw)) {
        const std::string_view line = trimmed(raw);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const auto equals = line.find('=');
        if (!inMainGroup || equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = trimmed(line.substr(0, equals));
        const std::string_view value = trimmed(line.substr(equals + 1));
        // GNOME's own switch is honoured by the session that shows it.
        if ((key == "Hidden" && value == "true") ||
            (key == "X-GNOME-Autostart-enabled" && value == "false")) {
            hidden = true;
        }
    }
    return hidden;
}

std::string entryText(const std::string& executable) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=MAVU\n"
           "Comment=Keeps the laptop running with its lid closed\n"
           "Exec=" +
           desktopExecValue(executable) +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::filesystem::path autostartDirectory() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && configHome[0] == '/') {
        return std::filesystem::path(configHome) / "autostart";
    }
    std::filesystem::path home;
    if (const char* env = std::getenv("HOME"); env != nullptr && env[0] != '\0') {
        home = env;
    } else if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr) {
        home = entry->pw_dir;
    }
    return home / ".config" / "autostart";
}

std::string desktopExecValue(const std::string& program) {
    constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
    constexpr std::string_view escapedInQuotes = "\"`$\\";
    std::string argument;
    if (program.empty() || program.find_first_of(reserved) != std::string::npos) {
        argument += '"';
        for (char c : program) {
            if (escapedInQuotes.find(c) != std::string_view::npos) {
                argument += '\\';
            }
            argument += c;
        }
        argument += '"';
    } else {
        argument = program;
    }
    // Then the field-code rule, then the escapes every string value goes through.
    std::string value;
    for (char c : argument) {
        switch (c) {
            case '%':
                value += "%%";
                break;
            case '\\':
                value += "\\\\";
                break;
            case '\n':
                value += "\\n";
                break;
            case '\t':
                value += "\\t";
                break;
            case '\r':
                value += "\\r";
                break;
            default:
                value += c;
        }
    }
    return value;
}

XdgAutostartService::XdgAutostartService(std::filesystem::path directory, std::string executable,
                                         dispatch::MainQueue& mainQueue)
    : directory_(std::move(directory)),
      entry_(directory_ / kEntryName),
      executable_(std::move(executable)),
      mainQueue_(mainQueue) {}

int XdgAutostartService::status() {
    // An entry the session cannot read is one it will not start either.
    std::ifstream entry(entry_);
    if (!entry) {
        return kStatusNotRegistered;
    }
    return isHidden(entry) ? kStatusNotRegistered : kStatusEnabled;
}

std::optional<ServiceError> XdgAutostartService::registerService() {
    std::error_code created;
    std::filesystem::create_directories(directory_, created);
    if (created) {
        return posixError("Could not create " + directory_.string(), created.value());
    }
    std::string pattern = (directory_ / (std::string(kEntryName) + ".XXXXXX")).string();
    std::vector<char> temporary(pattern.begin(), pattern.end());
    temporary.push_back('\0');
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return posixError("Could not write " + entry_.string(), errno);
    }
    const bool written =
        writeAll(fd, entryText(executable_)) && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.data(), entry_.c_str()) != 0) {
        const int error = !written ? writeError : errno;
        ::unlink(temporary.data());
        return posixError("Could not write " + entry_.string(), error);
    }
    return std::nullopt;
}

std::optional<ServiceError> XdgAutostartService::unregisterService() {
    if (::unlink(entry_.c_str()) == 0) {
        return std::nullopt;
    }
    if (errno == ENOENT) {
        return ServiceError{kServiceErrorDomain, "MAVU is not registered as a login item."};
    }
    return posixError("Could not remove " + entry_.string(), errno);
}

void XdgAutostartService::unregisterService(
    std::function<void(std::optional<ServiceError>)> completion) {
    auto result = unregisterService();
    mainQueue_.async(
        [completion = std::move(completion), result = std::move(result)] { completion(result); });
}

}  // namespace mavu::services
