#include "platform/hardware/SysfsValue.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>

namespace mavu::hardware {

namespace {

// Attribute files are a line or two; anything longer is not one of them.
constexpr std::size_t kMaxFileBytes = 4096;

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

}  // namespace

std::optional<std::string> readSysfsText(const std::filesystem::path& file) {
    // Non-blocking, so a stray FIFO in a tree cannot hang the caller.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string text(kMaxFileBytes, '\0');
    std::size_t used = 0;
    bool failed = false;
    while (used < text.size()) {
        const ssize_t got = ::read(fd, text.data() + used, text.size() - used);
        if (got > 0) {
            used += static_cast<std::size_t>(got);
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            failed = true;
            break;
        }
    }
    ::close(fd);
    if (failed) {
        return std::nullopt;
    }
    return std::string(trimmed(std::string_view(text.data(), used)));
}

std::optional<long long> readSysfsInteger(const std::filesystem::path& file) {
    const auto text = readSysfsText(file);
    if (!text || text->empty()) {
        return std::nullopt;
    }
    long long value = 0;
    const char* end = text->data() + text->size();
    const auto [stop, error] = std::from_chars(text->data(), end, value);
    if (error != std::errc{} || stop != end) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::filesystem::path> listEntries(const std::filesystem::path& dir,
                                               std::string_view prefix) {
    std::vector<std::filesystem::path> entries;
    std::error_code error;
    std::filesystem::directory_iterator it(dir, error);
    if (error) {
        return entries;
    }
    for (const auto end = std::filesystem::directory_iterator(); it != end; it.increment(error)) {
        if (error) {
            break;
        }
        if (it->path().filename().string().starts_with(prefix)) {
            entries.push_back(it->path());
        }
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

}  // namespace mavu::hardware
