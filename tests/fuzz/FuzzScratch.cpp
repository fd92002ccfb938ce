#include "tests/fuzz/FuzzScratch.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace mavu::fuzz {
namespace {

constexpr int kMaxTreeEntries = 64;
// Far below the file system's 255 bytes per name: no sysfs name comes close.
constexpr std::size_t kMaxNameLength = 64;

std::filesystem::path makeScratchDir() {
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                           ? "/dev/shm"
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "mavu-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mavu fuzz: mkdtemp");
        std::abort();
    }
    return pattern;
}

void removeScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(scratchDir(), ignored);
}

bool isPathChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

bool isSafeRelativePath(std::string_view path) {
    if (path.empty()) {
        return false;
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view part = path.substr(start, end - start);
        if (part.empty() || part.size() > kMaxNameLength || part == "." || part == "..") {
            return false;
        }
        for (const char c : part) {
            if (!isPathChar(c)) {
                return false;
            }
        }
        start = end + 1;
    }
    return true;
}

}  // namespace

const std::filesystem::path& scratchDir() {
    static const std::filesystem::path dir = [] {
        auto made = makeScratchDir();
        std::atexit(removeScratchDir);
        return made;
    }();
    return dir;
}

void writeBytes(const std::filesystem::path& file, std::string_view bytes) {
    std::filesystem::create_directories(file.parent_path());
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror("mavu fuzz: open");
        std::abort();
    }
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written <= 0) {
            std::perror("mavu fuzz: write");
            std::abort();
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    ::close(fd);
}

void writeTree(const std::filesystem::path& root, std::string_view spec) {
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    int entries = 0;
    while (!spec.empty() && entries < kMaxTreeEntries) {
        const std::size_t newline = std::min(spec.find('\n'), spec.size());
        const std::string_view line = spec.substr(0, newline);
        spec.remove_prefix(std::min(newline + 1, spec.size()));
        const std::size_t equals = line.find('=');
        const std::string_view path = line.substr(0, equals);
        if (!isSafeRelativePath(path)) {
            continue;
        }
        ++entries;
        std::error_code error;
        const auto target = root / path;
        // A later line may name a file where an earlier one made a folder, or the other
        // way round; the later one wins.
        std::filesystem::remove_all(target, error);
        std::filesystem::create_directories(target.parent_path(), error);
        if (error) {
            continue;  // a parent is a file already
        }
        if (equals == std::string_view::npos) {
            std::filesystem::create_directory(target, error);
        } else {
            writeBytes(target, line.substr(equals + 1));
        }
    }
}

}  // namespace mavu::fuzz
